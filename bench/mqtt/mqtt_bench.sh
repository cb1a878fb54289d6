#!/usr/bin/env bash
# orvik-mqtt at the bus's full rate: eight nodes, status frames back to back, a Mosquitto broker
# on 127.0.0.1 and a subscriber on the states. Each round starts all of them afresh, waits for
# the bridge to publish, then measures it for SECONDS: CPU (user + system over wall time, one
# core = 100 %), resident memory at the end and at its peak, and the states published a second
# for the node that changes most. With a reader, the link core's reader without a window
# (orvik_ref_reader comm) is measured the same way in the same round, for the ratio.
# Prints "name median unit (min A, max B)" lines.
# Usage: mqtt_bench.sh BRIDGE SIM [READER] [ROUNDS] [SECONDS]
set -u
bridge=$1 sim=$2 reader=${3:-} rounds=${4:-5} seconds=${5:-20}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xvfb.sh"
source "$here/../lib.sh"

work=$(mktemp -d)
broker_pid="" sub_pid=""
cleanup() {
    bench_cleanup
    rm -rf "$work"
}
trap cleanup EXIT

source "$here/../../scripts/lib/ports.sh"
port=$(free_ports 1)
[ -n "$port" ] || { echo "no free port" >&2; exit 1; }
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nuser %s\n' "$port" \
    "$(id -un)" >"$work/broker.conf"

peak_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }
for r in $(seq "$rounds"); do
    d=$work/round$r
    mkdir -p "$d"
    mosquitto -c "$work/broker.conf" >"$d/broker.log" 2>&1 &
    track $!
    wait_for 10 eval '! port_free "$port"' || { echo "no broker" >&2; exit 1; }
    start_bus "$d" --full-rate --nodes 1,2,3,4,5,6,7,8 || exit 1
    "$bridge" --broker "mqtt://127.0.0.1:$port" --port "$d/bus" --base orvik/bench \
        2>"$d/bridge.err" &
    bridge_pid=$!
    track "$bridge_pid"
    started() { grep -q "connected to the broker" "$d/bridge.err"; }
    wait_for 20 started || { echo "the bridge did not connect" >&2; exit 1; }
    if [ -n "$reader" ]; then
        mkdir -p "$d/reader"
        start_bus "$d/reader" --full-rate --nodes 1,2,3,4,5,6,7,8 || exit 1
        start_reader "$d/reader" comm $((seconds + 30))
    fi
    sleep 3
    mosquitto_sub -h 127.0.0.1 -p "$port" -t 'orvik/bench/node/+/state' -F '%t' \
        >"$d/states" 2>/dev/null &
    track $!
    sleep 1
    : >"$d/states"
    sampler=""
    if [ -n "$reader" ]; then
        sample "$reader_pid" "$seconds" >"$d/reader.cpu" &
        sampler=$!
    fi
    sample "$bridge_pid" "$seconds" >"$d/cpu"
    [ -z "$sampler" ] || wait "$sampler"
    # The busiest node's states a second.
    busiest=$(sort "$d/states" | uniq -c | sort -n | tail -n 1 |
        awk -v s="$seconds" '{ printf "%.2f", $1 / s }')
    # Wake-ups per status frame (monitor, main, whole), at the reader's frames a second: both
    # read the same full-rate bus.
    fps=$( [ -n "$reader" ] && tail -n 1 "$d/reader/reader.out" | awk '$1 == "figures" { print $2 }')
    per_frame=$(awk -v f="${fps:-0}" '{ if (f > 0) printf "%.2f %.2f %.2f", $4 / f, $5 / f, $3 / f
        else print "- - -" }' "$d/cpu")
    echo "$(awk '{ print $1 }' "$d/cpu") $(rss_kb "$bridge_pid") $(peak_kb "$bridge_pid")" \
        "${busiest:-0}" "$( [ -n "$reader" ] && awk '{ print $1 }' "$d/reader.cpu" || echo -)" \
        "$per_frame" >>"$work/rounds"
    bench_cleanup
done

# Idle: the line open, the bus silent; what wakes the bridge then.
d=$work/idle
mkdir -p "$d"
mosquitto -c "$work/broker.conf" >"$d/broker.log" 2>&1 &
track $!
wait_for 10 eval '! port_free "$port"' || { echo "no broker" >&2; exit 1; }
start_bus "$d" --silence 0:0 --nodes 1,2,3,4,5,6,7,8 || exit 1
"$bridge" --broker "mqtt://127.0.0.1:$port" --port "$d/bus" --base orvik/bench 2>"$d/bridge.err" &
bridge_pid=$!
track "$bridge_pid"
idle_started() { grep -q "connected to the broker" "$d/bridge.err"; }
wait_for 20 idle_started || { echo "the bridge did not connect" >&2; exit 1; }
sleep 3
sample "$bridge_pid" "$seconds" >"$d/cpu"
bench_cleanup

# median, min and max of column N
stat() {
    sort -n -k"$1","$1" "$work/rounds" | awk -v c="$1" '{ v[NR] = $c }
        END { printf "%s (min %s, max %s)", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
echo "mqtt_cpu_percent $(stat 1) % of a core, $rounds rounds of $seconds s"
echo "mqtt_rss_mb $(awk '{ $2 = sprintf("%.1f", $2 / 1024) } 1' "$work/rounds" >"$work/r2" &&
    mv "$work/r2" "$work/rounds" && stat 2) MB"
echo "mqtt_peak_rss_mb $(awk '{ $3 = sprintf("%.1f", $3 / 1024) } 1' "$work/rounds" >"$work/r2" &&
    mv "$work/r2" "$work/rounds" && stat 3) MB"
echo "mqtt_states_per_second_busiest_node $(stat 4) (interval 1 s)"
if [ -n "$reader" ]; then
    echo "reader_cpu_percent $(stat 5) %"
    echo "mqtt_to_reader_cpu $(awk '{ if ($5 > 0) printf "%.2f\n", $1 / $5 }' "$work/rounds" |
        sort -n | awk '{ v[NR] = $1 } END { printf "%s (min %s, max %s)", v[int((NR + 1) / 2)], v[1], v[NR] }')"
fi
if [ -n "$reader" ]; then
    echo "mqtt_wakeups_per_frame $(stat 6) / $(stat 7) / $(stat 8) (monitor / main / whole)"
fi
echo "mqtt_idle_main_wakeups $(awk '{ print $5 "/s, CPU " $1 " %" }' "$d/cpu")"
echo "load_average $(cut -d' ' -f1-3 /proc/loadavg)"
