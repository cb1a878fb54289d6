#!/usr/bin/env bash
# The settings file at its worst. Random bytes: the program says so once, starts on its
# defaults, and at close leaves the file as it was. A port value of printable garbage: COM1.
# Unwritable at close (a directory stands where the file was, which stops root too): the
# message "Unable to write to <path>" shows, and once it is dismissed the program ends.
set -u
program=$1 sim=$2
source "$(dirname "$0")/../window/e2e_lib.sh"
source "$(dirname "$0")/faults_lib.sh"

start_sim --nodes 1,2,4

# close_window: a click on the main window's Close button.
close_window() { click_client 509 508; }
ended() { ! kill -0 "$prog_pid" 2>/dev/null; }
# Ends the program by its Close button; its exit status in $status.
close_program() {
    close_window
    wait_for 15 ended || fail "the program did not end after Close"
    wait "$prog_pid"
    status=$?
    prog_pid=""
}

# 1. Random bytes, with a [Ports] section after them that must not be taken.
head -c 8192 /dev/urandom >"$work/Orvik.INI"
printf '\n[Ports]\nCOM1=%s\n' "$work/bus" >>"$work/Orvik.INI"
cp "$work/Orvik.INI" "$work/Orvik.INI.before"
cp "$program" "$work/orvik"
start_xvfb 800x700x24 || fail "no X server"
QT_QPA_PLATFORM=xcb "$work/orvik" >"$work/program.out" 2>&1 &
prog_pid=$!
main_shown() { window=$(xdotool search --onlyvisible --name "interface version 1.1" 2>/dev/null | head -n 1); [ -n "$window" ]; }
any_box() { box=$(xdotool search --onlyvisible --pid "$prog_pid" 2>/dev/null | head -n 1); [ -n "$box" ]; }
wait_for 20 any_box || fail "random settings: the program showed nothing"
# The settings file's message, then perhaps the port's (COM1 on the defaults): each once.
boxes=0
while ! main_shown && [ "$boxes" -lt 3 ]; do
    wait_for 10 any_box || break
    press_return "$box"
    boxes=$((boxes + 1))
    sleep 0.5
done
wait_for 10 main_shown || fail "random settings: no main window after $boxes messages"
echo "random settings file: $boxes message(s) at the start, then the main window"
wait_for 10 find_strip 255,255,255 || fail "random settings: no white node strip"
close_window
wait_for 15 ended || fail "random settings: the program did not end at Close (a message?)"
wait "$prog_pid"
status=$?
prog_pid=""
[ "$status" = 0 ] || fail "random settings: exit status $status"
cmp -s "$work/Orvik.INI" "$work/Orvik.INI.before" || fail "random settings: the file was written"
echo "closed without a message; the file is as it was"

# 2. A port setting made of printable garbage in a [Setup] section.
{
    printf '[Setup]\r\nCommsPort='
    head -c 256 /dev/urandom | tr -dc '[:print:]' | head -c 64
    printf '\r\n[Ports]\r\nCOM1=%s\r\n' "$work/bus"
} >"$work/Orvik.INI"
stop_xvfb
start_program
wait_for 20 find_strip || fail "random port value: node 1 never turned green (not on COM1?)"
echo "random port value: started on COM1, node 1 green"

# 3. The file replaced by a directory before close.
rm -f "$work/Orvik.INI"
mkdir "$work/Orvik.INI"
pid=$prog_pid
close_window
box_shown() { box=$(other_windows | head -n 1); [ -n "$box" ]; }
wait_for 10 box_shown || fail "no message when the settings file cannot be written"
kill -0 "$pid" || fail "the program ended before the message was dismissed"
shot "$work/box.png" "$box"
echo "message box shown: $(xdotool getwindowname "$box") $(identify -format '%wx%h' "$work/box.png")"
press_return "$box"
wait_for 15 ended || fail "the program did not end after the message"
wait "$pid"
status=$?
prog_pid=""
[ "$status" = 0 ] || fail "exit status $status after the message"
[ -d "$work/Orvik.INI" ] || fail "the directory in the settings file's place was touched"
echo "message dismissed: the program ended with status 0"
echo "PASS"
