# Figures of a running process from /proc, and the processes the benchmark script starts.
# Sourced by scripts/bench.sh.

bench_pids=()
# track PID: ended by bench_cleanup
track() { bench_pids+=("$1"); }
bench_cleanup() {
    local pid
    for pid in "${bench_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    bench_pids=()
    stop_xvfb
}

# CPU ticks (user + system) of a process, all its threads.
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }

# Context switches of all threads of a process: each is a wake-up or a preemption.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print s + 0 }'
}

rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }

# sample PID SECONDS: prints "cpu_percent wakeups_per_second" over that time.
sample() {
    local hz t0 t1 s0 s1 w0 w1
    hz=$(getconf CLK_TCK)
    t0=$(cpu_ticks "$1") s0=$(switches "$1") w0=$(date +%s%N)
    sleep "$2"
    t1=$(cpu_ticks "$1") s1=$(switches "$1") w1=$(date +%s%N)
    awk -v dt=$((t1 - t0)) -v ds=$((s1 - s0)) -v hz="$hz" -v ns=$((w1 - w0)) \
        'BEGIN { s = ns / 1e9; printf "%.2f %.1f\n", 100 * dt / hz / s, ds / s }'
}

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/wait.sh"

# start_bus DIR OPTIONS...: a simulator with its far end linked at DIR/bus; sets bus_pid.
start_bus() {
    local dir=$1
    shift
    "$sim" --link "$dir/bus" --log "$dir/commands.log" "$@" >"$dir/sim.out" 2>"$dir/sim.err" &
    bus_pid=$!
    track "$bus_pid"
    wait_for 10 test -e "$dir/bus" || { echo "simulator did not start" >&2; return 1; }
}

# start_orvik DIR: the program, a copy next to its own settings file with COM1 = DIR/bus;
# sets orvik_pid and orvik_window.
start_orvik() {
    local dir=$1
    cp "$program" "$dir/orvik"
    set_port_mapping "$dir/Orvik.INI" 1 "$dir/bus"
    "$dir/orvik" >"$dir/program.out" 2>&1 &
    orvik_pid=$!
    track "$orvik_pid"
    find_main() {
        orvik_window=$(xdotool search --pid "$orvik_pid" --name "Tarnwell Orvik interface" 2>/dev/null | head -n 1)
        [ -n "$orvik_window" ]
    }
    wait_for 20 find_main || { echo "no main window" >&2; return 1; }
}

# start_reader DIR qt|comm SECONDS: the reference reader on DIR/bus; sets reader_pid.
start_reader() {
    "$reader" "$2" "$1/bus" "$3" >"$1/reader.out" 2>"$1/reader.err" &
    reader_pid=$!
    track "$reader_pid"
}

# stop PID
stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# value FILE NAME: the value of a "name value unit" line.
value() { awk -v n="$2" '$1 == n { print $2 }' "$1"; }

# menu_bar_height WINDOW FILE: the main window's menu bar height, found from node 1's
# indicator (client 116, 68 and 25 high), which must be green.
menu_bar_height() {
    import -window "$1" "$2" 2>/dev/null || return 1
    local y
    for y in $(seq 60 140); do
        if [ "$(convert "$2" -format '%[fx:int(255*p{116,'"$y"'}.g+.5)],%[fx:int(255*p{116,'"$y"'}.r+.5)]' info:)" = "255,0" ]; then
            echo $((y - 57))
            return 0
        fi
    done
    return 1
}
