#!/usr/bin/env bash
# The settings file at its worst. Random bytes: the program starts on COM1 all the same.
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

# 1. Random bytes, COM1 mapped to the simulator after them.
head -c 8192 /dev/urandom >"$work/Orvik.INI"
printf '\n[Ports]\nCOM1=%s\n' "$work/bus" >>"$work/Orvik.INI"
start_program
wait_for 20 find_strip || fail "random settings: node 1 never turned green (not on COM1?)"
echo "random settings file: started on COM1, node 1 green"
close_program
[ "$status" = 0 ] || fail "random settings: exit status $status"
grep -aq '^CommsPort=0' "$work/Orvik.INI" || fail "random settings: CommsPort=0 not written at close"
grep -aq "^COM1=$work/bus" "$work/Orvik.INI" || fail "random settings: the [Ports] entry was lost"
echo "closed: CommsPort=0 written, [Ports] kept"

# 2. A port setting made of random bytes in a [Setup] section.
{
    printf '[Setup]\r\nCommsPort='
    head -c 64 /dev/urandom | tr -d '\n\r'
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
