#!/usr/bin/env bash
# The program on the simulator: the node strip shows the simulator's nodes, and a real click
# on a breaker's switch reaches the bus and comes back as a new switch picture.
set -u
program=$1 sim=$2
source "$(dirname "$0")/e2e_lib.sh"

start_sim --nodes 1,2,4
start_program
wait_for 15 find_strip || fail "node 1 never turned green"

shot "$work/nodes.png"
expected=("0,255,0" "0,255,0" "255,0,0" "0,255,0" "255,0,0" "255,0,0" "255,0,0" "255,0,0")
for n in 1 2 3 4 5 6 7 8; do
    got=$(node_colour "$work/nodes.png" "$n")
    [ "$got" = "${expected[$((n - 1))]}" ] || fail "node $n shows $got, expected ${expected[$((n - 1))]}"
done
echo "node strip: 1, 2, 4 green, the rest red (menu bar $dy px)"

# Breaker 1's switch: cell at client (72, 176), 32 x 64.
before=$(region "$work/nodes.png" 32 64 72 $((176 + dy)))
click_client 88 208
logged() { grep -q '"CMD_SWITCH_BREAKER"' "$work/commands.log" 2>/dev/null; }
wait_for 10 logged || fail "the simulator never saw CMD_SWITCH_BREAKER"
grep '"CMD_SWITCH_BREAKER"' "$work/commands.log" | head -n 1
changed() {
    shot "$work/after.png" && [ "$(region "$work/after.png" 32 64 72 $((176 + dy)))" != "$before" ]
}
wait_for 10 changed || fail "breaker 1's picture did not change"
echo "breaker 1's switch picture changed after the status frame"
# The README's picture of the main window (scripts/screenshot.sh).
if [ -n "${E2E_SCREENSHOT:-}" ]; then
    shot "$E2E_SCREENSHOT" || fail "no screenshot for $E2E_SCREENSHOT"
fi
echo "PASS"
