#!/usr/bin/env bash
# After ./scripts/run.sh (no display) the program's own settings file is byte for byte what it
# was, and the output says how to start the program on hardware.
set -u
build=$1 ini=$1/app/Orvik.INI work=$(mktemp -d)
[ -e "$ini" ] && cp -p "$ini" "$work/saved"
restore() { if [ -e "$work/saved" ]; then cp -p "$work/saved" "$ini"; else rm -f "$ini"; fi; rm -rf "$work"; }
trap restore EXIT
printf '; mine\r\n[Setup]\r\nCommsPort=2\r\n[Ports]\r\nCOM3=/dev/ttyUSB7\r\n' | tee "$work/expected" >"$ini"
env -u DISPLAY -u WAYLAND_DISPLAY ORVIK_BUILD_DIR="$build" ORVIK_DEMO_SECONDS=3 timeout 150 \
    "$(dirname "$0")/../../../scripts/run.sh" >"$work/out" 2>&1 || { cat "$work/out"; exit 1; }
cmp "$ini" "$work/expected" || { echo "FAIL: run.sh changed $ini"; exit 1; }
grep "On hardware: .*start $build/app/orvik" "$work/out" || { echo "FAIL: no word on hardware"; exit 1; }
