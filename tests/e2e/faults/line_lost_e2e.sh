#!/usr/bin/env bash
# The adapter pulled out and put back: the simulator that owns the line's pseudo-terminal ends,
# and a new one comes up behind the same link. Without any user action the program notices the
# loss, closes the line, waits for the device, reopens it, and the node strip turns green again.
# The status line's states are followed through the program's line trace.
set -u
program=$1 sim=$2
source "$(dirname "$0")/../window/e2e_lib.sh"
source "$(dirname "$0")/faults_lib.sh"

export ORVIK_TRACE="line:$work/trace.log"
traced() { grep -q "$1" "$work/trace.log" 2>/dev/null; }
start_sim --nodes 1,2
start_program
wait_for 20 find_strip || fail "node 1 never turned green"
wait_for 10 traced "COM1 - $work/bus: receiving" || fail "the status line never said receiving"
shot "$work/receiving.png"

for round in 1 2; do
    : >"$work/trace.log"
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null
    sim_pid=""
    wait_for 10 traced "connection lost, waiting for the adapter" ||
        fail "round $round: the loss was not shown"
    wait_for 10 indicator_is 1 "255,255,255" || fail "round $round: node 1 did not turn white"
    [ "$round" = 1 ] && shot "$work/lost.png"
    start_sim --nodes 1,2
    t0=$(date +%s%N)
    wait_for 15 indicator_is 1 "0,255,0" || fail "round $round: node 1 did not turn green again"
    echo "round $round: green again $(( ($(date +%s%N) - t0) / 1000000 )) ms after the line came back"
    wait_for 5 traced "receiving" || fail "round $round: the status line did not say receiving"
    traced "reopening" || fail "round $round: no reopening shown"
done
kill -0 "$prog_pid" || fail "the program ended"
[ -n "${E2E_SHOTS:-}" ] && cp "$work/receiving.png" "$work/lost.png" "$E2E_SHOTS/"
echo "PASS"
