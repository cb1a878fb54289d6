#!/usr/bin/env bash
# The bus overview on the simulator's nodes 1, 2 and 4: opened with Ctrl+B, it shows them; an
# overload on node 2's breaker 5 shows red on node 2's row and nowhere else; a click on that
# row selects node 2 in the main window, whose breaker 5 then shows its fault. Nothing is sent.
# The rows are found as a screen reader finds them, through AT-SPI.
set -u
program=$1 sim=$2
source "$(dirname "$0")/own_session_bus.sh"
source "$(dirname "$0")/e2e_lib.sh"
e2e_screen=1400x800x24 # room for the overview beside the main window
reader=$(dirname "$0")/atspi_reader.py

start_sim --nodes 1,2,4 --no-drift
start_program
wait_for 15 find_strip || fail "node 1 never turned green"
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --clearmodifiers ctrl+b
rows() { timeout 30 /usr/bin/python3 "$reader" overview >"$work/rows.txt"; }
rows || { cat "$work/rows.txt"; fail "no bus overview to read"; }
cat "$work/rows.txt"
for n in 1 2 3 4 5 6 7 8; do
    case $n in 1 | 2 | 4) want="Orvik node $n, on the bus" ;; *) want="Orvik node $n, not on the bus" ;; esac
    grep -q "^node $n at [0-9]* [0-9]*: $want |" "$work/rows.txt" || fail "row $n does not say \"$want\""
done

sim_say "switch 2 5 on"
sim_say "load 2 5 150"
tripped() { rows && grep -q '^node 2 at [0-9]* [0-9]*: Orvik node 2, fault on breaker 5 |' "$work/rows.txt"; }
wait_for 15 tripped || fail "node 2's row never told the fault"
cat "$work/rows.txt"
# at ROW node|five: the centre "x y" of node ROW's cell or of its breaker 5 cell.
at() {
    local line
    line=$(grep "^node $1 at " "$work/rows.txt")
    [ "$2" = five ] && line=${line#*| breaker 5 at }
    line=${line#node $1 at }
    echo "${line%%:*}"
}
red="255,0,0"
# red ROW node|five: the cell's background is red (one of three pixels beside its centre, which
# lies between the cell's two lines, so that a letter may cover one).
red() {
    local x y d
    read -r x y <<<"$(at "$@")"
    for d in -4 0 4; do [ "$(pixel "$work/overview.png" $((x + d)) "$y")" = "$red" ] && return 0; done
    return 1
}
import -window root "$work/overview.png" 2>/dev/null || fail "no screenshot"
for cell in "2 node" "2 five"; do red $cell || fail "node $cell is not red"; done
for cell in "1 node" "4 node" "4 five" "1 five"; do ! red $cell || fail "node $cell is red"; done
echo "node 2's row is red, and only its cells"

# The main window shows node 1: breaker 5's fault indicator (client 304, 284) is green.
shot "$work/before.png"
[ "$(pixel "$work/before.png" 304 $((284 + dy)))" = "0,255,0" ] || fail "node 1's breaker 5 is not green"
xdotool mousemove $(at 2 node) click 1
node_two() { shot "$work/after.png" && [ "$(pixel "$work/after.png" 304 $((284 + dy)))" = "$red" ]; }
wait_for 10 node_two || fail "the main window does not show node 2's fault"
echo "a click on node 2's row: the main window shows node 2, breaker 5 with its fault"
[ ! -s "$work/commands.log" ] || fail "something was sent: $(cat "$work/commands.log")"
echo "PASS"
