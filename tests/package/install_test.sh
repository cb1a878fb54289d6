#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would, uses it, and removes it again:
# the desktop entry and the metainfo validate, the installed program starts under a private X
# server on the installed simulator through [Ports] in the user's settings file (which the
# program then keeps in the user's configuration folder, not in /usr/bin), orvik-cli answers,
# the installed orvik-mqtt publishes the installed simulator to a broker of the test's own, its
# systemd unit passes systemd-analyze verify, and removing the package takes every file it
# installed.
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
sim_pid="" prog_pid="" installed="" broker_pid="" bridge_pid=""
cleanup() {
    local pid
    for pid in $bridge_pid $broker_pid $prog_pid $sim_pid; do
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

# The bridge and its service.
[ "$(orvik-mqtt --version)" = "orvik-mqtt 1.1" ] || fail "orvik-mqtt --version"
man -l /usr/share/man/man1/orvik-mqtt.1.gz 2>/dev/null | grep -q "MQTT broker" || fail "orvik-mqtt manual page"
systemd-analyze verify /lib/systemd/system/orvik-mqtt@.service >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log" >&2; fail "systemd-analyze verify orvik-mqtt@.service"; }
echo "orvik-mqtt@.service: systemd-analyze verify passes"
# Its exposure as systemd rates it, of an instance of the unit as installed: 2.5 or lower.
cp /lib/systemd/system/orvik-mqtt@.service "$work/orvik-mqtt@bench.service"
score=$(systemd-analyze security --offline=true "$work/orvik-mqtt@bench.service" 2>&1 |
    sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
echo "orvik-mqtt@.service: systemd-analyze security exposure ${score:-unknown}"
awk -v s="$score" 'BEGIN { exit !(s != "" && s + 0 <= 2.5) }' ||
    fail "orvik-mqtt@.service exposure ${score:-unknown}, above 2.5"
source "$root/scripts/lib/ports.sh"
mqtt_port=$(free_ports 1)
[ -n "$mqtt_port" ] || fail "no free port for the broker"
printf 'listener %s 127.0.0.1\nallow_anonymous true\nuser %s\n' "$mqtt_port" "$(id -un)" >"$work/broker.conf"
mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
broker_pid=$!
wait_for 10 eval '! port_free "$mqtt_port"' || fail "no broker"
printf 'broker = mqtt://127.0.0.1:%s\nport = %s\nbase = orvik/installed\n' "$mqtt_port" \
    "$work/bus" >"$work/mqtt.conf"
/usr/bin/orvik-mqtt --config "$work/mqtt.conf" 2>"$work/bridge.err" &
bridge_pid=$!
published() {
    mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -t 'orvik/installed/node/1/availability' \
        --retained-only -W 1 -C 1 2>/dev/null | grep -qx online
}
wait_for 20 published || { cat "$work/bridge.err" >&2; fail "the installed orvik-mqtt published nothing"; }
kill "$bridge_pid"
wait "$bridge_pid" || fail "orvik-mqtt did not end cleanly"
bridge_pid=""
echo "the installed orvik-mqtt publishes the installed simulator's node 1"

"${sudo[@]}" dpkg -r orvik >/dev/null || fail "dpkg -r"
installed=""
left=$(while read -r f; do [ -e "$f" ] && echo "$f"; done <"$work/files")
[ -z "$left" ] || fail "left after removal: $left"
echo "PASS"
