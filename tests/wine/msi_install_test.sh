#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own: it installs the program folder into
# Program Files\Orvik with a Start menu entry, both programs start from there, and uninstalling
# takes the folder away again. Usage: msi_install_test.sh <msi> <version>
set -euo pipefail
msi=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
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
for f in orvik.exe orvik-cli.exe Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
    [ -f "$folder/$f" ] || fail "$f is not installed"
done
[ -n "$(find "$prefix/drive_c" -name 'Orvik interface.lnk')" ] || fail "no Start menu entry"
[ "$(timeout 60 wine 'C:\Program Files\Orvik\orvik-cli.exe' --version | tr -d '\r')" = \
    "orvik-cli $version" ] || fail "orvik-cli.exe does not start"
[ "$(timeout 60 wine 'C:\Program Files\Orvik\orvik.exe' --version | tr -d '\r')" = \
    "orvik $version" ] || fail "orvik.exe does not start"
timeout 120 wine msiexec /x "$(winepath -w "$msi")" /qn || fail "msiexec could not uninstall"
[ ! -e "$folder" ] || fail "uninstalling left $folder"
echo "PASS: installed, started and uninstalled"
