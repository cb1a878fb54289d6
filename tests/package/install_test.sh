#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would, uses it, and removes it again:
# the desktop entry and the metainfo validate, the installed program starts under a private X
# server on the installed simulator through [Ports] in the user's settings file (which the
# program then keeps in the user's configuration folder, not in /usr/bin), orvik-cli answers,
# and removing the package takes every file it installed.
# Usage: install_test.sh PACKAGE.deb
set -u
deb=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib/xvfb.sh"
source "$root/scripts/lib/settings.sh"
source "$root/scripts/lib/wait.sh"

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
work=$(mktemp -d)
sim_pid="" prog_pid="" installed=""
cleanup() {
    local pid
    for pid in $prog_pid $sim_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    stop_xvfb
    [ -n "$installed" ] && "${sudo[@]}" dpkg -r orvik >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' orvik 2>/dev/null | grep -q 'install ok installed'; then
    fail "orvik is installed already; this test installs and removes it"
fi
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "the package did not install"; }
installed=1
dpkg -L orvik | while read -r f; do [ -f "$f" ] && echo "$f"; done >"$work/files"
echo "installed: $(wc -l <"$work/files") files"

desktop-file-validate /usr/share/applications/orvik.desktop || fail "desktop entry"
appstreamcli validate --no-net /usr/share/metainfo/net.tarnwell.orvik.metainfo.xml >"$work/as.log" ||
    { cat "$work/as.log" >&2; fail "metainfo"; }
[ "$(orvik-cli --version)" = "orvik-cli 1.1" ] || fail "orvik-cli --version: $(orvik-cli --version)"
[ "$(orvik --version)" = "orvik 1.1" ] || fail "orvik --version: $(orvik --version)"
man -l /usr/share/man/man1/orvik.1.gz 2>/dev/null | grep -q "Orvik circuit-breaker" || fail "manual page"

# A user's settings: only [Ports], in the configuration folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_CONFIG_HOME/orvik"
/usr/bin/orvik-bus-sim --link "$work/bus" --nodes 1,2 --log "$work/commands.log" \
    >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 10 test -e "$work/bus" || fail "the installed simulator did not start"
set_port_mapping "$XDG_CONFIG_HOME/orvik/Orvik.INI" 1 "$work/bus"
start_xvfb 800x700x24 || fail "no X server"
QT_QPA_PLATFORM=xcb /usr/bin/orvik >"$work/program.out" 2>&1 &
prog_pid=$!
find_window() { window=$(xdotool search --name "Tarnwell Orvik interface" 2>/dev/null | head -n 1); [ -n "$window" ]; }
wait_for 20 find_window || fail "no main window"
green() {
    import -window "$window" "$work/shot.png" 2>/dev/null || return 1
    local y
    for y in $(seq 60 140); do
        if [ "$(convert "$work/shot.png" -format '%[fx:int(255*p{116,'"$y"'}.r+.5)],%[fx:int(255*p{116,'"$y"'}.g+.5)]' info:)" = "0,255" ]; then
            dy=$((y - 57)) # the menu bar: client y = window y - dy
            return 0
        fi
    done
    return 1
}
wait_for 20 green || fail "node 1 never turned green in the installed program"
echo "the installed program shows the installed simulator's node 1"
[ -n "${E2E_SHOTS:-}" ] && cp "$work/shot.png" "$E2E_SHOTS/installed.png"

# Its Close button writes the settings beside the user's [Ports], not into /usr/bin.
xdotool mousemove --window "$window" 509 $((508 + dy)) click 1
ended() { [ ! -e "/proc/$prog_pid" ] || grep -q '^State:[[:space:]]*Z' "/proc/$prog_pid/status"; }
wait_for 10 ended || fail "the program did not close"
wait "$prog_pid" 2>/dev/null
prog_pid=""
[ -e /usr/bin/Orvik.INI ] && fail "settings written into /usr/bin"
grep -q "CommsPort=0" "$XDG_CONFIG_HOME/orvik/Orvik.INI" || fail "settings not in the user's folder"

"${sudo[@]}" dpkg -r orvik >/dev/null || fail "dpkg -r"
installed=""
left=$(while read -r f; do [ -e "$f" ] && echo "$f"; done <"$work/files")
[ -z "$left" ] || fail "left after removal: $left"
echo "PASS"
