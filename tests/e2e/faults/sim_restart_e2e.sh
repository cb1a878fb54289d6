#!/usr/bin/env bash
# The bus goes silent and comes back: the simulator behind a socat pair is killed and started
# again. The node indicators turn white, then green again, with the same line open all along.
set -u
program=$1 sim=$2
source "$(dirname "$0")/../window/e2e_lib.sh"
source "$(dirname "$0")/faults_lib.sh"

start_socat_pair
start_sim_on_b --nodes 1,2
start_program
wait_for 20 find_strip || fail "node 1 never turned green"
echo "node 1 green on the simulator behind socat"

for round in 1 2; do
    stop_sim
    t0=$(date +%s%N)
    wait_for 10 indicator_is 1 "255,255,255" || fail "round $round: node 1 did not turn white"
    echo "round $round: white $(( ($(date +%s%N) - t0) / 1000000 )) ms after the simulator ended"
    indicator_is 2 "255,255,255" || fail "round $round: node 2 not white"
    start_sim_on_b --nodes 1,2
    t0=$(date +%s%N)
    wait_for 15 indicator_is 1 "0,255,0" || fail "round $round: node 1 did not turn green again"
    echo "round $round: green $(( ($(date +%s%N) - t0) / 1000000 )) ms after the simulator started"
    indicator_is 2 "0,255,0" || fail "round $round: node 2 not green again"
    indicator_is 3 "255,0,0" || fail "round $round: node 3 should be red"
done
kill -0 "$prog_pid" || fail "the program ended"
echo "PASS"
