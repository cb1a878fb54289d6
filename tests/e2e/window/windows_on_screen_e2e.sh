#!/usr/bin/env bash
# Every window of the program on a real X server: the main window, the waiting dialog beside
# (not over) "Breaker setup" and the message after 2 s without a reply, the breaker setup
# dialog, whose trip boxes a passing mouse wheel does not change, the power-on defaults,
# wigwag interval and serial port dialogs. With E2E_SHOTS=DIR the screenshots are kept there.
set -u
program=$1 sim=$2
source "$(dirname "$0")/e2e_lib.sh"

# The simulator answers no breaker setup request until told to on its standard input.
mkfifo "$work/sim.in"
"$sim" --link "$work/bus" --log "$work/commands.log" --nodes 1,2,4 --no-setup-reply \
    <"$work/sim.in" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 8>"$work/sim.in"
wait_for 10 test -e "$work/bus" || fail "simulator did not start"
start_program
wait_for 15 find_strip || fail "node 1 never turned green"

shots=${E2E_SHOTS:-$work}
mkdir -p "$shots"
found=""
find_named() { found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1); [ -n "$found" ]; }
# open NAME X Y: clicks the main window at client (X, Y) and waits for the window NAME.
open() {
    click_client "$2" "$3"
    wait_for 10 find_named "$1" || fail "no window $1"
    sleep 0.5
}
geometry() { xdotool getwindowgeometry --shell "$1" | tr '\n' ' '; }
close_found() { xdotool windowfocus "$found" 2>/dev/null; xdotool key --clearmodifiers Escape; }

shot "$shots/Form1.png" || fail "no screenshot of the main window"
xprop -id "$window" _NET_WM_ICON | grep -q "Icon (16 x 16)" || fail "the main window has no icon"

# Waiting dialog: beside Button9 (client 392, 312, 153 x 25), then the message.
open '^Status$' 468 324
shot "$shots/Form5.png" "$found"
eval "$(geometry "$found")"
left=$X top=$Y right=$((X + WIDTH)) bottom=$((Y + HEIGHT))
eval "$(geometry "$window")"
bx=$((X + 392)) by=$((Y + dy + 312))
if [ "$left" -lt $((bx + 153)) ] && [ "$right" -gt "$bx" ] && [ "$top" -lt $((by + 25)) ] &&
    [ "$bottom" -gt "$by" ]; then
    fail "the waiting dialog ($left,$top)-($right,$bottom) covers Breaker setup at ($bx,$by)"
fi
wait_for 10 find_named '^Tarnwell Orvik interface$' || fail "no message after the wait"
shot "$shots/NoReply.png" "$found"
xdotool windowfocus "$found" 2>/dev/null
xdotool key Return
echo "waiting dialog beside Breaker setup; after it a box captioned 'Tarnwell Orvik interface'"

echo "setup-reply on" >&8
open '^Breaker setup$' 468 324
shot "$shots/Form4.png" "$found"
# The wheel over breaker 3's boxes, which do not have the focus.
for x in 120 250; do
    xdotool mousemove --window "$found" "$x" 154 click 5 click 5 click 4 click 5
done
sleep 1
grep -q '"CMD_TRIP_' "$work/commands.log" && fail "the wheel over an unfocused box sent a trip setting"
echo "the wheel over the trip boxes sent nothing"
close_found

open '^Power on defaults$' 304 381
shot "$shots/Form2.png" "$found"
close_found
open '^WigWag Time Interval$' 304 453
shot "$shots/Form3.png" "$found"
close_found
xdotool mousemove --window "$window" 30 $((dy / 2)) click 1 # the menu item "COM port"
wait_for 10 find_named '^Serial port setup$' || fail "no serial port dialog"
sleep 0.5
shot "$shots/Form15.png" "$found"
close_found
echo "PASS"
