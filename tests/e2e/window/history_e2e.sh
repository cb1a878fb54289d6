#!/usr/bin/env bash
# The History window on the simulator: opened from the menu with its shortcut, it shows the
# trip of an overloaded breaker as a red mark and band, and its events say "tripped"; the run's
# recording (every run is recorded) opens in a second History window with the same event, and
# orvik-cli exports the same event from it.
set -u
program=$1 sim=$2 cli=$3
source "$(dirname "$0")/e2e_lib.sh"

start_sim --nodes 1,2,4

export XDG_DATA_HOME=$work/data
printf '[Recording]\nEveryRun=1\n' >"$work/Orvik.INI"
e2e_screen=1400x800x24 start_program
wait_for 15 find_strip || fail "node 1 never turned green"

# Ctrl+H on the main window (a click on its empty right side makes it the active one) opens
# the History window beside it.
click_client 560 150
xdotool key --clearmodifiers ctrl+h
history=""
find_history() { history=$(xdotool search --onlyvisible --name '^History$' 2>/dev/null | head -n 1); [ -n "$history" ]; }
wait_for 10 find_history || fail "the History window did not open"
echo "History window open"

# Breaker 2 of node 1 overloaded: 5.5 A against its trip current of 5.0 A.
sim_say "load 1 2 55"
red_shown() {
    shot "$work/history.png" "$history" &&
        [ "$(convert "$work/history.png" -fill black +opaque 'rgb(220,0,0)' -fill white -opaque 'rgb(220,0,0)' -format '%[fx:int(mean*w*h)]' info:)" -gt 20 ]
}
wait_for 20 red_shown || { cp "$work/history.png" /tmp/hist/e2e-h.png; fail "no fault mark in the History window"; }
[ -n "${E2E_SHOT:-}" ] && cp "$work/history.png" "$E2E_SHOT"
echo "the trip shows in red"

# activate WINDOW: a click on the empty end of its top row makes it the active window.
activate() {
    xdotool mousemove --window "$1" 700 40 click 1
    sleep 0.3
}

# export_events WINDOW FILE: "Export events..." (Ctrl+Shift+E) through the file dialog.
export_events() {
    activate "$1"
    xdotool key --clearmodifiers ctrl+shift+e
    file_dialog "Export events" "$2"
    wait_for 10 test -s "$2" || fail "no events written to $2"
}
tripped() { grep -q 'Orvik node 1, breaker 2: fault (tripped) at' "$1"; }
export_events "$history" "$work/live-events.csv"
tripped "$work/live-events.csv" || fail "the live events lack the trip: $(cat "$work/live-events.csv")"
grep 'fault (tripped)' "$work/live-events.csv"

# The run's recording, opened with "Open recording..." (Ctrl+O) in a second window.
recording=$(ls "$work"/data/orvik/recordings/orvik-*.pcapng 2>/dev/null | head -n 1)
[ -n "$recording" ] || fail "no recording of the run in $work/data/orvik/recordings"
sleep 1.2 # its last second on the disk
activate "$history"
xdotool key --clearmodifiers ctrl+o
file_dialog "Open recording" "$recording"
second=""
find_second() { second=$(xdotool search --onlyvisible --name "^History - $(basename "$recording")\$" 2>/dev/null | head -n 1); [ -n "$second" ]; }
wait_for 10 find_second || fail "the recording did not open in a History window"
export_events "$second" "$work/recorded-events.csv"
tripped "$work/recorded-events.csv" || fail "the recording's events lack the trip"
echo "the recording opened in a second History window, with the trip"

"$cli" export "$recording" >"$work/cli-events.txt" 2>"$work/cli-events.err"
tripped "$work/cli-events.txt" || fail "orvik-cli export lacks the trip: $(cat "$work/cli-events.err")"
echo "orvik-cli export: $(grep -c . "$work/cli-events.txt") events, the trip among them"
echo "PASS"
