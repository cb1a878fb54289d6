#!/usr/bin/env bash
# orvik.exe under Wine on a private X server against the bus simulator on COM1: the nodes show,
# breaker 3 of node 2 switched by keys alone reaches the simulator as one command, "Breaker
# setup" asks the simulator and shows its answer, Record in
# History makes a recording in the user's %LOCALAPPDATA%, closing its windows writes Orvik.INI
# beside the program, and the main window, the port dialog and History are photographed into <shots>.
# Usage: window_e2e.sh <folder of orvik.exe> <orvik-bus-sim> <wine dir> <shots>
# The caller has set WINEPREFIX (COM1 mapped to <wine dir>/ports/com1) and started Wine's server.
set -u
app=$1 sim=$2 wine_dir=$3 shots=$4
source "$(dirname "$0")/../e2e/window/e2e_lib.sh"
mkdir -p "$shots"

start_sim --nodes 1,2,4
rm -f "$app/Orvik.INI" # the defaults: COM1
find "$WINEPREFIX/drive_c/users" -path '*Orvik/recordings' -type d -prune -exec rm -rf {} +
ln -sfn "$work/bus" "$wine_dir/ports/com1"
start_xvfb 1024x768x24 || fail "no X server"
# Wine's desktop takes the display of its session's first program: a session of its own, begun
# by the program on this X server.
timeout 30 wineserver -k 2>/dev/null
LD_PRELOAD=$wine_dir/libwineptyshim.so wineserver -p
LD_PRELOAD=$wine_dir/libwineptyshim.so wine "$app/orvik.exe" >"$work/program.out" 2>&1 7>&- &
prog_pid=$!
find_window() { window=$(xdotool search --name "$1" 2>/dev/null | head -n 1); [ -n "$window" ]; }
wait_for 60 find_window "Tarnwell Orvik interface" || {
    import -window root "$shots/no-main-window.png"
    fail "no main window"
}
wait_for 30 find_strip || fail "node 1 never turned green"
shot "$work/nodes.png"
for n in 2 4; do
    [ "$(node_colour "$work/nodes.png" $n)" = 0,255,0 ] || fail "node $n is not green"
done
[ "$(node_colour "$work/nodes.png" 3)" != 0,255,0 ] || fail "node 3, not on the bus, is green"
echo "nodes 1, 2 and 4 shown"

xdotool windowfocus --sync "$window" 2>/dev/null || fail "the main window takes no focus"
sleep 0.3
keys() { xdotool key --clearmodifiers --delay 150 "$@"; }
keys shift+Tab Right space
sleep 0.6 # a status frame shows node 2
keys Tab Tab Right Right space
wait_for 10 switch_commands >/dev/null || fail "the simulator never saw CMD_SWITCH_BREAKER"
sleep 1.5 # nothing more may follow
switch_commands
[ "$(switch_commands | wc -l)" -eq 1 ] || fail "not one switch command"
switch_commands | grep -q '"node":2,.*"payload":\[2,[01]\]' || fail "not node 2, breaker 3"
echo "one switch command for node 2, breaker 3"

sleep 1
import -window root "$shots/main-window.png"
# "Breaker setup": the request reaches the simulator, and the dialog shows its answer.
xdotool mousemove --window "$window" 468 343 click 1
find_setup() { xdotool search --onlyvisible --name "^Breaker setup\$" >/dev/null 2>&1; }
wait_for 10 find_setup || {
    import -window root "$shots/no-breaker-setup.png"
    fail "the breaker setup dialog did not open"
}
grep -q '"cmd":"CMD_REQUEST_BREAKER_SETUP"' "$work/commands.log" ||
    fail "the simulator never saw the breaker setup request"
sleep 1
import -window root "$shots/breaker-setup.png"
keys Escape
sleep 0.5
echo "breaker setup: asked and shown"
xdotool mousemove --window "$window" 33 9 click 1 # "COM port" in the menu bar
find_dialog() { xdotool search --onlyvisible --name "^Serial port setup\$" >/dev/null 2>&1; }
wait_for 10 find_dialog || {
    import -window root "$shots/no-port-dialog.png"
    fail "the port dialog did not open"
}
sleep 1
import -window root "$shots/port-dialog.png"
keys Escape
sleep 0.5
keys ctrl+h
find_history() { xdotool search --onlyvisible --name "History" >/dev/null 2>&1; }
wait_for 10 find_history || fail "History did not open"
sleep 2
import -window root "$shots/history.png"

keys ctrl+r # "Record" in History's menu
recording() { find "$WINEPREFIX/drive_c/users" -path '*Orvik/recordings/orvik-COM1-*.pcapng' \
    -size +0 2>/dev/null | grep -q .; }
wait_for 10 recording || fail "no recording in %LOCALAPPDATA%\\Orvik\\recordings"
echo "recording: $(find "$WINEPREFIX/drive_c/users" -name 'orvik-COM1-*.pcapng' | sed 's|.*/drive_c/||')"

# As the windows' close boxes do: WM_CLOSE to each window of the program (taskkill without /f).
timeout 30 wine taskkill /im orvik.exe >/dev/null 2>&1
ended() { ! kill -0 "$prog_pid" 2>/dev/null; }
wait_for 20 ended || {
    import -window root "$shots/not-closed.png"
    fail "the program did not close"
}
prog_pid=""
grep -q "CommsPort=0" "$app/Orvik.INI" 2>/dev/null || fail "closing wrote no Orvik.INI beside orvik.exe"
echo "closed: Orvik.INI written beside orvik.exe"
echo "PASS"
