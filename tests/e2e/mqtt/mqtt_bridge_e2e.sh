#!/usr/bin/env bash
# orvik-mqtt with anonymous access to a Mosquitto broker on 127.0.0.1: the retained discovery
# configurations and states with the simulator's values; /set ON switches a breaker with
# --allow-switching only, a malformed command sends nothing, one the bus does not carry out is
# told after its 2 s; the simulator's silence moves the line topic and the nodes'
# availability, and so does a lost line; a trip is one event on its breaker's event topic; the
# broker killed and started again gets everything again; a SIGTERM publishes offline, a SIGKILL
# leaves it to the Last Will; --no-discovery takes back what the runs before it announced;
# Read settings pressed asks a node once; trip settings and diagnostics are published.
set -u
source "$(dirname "$0")/mqtt_lib.sh"
base=orvik/van12 cfg=homeassistant

broker_config "allow_anonymous true"
start_broker
# Node 1 breaker 1 carries 25.5 A, and node 1 does not switch; node 2 breaker 2 is off.
start_sim --nodes 1,2 --load 1:1:255 --no-drift --ignore 1:6
start_watch

# 1. Without --allow-switching: discovery with binary sensors, states, and no commands taken.
start_bridge
node1=$cfg/sensor/orvik_orvik_van12_node1
wait_for 15 seen "$base/node/2/availability online" || fail "node 2 never became available"
retained
has "1 $base/status online" || fail "no retained online"
has "1 $base/line receiving" || fail "no retained line state"
grep -q "^1 $base/node/1/state {\"node\":1,\"present\":true,\"breakers\":\[{\"on\":true,\"fault\":false,\"current\":25.5}" \
    "$work/now" || fail "node 1's state: $(grep "node/1/state" "$work/now")"
grep -q "^1 $base/node/2/state .*\"breakers\":\[[^]]*},{\"on\":false," "$work/now" ||
    fail "node 2 breaker 2 not off in its state"
grep -q "^1 $node1/breaker1_current/config .*\"state_topic\":\"$base/node/1/state\",\"value_template\":\"{{ value_json.breakers\[0\].current if value_json.present else None }}\",\"device_class\":\"current\",\"unit_of_measurement\":\"A\"" \
    "$work/now" || fail "breaker 1's current sensor: $(grep breaker1_current "$work/now")"
has "\"name\":\"Orvik node 1 on van12\"" || fail "no device Orvik node 1 on van12"
has "\"device_class\":\"voltage\",\"unit_of_measurement\":\"V\"" || fail "no input voltage sensor"
for n in 1 2; do
    count=$(grep -c "^1 $cfg/[a-z_]*/orvik_orvik_van12_node$n/.*/config {" "$work/now")
    [ "$count" = 85 ] || fail "node $n: $count discovery configurations, not 85"
done
# Event entities and device triggers with the keys Home Assistant requires, of their types.
python3 - "$work/now" "$cfg" <<'PY' || fail "event entities or device triggers not as Home Assistant takes them"
import json, sys
events, triggers = 0, 0
for line in open(sys.argv[1]):
    retain, topic, payload = line.rstrip("\n").split(" ", 2)
    kind = topic.split("/")[1]
    if not payload or kind not in ("event", "device_automation"):
        continue
    c = json.loads(payload)
    assert isinstance(c["device"]["identifiers"], list), topic
    if kind == "event":
        events += 1
        assert all(isinstance(c[k], str) for k in ("name", "unique_id", "state_topic")), topic
        assert c["event_types"] and all(isinstance(t, str) for t in c["event_types"]), topic
        assert c["availability"][1]["topic"].endswith("/availability"), topic
    else:
        triggers += 1
        assert c["automation_type"] == "trigger", topic
        assert all(isinstance(c[k], str) for k in ("topic", "type", "subtype", "payload")), topic
        assert c["payload"] == c["type"], topic
assert (events, triggers) == (18, 68), (events, triggers)
PY
has "1 $cfg/binary_sensor/orvik_orvik_van12_node2/breaker2/config {" ||
    fail "breakers are not binary sensors without --allow-switching"
