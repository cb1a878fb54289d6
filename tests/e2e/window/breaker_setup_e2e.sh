#!/usr/bin/env bash
# "Breaker setup" on a simulator node: the dialog shows the simulator's trip values, a choice
# there reaches the simulator, and the next reply shows the new value.
set -u
program=$1 sim=$2
source "$(dirname "$0")/e2e_lib.sh"

# Node 1, breaker 3: trip current 2.5 A, trip time 0.5 s.
start_sim --nodes 1,2,4 --trip 1:3:25:5
start_program
wait_for 15 find_strip || fail "node 1 never turned green"

setup_window=""
find_setup() { setup_window=$(xdotool search --name '^Breaker setup$' 2>/dev/null | head -n 1); [ -n "$setup_window" ]; }
setup_gone() { ! xdotool search --onlyvisible --name '^Breaker setup$' >/dev/null 2>&1; }

open_setup() {
    click_client 468 324 # Button9 "Breaker setup"
    wait_for 10 find_setup || fail "the breaker setup dialog did not open"
    xdotool windowactivate --sync "$setup_window" 2>/dev/null || xdotool windowfocus "$setup_window"
    sleep 0.3
}

# Focus on a combo box of the dialog by clicking into its text: row 0..7, column 0 current, 1 time.
focus_combo() {
    local x=$((${2} == 0 ? 72 + 30 : 184 + 30)) y=$((96 + 24 * $1 + 10))
    xdotool mousemove --window "$setup_window" "$x" "$y" click 1
    sleep 0.2
}

# The text of the combo box that has the focus, read through the clipboard.
focused_text() {
    xdotool key --clearmodifiers ctrl+a ctrl+c
    sleep 0.2
    xclip -o -selection clipboard 2>/dev/null
}

# combo_shows ROW COLUMN TEXT: focuses the box and reads it; on a busy machine the click or the
# clipboard may come late, so the caller tries again.
combo_shows() {
    focus_combo "$1" "$2"
    shown=$(focused_text)
    [ "$shown" = "$3" ]
}

open_setup
grep -q '"CMD_REQUEST_BREAKER_SETUP"' "$work/commands.log" || fail "no setup request reached the bus"
wait_for 5 combo_shows 2 0 "2.5A" || fail "breaker 3 shows '$shown', expected 2.5A"
wait_for 5 combo_shows 2 1 "0.5 seconds" || fail "breaker 3's trip time shows '$shown'"
echo "breaker 3 shows the simulator's 2.5A and 0.5 seconds"

# Choose the next list item (3.0A) in breaker 3's trip current, once its box has the focus.
wait_for 5 combo_shows 2 0 "2.5A" || fail "breaker 3's trip current box did not take the focus"
xdotool key --clearmodifiers Down
chosen() { grep -q '"CMD_TRIP_CURRENT".*"payload":\[2,30,0\]' "$work/commands.log"; }
wait_for 10 chosen || fail "the simulator never saw CMD_TRIP_CURRENT 2,30,0"
grep '"CMD_TRIP_CURRENT"' "$work/commands.log" | tail -n 1

xdotool key --clearmodifiers Escape
wait_for 10 setup_gone || fail "the breaker setup dialog did not close"

open_setup
wait_for 5 combo_shows 2 0 "3.0A" || fail "after the change breaker 3 shows '$shown', expected 3.0A"
echo "the next reply shows 3.0A"
import -window "$setup_window" "$work/setup.png" 2>/dev/null && cp "$work/setup.png" "${E2E_SHOT:-/dev/null}" 2>/dev/null
echo "PASS"
