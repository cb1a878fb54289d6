#!/usr/bin/env bash
# After ./scripts/run.sh (no display) the program's own settings file is byte for byte what
# it was, and the output says how to start the program on hardware.
set -u
build=$1
root=$(cd "$(dirname "$0")/../../.." && pwd)
ini=$build/app/Orvik.INI
work=$(mktemp -d)
had=0
[ -e "$ini" ] && cp -p "$ini" "$work/saved" && had=1
restore() {
    if [ "$had" = 1 ]; then cp -p "$work/saved" "$ini"; else rm -f "$ini"; fi
    rm -rf "$work"
}
trap restore EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/run.out" >&2 2>/dev/null; exit 1; }

printf '; the user'"'"'s own\r\n[Setup]\r\nCommsPort=2\r\n[Ports]\r\nCOM3=/dev/ttyUSB7\r\n' >"$ini"
cp "$ini" "$work/expected"
rm -f "$build/orvik-demo.png"
env -u DISPLAY -u WAYLAND_DISPLAY ORVIK_BUILD_DIR="$build" ORVIK_DEMO_SECONDS=3 \
    timeout 150 "$root/scripts/run.sh" >"$work/run.out" 2>&1 || fail "run.sh failed"
cmp -s "$ini" "$work/expected" || fail "run.sh changed $ini"
[ -s "$build/orvik-demo.png" ] || fail "no screenshot"
grep -q "On hardware: .*start $build/app/orvik" "$work/run.out" || fail "no word on hardware"
grep "COM1 ->" "$work/run.out"
echo "PASS: $ini unchanged"