grep -q "orvik_van12_node3\|$base/node/3/" "$work/now" && fail "node 3 was never seen but published"
echo "retained: online, line, states with 25.5 A, 2 x 85 discovery configurations (event entities and device triggers as Home Assistant takes them), no node 3"
# Each node that joined is asked for its breaker setup, once, so that its faults carry the trips.
setups_asked() { [ "$(grep -c '"CMD_REQUEST_BREAKER_SETUP"' "$work/commands.log")" = 2 ]; }
wait_for 10 setups_asked || fail "breaker setups asked: $(grep -c REQUEST_BREAKER "$work/commands.log")"
echo "each of the two nodes asked once for its breaker setup"
# Their replies as trip settings (the simulator's 10.0 A after 1.0 s), and the bus's
# diagnostics with the program's own version, as Home Assistant's diagnostic sensors.
version=$("$bridge" --version | cut -d' ' -f2)
diagnosed() { retained; has "1 $base/node/2/trip_settings {\"node\":2,\"breakers\":[{\"trip_current\":10.0,\"trip_time\":1.0}" &&
    has "1 $base/diagnostics {\"line\":\"receiving\","; }
wait_for 15 diagnosed || fail "no trip settings or diagnostics: $(grep "trip_settings\|diagnostics" "$work/now")"
has "\"last_status_frame\":\"20" || fail "no time of the last status frame: $(grep diagnostics "$work/now")"
has "\"version\":\"$version\"}" || fail "not the version $version: $(grep diagnostics "$work/now")"
[ "$(grep -c "^1 $cfg/sensor/orvik_orvik_van12_bus/[a-z_]*/config {.*\"entity_category\":\"diagnostic\"" "$work/now")" = 5 ] ||
    fail "the bus's five diagnostic sensors: $(grep -c orvik_van12_bus "$work/now")"
echo "trip settings of both nodes, the line's diagnostics with version $version, five diagnostic sensors"
# "Read settings" of node 1, also without --allow-switching: one more setup request; pressed
# again twice after it was sent, within its 5 s, nothing more.
has "\"command_topic\":\"$base/node/1/read_settings\",\"payload_press\":\"PRESS\"" ||
    fail "no Read settings button of node 1"
press() { mosquitto_pub -h 127.0.0.1 -p "$port" -t "$base/node/1/read_settings" -m PRESS; }
setups_now() { [ "$(grep -c '"CMD_REQUEST_BREAKER_SETUP"' "$work/commands.log")" = "$1" ]; }
press
wait_for 10 setups_now 3 || fail "Read settings asked no setup"
press
press
wait_for 10 logged "Orvik node 1: Read settings: pressed again within 5 s" || fail "presses not refused"
sleep 2.5 # the setup requests' spacing: a second request would be sent by now
setups_now 3 || fail "Read settings pressed three times: $(grep -c REQUEST_BREAKER "$work/commands.log") setup requests, not 3"
echo "Read settings of node 1 pressed three times within 5 s: one setup request"

mosquitto_pub -h 127.0.0.1 -p "$port" -t "$base/node/2/breaker/2/set" -m ON
sleep 2 # what a switch takes on this bus, to see that none comes
[ "$(switches_sent)" = 0 ] || fail "a switch was sent without --allow-switching"
kill_pid TERM "$bridge_pid"
rc=$?
bridge_pid=""
[ "$rc" = 0 ] || fail "SIGTERM: exit $rc"
retained
has "1 $base/status offline" || fail "no offline after SIGTERM"
echo "without --allow-switching: /set ON sent nothing; SIGTERM published offline, exit 0"

# 2. With --allow-switching: switches in discovery, /set ON switches, malformed input sends
# nothing.
: >"$work/seen"
# A command kept by the broker is not taken when the bridge subscribes.
mosquitto_pub -h 127.0.0.1 -p "$port" -t "$base/node/2/breaker/3/set" -r -m ON
start_bridge --allow-switching --verbose
wait_for 15 seen "$base/node/2/availability online" || fail "node 2 never became available"
retained
has "1 $cfg/switch/orvik_orvik_van12_node2/breaker2/config {" || fail "no switch for breaker 2"
has "\"command_topic\":\"$base/node/2/breaker/2/set\"" || fail "no command topic"
grep -q "$cfg/binary_sensor/orvik_orvik_van12_node2/breaker2/config" "$work/now" &&
    fail "the binary sensor of breaker 2 was not removed"
wait_for 10 logged "connected to the broker" || fail "not connected"
pub() { mosquitto_pub -h 127.0.0.1 -p "$port" -t "$1" -m "$2"; }
pub "$base/node/2/breaker/2/set" ON
switched() { [ "$(switches_sent)" = "$1" ]; }
wait_for 10 switched 1 || fail "/set ON did not switch"
grep -q '"payload":\[1,1\]' "$work/commands.log" || fail "not breaker 2 on: $(cat "$work/commands.log")"
on_now() { grep -q "$base/node/2/state {\"node\":2,\"present\":true,\"breakers\":\[{[^}]*},{\"on\":true," "$work/seen"; }
wait_for 10 on_now || fail "node 2's state never showed breaker 2 on"
wait_for 5 seen "$base/node/2/event {\"kind\":\"switched_on\"" || fail "no switched_on event"
# 15 A over the simulator's 10 A for its 1 s: the breaker trips, once, as Home Assistant's event.
sim_says "load 2 2 150"
trip_topic="$base/node/2/breaker/2/event"
wait_for 10 seen "$trip_topic {\"event_type\":\"tripped\",\"current\":15.0" ||
    fail "no tripped event: $(grep "$trip_topic" "$work/seen")"
sleep 1 # a second message would be here by now
[ "$(grep -c "^0 $trip_topic {\"event_type\":\"tripped\"" "$work/seen")" = 1 ] ||
    fail "not one tripped event: $(grep "$trip_topic" "$work/seen")"
sim_says "load 2 2 0"
echo "a trip of node 2 breaker 2: one tripped event with 15.0 A on $trip_topic"
for bad in "$base/node/2/breaker/2/set on" "$base/node/2/breaker/2/set ONN" \
    "$base/node/9/breaker/2/set ON" "$base/node/2/breaker/0/set OFF" "$base/node/02/breaker/2/set OFF"; do
    pub "${bad% *}" "${bad##* }"
done
logged "Orvik node 2 breaker 3 ON: a retained command" || fail "a retained command taken"
mosquitto_pub -h 127.0.0.1 -p "$port" -t "$base/node/2/breaker/3/set" -r -n
wait_for 10 logged "\"orvik/van12/node/02/breaker/2/set\": the Orvik nodes" || fail "bad topics not told"
logged "Orvik node 2 breaker 2: \"ONN\" is no command" || fail "a bad payload not told"
sleep 1 # a command sent in error would be in the simulator's log by now
[ "$(switches_sent)" = 1 ] || fail "a malformed command was sent"
echo "with --allow-switching: /set ON switched node 2 breaker 2 and its state showed it; five malformed and a retained command sent nothing"

# A flood: 60 commands at once; more than 10 a second are refused.
for i in $(seq 60); do echo OFF; done >"$work/flood"
mosquitto_pub -h 127.0.0.1 -p "$port" -t "$base/node/2/breaker/2/set" -l <"$work/flood"
wait_for 10 logged "more than 10 commands a second" || fail "a flood was not refused"
sleep 1 # the admitted ones reach the simulator's log
sent=$(($(switches_sent) - 1))
[ "$sent" -lt 60 ] || fail "all 60 flooded commands were sent"
echo "a flood of 60 commands at once: $sent sent, the rest refused"

# A switch the bus does not carry out: told once its time is over.
pub "$base/node/1/breaker/4/set" ON
wait_for 10 logged "Orvik node 1 breaker 4 did not show on within 2 s" ||
    fail "a switch node 1 ignored was not told"
echo "a switch node 1 ignored: told as not shown within 2 s"

# 3. Silence on the bus: the line topic and availability follow, and come back.
sim_says "silence on"
wait_for 10 seen "$base/line silent" || fail "the line topic did not say silent"
wait_for 5 seen "$base/node/1/availability offline" || fail "node 1 stayed available"
sim_says "silence off"
wait_for 10 seen "$base/line receiving" || fail "the line did not come back"
back() { sed -n '/line silent/,$p' "$work/seen" | grep -qF "$base/node/1/availability online"; }
wait_for 5 back || fail "node 1 did not become available again"
sim_says "leave 2"
wait_for 10 seen "$base/node/2/state {\"node\":2,\"present\":false}" || fail "node 2 left, still present"
wait_for 5 seen "$base/node/2/event {\"kind\":\"left\"" || fail "no left event"
wait_for 5 seen "$base/node/2/presence {\"event_type\":\"left\"}" || fail "no left on node 2's presence"
echo "silence: line silent, node 1 unavailable, then receiving and available; node 2 left: present false"

# The line lost (the simulator's pseudo-terminal gone) and back.
: >"$work/seen"
kill_pid TERM "$sim_pid"
wait_for 10 seen "$base/line lost" || fail "the line topic did not say lost"
wait_for 5 seen "$base/node/1/availability offline" || fail "node 1 stayed available on a lost line"
: >"$work/seen"
start_sim --nodes 1,2 --load 1:1:255 --no-drift
wait_for 20 seen "$base/line receiving" || fail "the line did not come back after the loss"
wait_for 5 seen "$base/node/1/availability online" || fail "node 1 did not return"
echo "line lost: line lost, node 1 unavailable; back: receiving and available"

# 4. The broker killed and started again, without its retained messages: all of it again.
kill_pid KILL "$sub_pid"
sub_pid=""
kill_pid KILL "$broker_pid"
wait_for 10 port_free "$port" || fail "the broker's port stayed open"
start_broker
wait_for 30 logged "the connection was lost" || fail "the loss was not told"
retained
t0=$SECONDS
republished() { retained; has "1 $base/status online" && has "1 $base/node/1/state {" && \
    has "1 $cfg/sensor/orvik_orvik_van12_node1/input_voltage/config {" && \
    has "1 $base/line receiving"; } # the line comes last
wait_for 60 republished || fail "not republished after the broker came back"
has "1 $base/line receiving" || fail "line not republished"
has "1 $base/node/1/availability online" || fail "availability not republished"
echo "broker killed and started again: online, line, states, availability and discovery republished"

# Home Assistant started again (its birth message): the discovery comes back within 5 s.
voltage_config="$cfg/sensor/orvik_orvik_van12_node1/input_voltage/config"
mosquitto_pub -h 127.0.0.1 -p "$port" -t "$voltage_config" -r -n
mosquitto_pub -h 127.0.0.1 -p "$port" -t "$cfg/status" -m online
announced() { retained; has "1 $voltage_config {"; }
wait_for 5 announced || fail "discovery not published again after Home Assistant's birth message"
echo "Home Assistant's online on $cfg/status: discovery published again"

# 5. The bridge killed: the broker publishes its Last Will.
kill_pid KILL "$bridge_pid"
bridge_pid=""
will_said() { retained; has "1 $base/status offline"; }
wait_for 10 will_said || fail "the will did not say offline"
echo "SIGKILL: the Last Will says offline"

# 6. --no-discovery takes back what the earlier runs announced, and the states go on.
retained
has "1 $cfg/sensor/orvik_orvik_van12_node1/input_voltage/config {" ||
    fail "no earlier discovery left to take back"
start_bridge --no-discovery
taken_back() { retained; ! grep -q "^1 $cfg/[a-z_]*/orvik_orvik_van12_\(node\|bus\)" "$work/now" &&
    has "1 $base/status online"; }
wait_for 20 taken_back || fail "earlier discovery left: $(grep -c "orvik_van12_node" "$work/now")"
logged "took back $cfg/sensor/orvik_orvik_van12_node1/input_voltage/config" ||
    fail "the take-back was not logged"
echo "--no-discovery: every earlier configuration of the base taken back"
echo "PASS"
