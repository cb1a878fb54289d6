#!/usr/bin/env bash
# The program driven by keys alone, no pointer: from the node selector, Shift+Tab to the node
# strip, Right to node 2, Space selects it; Tab, Tab to the switches, Right, Right to breaker 3,
# Space: the simulator logs that one switch command, once.
set -u
program=$1 sim=$2
source "$(dirname "$0")/e2e_lib.sh"

start_sim --nodes 1,2,4
start_program
wait_for 15 find_strip || fail "node 1 never turned green"
xdotool windowfocus --sync "$window" 2>/dev/null || fail "the main window takes no focus"
sleep 0.3

keys() { xdotool key --clearmodifiers --delay 150 "$@"; }
keys shift+Tab Right space
sleep 0.6 # a status frame shows node 2
keys Tab Tab Right Right
shot "$work/keys.png"
# The mark under breaker 3's switch (cell at client x 184, bottom 240), none under breaker 1.
[ "$(region "$work/keys.png" 32 2 184 $((242 + dy)))" != "$(region "$work/keys.png" 32 2 72 $((242 + dy)))" ] ||
    fail "no focus mark under breaker 3"
keys space

wait_for 10 switch_commands >/dev/null || fail "the simulator never saw CMD_SWITCH_BREAKER"
sleep 1.5 # nothing more may follow
switch_commands
[ "$(switch_commands | wc -l)" -eq 1 ] || fail "not one switch command"
switch_commands | grep -q '"node":2,.*"payload":\[2,[01]\]' || fail "not node 2, breaker 3"
[ "$(grep -c . "$work/commands.log")" -eq 1 ] || fail "selecting the node sent something"
echo "PASS"
