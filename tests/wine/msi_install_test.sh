#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own: it installs the program folder into
# Program Files\Orvik with a Start menu entry and an entry among the installed programs, both
# programs start from there, a newer build installed over it replaces it (one entry, the new
# version), and uninstalling takes away every file it installed and leaves the user's settings.
# With the simulator and the pseudo-terminal shim given, the installed orvik.exe is also started
# on the simulator's bus as COM1 and must show its nodes; the time to its window is printed.
# Usage: msi_install_test.sh <msi> <version> <msi of a newer build> <its version> [<sim> <shim>]
set -euo pipefail
msi=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
newer=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
newer_version=$4
sim=${5:-} shim=${6:-}
prefix=$(mktemp -d)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree=;mshtml="
cleanup() {
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

timeout 300 wineboot -i >/dev/null 2>&1
timeout 120 wine msiexec /i "$(winepath -w "$msi")" /qn || fail "msiexec could not install"
folder="$prefix/drive_c/Program Files/Orvik"
for f in orvik.exe orvik-cli.exe Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
    LICENSE.txt orvik.lua; do
    [ -f "$folder/$f" ] || fail "$f is not installed"
done
[ -n "$(find "$prefix/drive_c" -name 'Orvik interface.lnk')" ] || fail "no Start menu entry"
[ "$(timeout 60 wine 'C:\Program Files\Orvik\orvik-cli.exe' --version | tr -d '\r')" = \
    "orvik-cli $version" ] || fail "orvik-cli.exe does not start"
[ "$(timeout 60 wine 'C:\Program Files\Orvik\orvik.exe' --version | tr -d '\r')" = \
    "orvik $version" ] || fail "orvik.exe does not start"
# The installed program on the simulator's bus, under a private X server.
if [ -n "$sim" ] && [ -n "$shim" ]; then
    source "$(dirname "$0")/../e2e/window/e2e_lib.sh"
    trap 'e2e_cleanup; cleanup' EXIT
    start_sim --nodes 1,2
    ln -sfn "$work/bus" "$prefix/com1"
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$prefix/com1" /f >/dev/null
    timeout 30 wineserver -k 2>/dev/null || true
    start_xvfb 1024x768x24 || fail "no X server"
    LD_PRELOAD=$shim wineserver -p
    started=$(date +%s%N)
    LD_PRELOAD=$shim wine 'C:\Program Files\Orvik\orvik.exe' >"$work/program.out" 2>&1 7>&- &
    prog_pid=$!
    find_window() { window=$(xdotool search --name "Tarnwell Orvik interface" 2>/dev/null | head -n 1); [ -n "$window" ]; }
    wait_for 60 find_window || fail "the installed orvik.exe shows no window"
    echo "installed orvik.exe: its window after $((($(date +%s%N) - started) / 1000000)) ms"
    wait_for 30 find_strip || fail "the installed orvik.exe never showed node 1 on the bus"
    shot "$work/nodes.png"
    [ "$(node_colour "$work/nodes.png" 2)" = 0,255,0 ] || fail "node 2 is not shown on the bus"
    echo "installed orvik.exe shows the simulator's nodes 1 and 2"
    timeout 30 wine taskkill /im orvik.exe >/dev/null 2>&1
    ended() { ! kill -0 "$prog_pid" 2>/dev/null; }
    wait_for 20 ended || fail "the installed orvik.exe did not close"
    prog_pid=""
    stop_xvfb
fi

# What "Apps & features" lists: the product, with its version and publisher.
entries() {
    timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
        2>/dev/null | tr -d '\r'
}
listed() { entries | grep -c "DisplayName.*Tarnwell Orvik interface" || true; }
[ "$(listed)" = 1 ] || fail "not listed once among the installed programs: $(listed)"
entries | grep -q "Publisher.*Tarnwell" || fail "no publisher in the programs' list"

# A newer build over it: one entry, the newer version.
timeout 120 wine msiexec /i "$(winepath -w "$newer")" /qn || fail "the newer build did not install"
[ "$(listed)" = 1 ] || fail "after the upgrade listed $(listed) times"
entries | grep -q "DisplayVersion.*$newer_version" || fail "the newer version is not listed"
[ -f "$folder/orvik.exe" ] || fail "the upgrade lost orvik.exe"

# The user's settings beside the program and in the profile stay; everything installed goes.
printf '[Setup]\r\nCommsPort=2\r\n' >"$folder/Orvik.INI"
appdata=$(find "$prefix/drive_c/users" -maxdepth 3 -type d -name 'AppData' | head -n 1)/Roaming/Orvik
mkdir -p "$appdata"
printf '[Setup]\r\nCommsPort=3\r\n' >"$appdata/Orvik.INI"
timeout 120 wine msiexec /x "$(winepath -w "$newer")" /qn || fail "msiexec could not uninstall"
[ "$(find "$folder" -type f ! -name Orvik.INI | wc -l)" = 0 ] ||
    fail "uninstalling left $(find "$folder" -type f ! -name Orvik.INI | head -n 3)"
[ -f "$folder/Orvik.INI" ] && [ -f "$appdata/Orvik.INI" ] || fail "the user's settings went"
[ "$(listed)" = 0 ] || fail "still listed after uninstalling"
echo "PASS: installed, listed, started, upgraded in place and uninstalled; the settings stay"
