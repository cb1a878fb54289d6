#!/usr/bin/env bash
# The program as a screen reader reads it, through AT-SPI on a session bus of its own: the node
# indicators say whether each node is on the bus; "Breaker 5" of the selected node is a check
# box with the simulator's state; its press action reaches the simulator once, and the change is
# announced; an overload is heard as "Breaker 5 fault".
set -u
program=$1 sim=$2
source "$(dirname "$0")/own_session_bus.sh"
source "$(dirname "$0")/e2e_lib.sh"

start_sim --nodes 1,2,4 --no-drift
start_program
wait_for 15 find_strip || fail "node 1 never turned green"

timeout 90 /usr/bin/python3 "$(dirname "$0")/atspi_reader.py" breaker "$work/sim.in" ||
    fail "the screen reader's view (above)"
switch_commands
[ "$(switch_commands | wc -l)" -eq 1 ] || fail "not one switch command"
switch_commands | grep -q '"node":2,.*"payload":\[4,0\]' || fail "not breaker 5 of node 2, off"
echo "PASS"
