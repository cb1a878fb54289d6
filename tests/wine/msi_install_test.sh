#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own: it installs the program folder into
# Program Files\Orvik with a Start menu entry and an entry among the installed programs, both
# programs start from there, a newer build installed over it replaces it (one entry, the new
# version), and uninstalling takes away every file it installed and leaves the user's settings.
# Usage: msi_install_test.sh <msi> <version> <msi of a newer build> <its version>
set -euo pipefail
msi=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$2
newer=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
newer_version=$4
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
