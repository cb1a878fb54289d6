#!/usr/bin/env bash
# Runs a Wine command with a fresh pair of pseudo-terminals joined by socat at
# <wine dir>/ports/com1 and com2, which the prefix maps to COM1 and COM2, and with the
# modem-line helper preloaded. Usage: with-far-end.sh <wine dir> wine program.exe [args...]
set -euo pipefail
dir=$1
shift
ports=$dir/ports
mkdir -p "$ports"
rm -f "$ports/com1" "$ports/com2"

socat "pty,raw,echo=0,link=$ports/com1" "pty,raw,echo=0,link=$ports/com2" &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null || true; wait "$socat_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -e "$ports/com1" ] && [ -e "$ports/com2" ] && break
    sleep 0.05
done

export WINEPREFIX=${WINEPREFIX:-$dir/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export ORVIK_TEST_PORT=COM1 ORVIK_TEST_FAR_PORT=COM2
export LD_PRELOAD="$dir/libwineptyshim.so${LD_PRELOAD:+:$LD_PRELOAD}"
timeout 120 "$@"
