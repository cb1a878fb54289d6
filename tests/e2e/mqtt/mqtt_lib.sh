# Shared steps of the MQTT tests: a Mosquitto broker on a free port of 127.0.0.1 with a
# configuration the test writes, the bus simulator taking commands on a FIFO, orvik-mqtt, and
# a subscriber that writes every message it sees as "RETAIN TOPIC PAYLOAD". Every process is
# ended by its PID, also on failure. Sourced; sets work, port, broker_pid, sim_pid, bridge_pid.
bridge=$1 sim=$2 mosquitto=$3
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/scripts/lib/wait.sh"

work=$(mktemp -d)
broker_pid="" sim_pid="" bridge_pid="" sub_pid=""
mqtt_cleanup() {
    local pid
    for pid in $bridge_pid $sub_pid $sim_pid $broker_pid; do
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    exec 7>&- 2>/dev/null
    if [ "${E2E_KEEP:-}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap mqtt_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    echo "--- bridge" >&2
    tail -n 20 "$work/bridge.err" >&2 2>/dev/null
    echo "--- broker" >&2
    tail -n 10 "$work/broker.log" >&2 2>/dev/null
    exit 1
}

source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/scripts/lib/ports.sh"
port=$(free_ports 1)
[ -n "$port" ] || fail "no free port"

# start_broker: the broker on $port with $work/broker.conf (the test writes the rest of it).
start_broker() {
    "$mosquitto" -c "$work/broker.conf" >>"$work/broker.log" 2>&1 &
    broker_pid=$!
    wait_for 10 port_open "$port" || fail "the broker did not listen on $port"
}
# Run as root, the broker would become the user "mosquitto", who cannot read the test's files.
broker_config() { # lines after the listener
    { echo "listener $port 127.0.0.1"; echo "user $(id -un)"; echo "persistence false";
      echo "log_dest stderr";
      echo "log_type all"; printf '%s\n' "$@"; } >"$work/broker.conf"
}
kill_pid() { # SIGNAL PID: ends it and waits for it
    kill "-$1" "$2" 2>/dev/null
    wait "$2" 2>/dev/null
}

# The simulator; its standard input is the FIFO on descriptor 7.
start_sim() {
    [ -p "$work/sim.in" ] || mkfifo "$work/sim.in"
    exec 7<>"$work/sim.in"
    "$sim" --link "$work/bus" --log "$work/commands.log" "$@" <"$work/sim.in" \
        >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    wait_for 10 test -e "$work/bus" || fail "the simulator did not start"
}
sim_says() { echo "$*" >&7; }
switches_sent() { grep -c '"CMD_SWITCH_BREAKER"' "$work/commands.log" 2>/dev/null; }

start_bridge() { # options
    "$bridge" --broker "mqtt://127.0.0.1:$port" --port "$work/bus" --base orvik/van12 "$@" \
        >>"$work/bridge.out" 2>>"$work/bridge.err" &
    bridge_pid=$!
}
logged() { grep -qF -- "$1" "$work/bridge.err"; }

# A subscriber on everything, for the whole test: $work/seen. Options: credentials.
start_watch() {
    mosquitto_sub -h 127.0.0.1 -p "$port" -t '#' -F '%r %t %p' "$@" >>"$work/seen" 2>&1 &
    sub_pid=$!
}
seen() { grep -qF -- "$1" "$work/seen" 2>/dev/null; }
# retained OPTIONS...: what a new subscriber gets at once, kept by the broker, into $work/now.
retained() {
    mosquitto_sub -h 127.0.0.1 -p "$port" -t '#' -F '%r %t %p' --retained-only -W 2 "$@" \
        >"$work/now" 2>/dev/null
    return 0
}
has() { grep -qF -- "$1" "$work/now"; }
