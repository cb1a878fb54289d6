#!/usr/bin/env bash
# orvik-mqtt at a broker that wants a password and keeps the bridge to its base with an ACL: a
# wrong password is refused, the bridge says why and tries again, and shows it nowhere on its
# command line; with the right one from --password-file it publishes under its base and tries
# to write nowhere else.
set -u
source "$(dirname "$0")/mqtt_lib.sh"
base=orvik/van12

mosquitto_passwd -c -b "$work/passwords" bridge 'bridge pass' >/dev/null 2>&1 || fail "mosquitto_passwd"
mosquitto_passwd -b "$work/passwords" watcher 'watcher pass' >/dev/null 2>&1 || fail "mosquitto_passwd"
cat >"$work/acl" <<ACL
user bridge
topic readwrite $base/#
user watcher
topic read #
ACL
broker_config "allow_anonymous false" "password_file $work/passwords" "acl_file $work/acl"
start_broker
start_sim --nodes 1,2
start_watch -u watcher -P 'watcher pass'

# A wrong password, from the environment.
ORVIK_MQTT_PASSWORD='not the password' start_bridge --username bridge --no-discovery
refusals() { [ "$(grep -c "refused the connection: .*(see --username and the password); trying again" "$work/bridge.err")" -ge "$1" ]; }
wait_for 20 refusals 2 || fail "the refusal was not told, or not tried again"
grep -m 1 "refused the connection" "$work/bridge.err"
kill -0 "$bridge_pid" || fail "the bridge gave up"
tr '\0' ' ' <"/proc/$bridge_pid/cmdline" | grep -q "not the password" && fail "password on the command line"
seen "$base/status online" && fail "online with a wrong password"
kill_pid TERM "$bridge_pid"
bridge_pid=""

# The right password, from a file only its owner reads.
printf 'bridge pass\n' >"$work/password"
chmod 600 "$work/password"
before=$(wc -l <"$work/bridge.err")
start_bridge --username bridge --password-file "$work/password" --no-discovery
wait_for 15 seen "$base/status online" || fail "not online with the right password"
wait_for 10 seen "$base/node/1/state {\"node\":1,\"present\":true" || fail "no state of node 1"
wait_for 10 seen "$base/node/1/availability online" || fail "node 1 not available"
grep -q "Denied PUBLISH from orvik-mqtt" "$work/broker.log" && fail "the bridge wrote outside its base: $(grep -m 3 'Denied PUBLISH' "$work/broker.log")"
tail -n +$((before + 1)) "$work/bridge.err" | grep -q "refused" && fail "refused with the right password"
echo "the right password from --password-file: online, states, nothing denied by the ACL"
echo "PASS"
