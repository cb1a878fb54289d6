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

# Each thread of a process: "tid name voluntary nonvoluntary" (its context switches so far; a
# voluntary one is a sleep, so a wake-up follows it; spaces in the name as _).
thread_switches() {
    local t name
    for t in /proc/"$1"/task/*; do
        name=$(tr ' ' _ <"$t/comm" 2>/dev/null) || continue
        awk -v tid="${t##*/}" -v name="$name" '/^voluntary_ctxt/ { v = $2 }
            /^nonvoluntary_ctxt/ { n = $2 } END { print tid, name, v + 0, n + 0 }' \
            "$t/status" 2>/dev/null
    done
}

# snapshot PID FILE: the process's CPU ticks and the time ("clock ticks ns") on the first line,
# then its threads as thread_switches prints them.
snapshot() {
    echo "clock $(cpu_ticks "$1") $(date +%s%N)" >"$2"
    thread_switches "$1" >>"$2"
}

# rates PID BEFORE AFTER [BEFORE AFTER...]: what sample prints, over the windows between each
# pair of snapshots, added up.
rates() {
    local pid=$1
    shift
    awk -v hz="$(getconf CLK_TCK)" -v main="$pid" '
        FNR == 1 { after = ++files % 2 == 0; if (!after) for (t in v0) { delete v0[t]; delete n0[t] } }
        $1 == "clock" { if (after) { dt += $2 - t0; ns += $3 - w0 } else { t0 = $2; w0 = $3 }; next }
        !after { v0[$1] = $3; n0[$1] = $4; next }
        ($1 in v0) {
            v = $3 - v0[$1]; n = $4 - n0[$1]
            vol += v; all += v + n
            if ($2 == "serial_monitor") { mv += v; ma += v + n; mon = 1 }
            if ($1 == main) { xv += v; xa += v + n }
        }
        END {
            s = ns / 1e9
            printf "%.2f %.1f %.1f %s %.1f %s %.1f\n", 100 * dt / hz / s, all / s, vol / s,
                mon ? sprintf("%.1f", mv / s) : "-", xv / s, mon ? sprintf("%.1f", ma / s) : "-", xa / s
        }' "$@"
}

# sample PID SECONDS: prints, over that time,
#   cpu_percent switches/s wakeups/s monitor_wakeups/s main_wakeups/s monitor_switches/s
#   main_switches/s
# switches: context switches of all threads (wake-ups and preemptions); wake-ups: voluntary
# ones; monitor: the serial component's monitor thread ("-" without one); main: the thread
# the process began with.
sample() {
    local before after
    before=$(mktemp) after=$(mktemp)
    snapshot "$1" "$before"
    sleep "$2"
    snapshot "$1" "$after"
    rates "$1" "$before" "$after"
    rm -f "$before" "$after"
}

# busy_neighbour SECONDS: one process spinning on each CPU at normal priority, as other work
# on a technician's laptop; each ends by itself after SECONDS, or at bench_cleanup. Sets
# neighbour_pids.
busy_neighbour() {
    local i
    neighbour_pids=()
    for i in $(seq "$(nproc)"); do
        timeout "$1" sh -c 'while :; do :; done' &
        neighbour_pids+=($!)
        track $!
    done
}
stop_neighbour() {
    local pid
    for pid in "${neighbour_pids[@]}"; do stop "$pid"; done
    neighbour_pids=()
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
