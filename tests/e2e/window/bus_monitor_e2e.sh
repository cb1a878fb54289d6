#!/usr/bin/env bash
# The bus monitor on the simulator: opened with its menu entry, it shows the traffic; commands
# clicked in the main window show in it; "Save capture..." writes a capture through the real
# file dialog, and tshark with our dissector decodes the program's own command frames in it.
set -u
program=$1 sim=$2 dissector=$3
source "$(dirname "$0")/e2e_lib.sh"
command -v tshark >/dev/null || { echo "SKIP: tshark is not installed"; exit 77; }

start_sim --nodes 1,2,4 --noise 6
start_program
wait_for 15 find_strip || fail "node 1 never turned green"

# Two commands from the main window: breaker 1's switch, and the wigwag "Enable" button.
click_client 88 208
click_client 352 429
logged() { grep -q '"CMD_SWITCH_BREAKER"' "$work/commands.log" && grep -q '"CMD_WIGWAG_ENABLE"' "$work/commands.log"; }
wait_for 10 logged || fail "the simulator did not get both commands"

# The menu entry "Bus &monitor" by its shortcut, on the main window under the pointer.
xdotool mousemove --window "$window" 300 $((200 + dy))
xdotool key --clearmodifiers ctrl+m
monitor=""
find_monitor() { monitor=$(xdotool search --onlyvisible --name '^Bus monitor$' 2>/dev/null | head -n 1); [ -n "$monitor" ]; }
wait_for 10 find_monitor || fail "the bus monitor did not open"
sleep 1.5 # a few refreshes
shot "$work/monitor.png" "$monitor" || fail "no screenshot of the monitor"
[ -n "${E2E_SHOT:-}" ] && cp "$work/monitor.png" "$E2E_SHOT"
echo "bus monitor open"

# "&Save capture..." in the monitor, then the file dialog: a path typed in, Return.
capture=$work/from-the-program.pcapng
xdotool mousemove --window "$monitor" 450 300
xdotool key --clearmodifiers alt+s
file_dialog "Save capture" "$capture"
wait_for 10 test -s "$capture" || fail "no capture written"
echo "capture saved: $(stat -c %s "$capture") bytes"

decoded=$(tshark -X "lua_script:$dissector" -r "$capture" -Y 'orvik.kind == "command"' \
    -T fields -e frame.packet_flags_direction -e orvik.command -e orvik.node -e orvik.breaker \
    -e orvik.switch -e orvik.wigwag_enable -e orvik.sum_valid -e orvik.xor_valid -e orvik.summary 2>/dev/null)
echo "tshark, the program's commands:"
echo "$decoded"
# What the simulator logged decides what the frames must say.
switch=$(grep -o '"CMD_SWITCH_BREAKER","code":6,"payload":\[0,[01]\]' "$work/commands.log" | head -n 1 | grep -o '[01]\]$' | tr -d ']')
enable=$(grep -o '"CMD_WIGWAG_ENABLE","code":9,"payload":\[[01]\]' "$work/commands.log" | head -n 1 | grep -o '[01]\]$' | tr -d ']')
words=(off on)
[ -n "$switch" ] && [ -n "$enable" ] || fail "the simulator's log lacks the payloads"
grep -qP "^0x00000002\tCMD_SWITCH_BREAKER\t1\t1\t$switch\t\t1\t1\tswitch breaker 1 ${words[$switch]}, node 1$" <<<"$decoded" ||
    fail "tshark did not decode CMD_SWITCH_BREAKER to node 1, breaker 1, ${words[$switch]}"
enables=(disable enable)
grep -qP "^0x00000002\tCMD_WIGWAG_ENABLE\t1\t\t\t$enable\t1\t1\twigwag ${enables[$enable]}, node 1$" <<<"$decoded" ||
    fail "tshark did not decode CMD_WIGWAG_ENABLE to node 1"
statuses=$(tshark -X "lua_script:$dissector" -r "$capture" -Y 'orvik.summary == "status: nodes 1, 2, 4 present"' 2>/dev/null | wc -l)
[ "$statuses" -gt 3 ] || fail "tshark found $statuses status frames of nodes 1, 2, 4"
echo "tshark: $statuses status frames of nodes 1, 2, 4; both commands decoded"
echo "PASS"
