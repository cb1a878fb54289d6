#!/usr/bin/env bash
# The line's far end closes while the program has it open (the simulator that owns the
# pseudo-terminal ends). The program must not spin on the dead line, must stay responsive, and
# choosing the port again in the serial port dialog must reconnect to a new simulator there.
set -u
program=$1 sim=$2
source "$(dirname "$0")/../window/e2e_lib.sh"
source "$(dirname "$0")/faults_lib.sh"

start_sim --nodes 1,2,4
# COM2 leads nowhere: choosing it shows the "not available" message.
set_port_mapping "$work/Orvik.INI" 2 "$work/nowhere"
start_program
wait_for 20 find_strip || fail "node 1 never turned green"

kill "$sim_pid"
wait "$sim_pid" 2>/dev/null
sim_pid=""
wait_for 10 indicator_is 1 "255,255,255" || fail "node 1 did not turn white after the line closed"
echo "line closed: node indicators white"

cpu=$(cpu_percent "$prog_pid" 3)
echo "CPU over 3 s with the line closed: $cpu % of a core"
awk -v c="$cpu" 'BEGIN { exit !(c < 5) }' || fail "the program spins on the closed line ($cpu %)"

# Still responsive: a click on node 3's indicator selects node 3.
spin_region() { shot "$work/spin.png" && region "$work/spin.png" 49 22 288 $((125 + dy)); }
before=$(spin_region)
click_client 116 68
click_client 212 68
spin_changed() { [ "$(spin_region)" != "$before" ]; }
wait_for 10 spin_changed || fail "the node selector did not follow a click"
echo "node selector follows a click on node 3's indicator"

# A new simulator at the same path, then the dialog: COM2, dismiss its message, COM1 again.
start_sim --nodes 1,2,4
click_client 30 $((-dy / 2))
find_dialog() { dialog=$(xdotool search --name "^Serial port setup$" 2>/dev/null | head -n 1); [ -n "$dialog" ]; }
wait_for 10 find_dialog || fail "no serial port setup dialog"
echo "serial port setup dialog open"
item() { xdotool mousemove --window "$dialog" 26 $((88 + 13 * ($1 - 1))) click 1; }
item 2
box_shown() { box=$(other_windows | grep -vx "$dialog" | head -n 1); [ -n "$box" ]; }
wait_for 10 box_shown || fail "no message for a port that is not there"
press_return "$box"
box_gone() { ! xdotool getwindowname "$box" >/dev/null 2>&1 || ! other_windows | grep -qx "$box"; }
wait_for 10 box_gone || fail "the message did not close"
echo "COM2: message shown and dismissed"
item 1
xdotool mousemove --window "$dialog" 100 212 click 1
dialog_gone() { ! other_windows | grep -qx "$dialog"; }
wait_for 10 dialog_gone || fail "the dialog did not close on OK"
wait_for 15 indicator_is 1 "0,255,0" || fail "node 1 did not turn green after choosing COM1 again"
echo "COM1 chosen again: node 1 green"
echo "PASS"
