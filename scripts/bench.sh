#!/usr/bin/env bash
# Builds the benchmarks (build-bench, RelWithDebInfo), runs them and prints one table.
# Usage: ./scripts/bench.sh [--quick] [--line]
#   --quick: the full-rate memory run lasts 60 s instead of 10 minutes.
#   --line:  only the rows of the line: delay, CPU and wake-ups at full rate, quiet and with a
#            busy neighbour, idle, waiting for a reply, orvik-mqtt (about 10 minutes).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh
source scripts/lib/xvfb.sh
source scripts/lib/settings.sh
source bench/lib.sh

long_run=600
line_only=0
for a in "$@"; do
    case $a in
        --quick) long_run=60 ;;
        --line) line_only=1 ;;
        *) echo "usage: $0 [--quick] [--line]" >&2; exit 2 ;;
    esac
done
window=30 # seconds of each CPU figure
# Shorter runs while working on this script: ORVIK_BENCH_SECONDS=WINDOW:LONG_RUN.
if [ -n "${ORVIK_BENCH_SECONDS:-}" ]; then
    window=${ORVIK_BENCH_SECONDS%%:*} long_run=${ORVIK_BENCH_SECONDS##*:}
fi

ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}" qt6-serialport-dev valgrind
build=${ORVIK_BENCH_BUILD:-build-bench} # another RelWithDebInfo build may stand in
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target receive_bench history_bench history_paint_bench \
    open_stall_bench window_delay_bench net_open_bench orvik_ref_reader orvik orvik-bus-sim orvik-mqtt \
    wake_cost_bench >/dev/null
program=$root/$build/app/orvik
sim=$root/$build/sim/orvik-bus-sim
reader=$root/$build/bench/reference/orvik_ref_reader

work=$(mktemp -d)
trap 'bench_cleanup; rm -rf "$work"' EXIT
start_xvfb 800x700x24
note() { echo "bench: $*" >&2; }

# 0. What the machine charges for memory touched again after a pause, before and after: the
# CPU figures below follow it.
note "the machine's cost of a page touched again after a pause"
"$build/bench/machine/wake_cost_bench" >"$work/machine-start.txt"

if [ "$line_only" = 0 ]; then
# 1. Receive path.
note "receive path"
"$build/bench/receive/receive_bench" >"$work/receive.txt"

# 1b. The history: appending, its memory after 24 hours, a 24-hour plot's reductions, opening
# a one-hour recording, and the window's longest wait while a 24-hour one opens.
note "history"
"$build/bench/history/history_bench" 5 >"$work/history.txt"
QT_QPA_PLATFORM=offscreen "$build/bench/window/history_paint_bench" 10 >>"$work/history.txt" \
    2>/dev/null
# Three openings of a 24-hour recording (635 MB), each with the window's thread watched.
QT_QPA_PLATFORM=offscreen "$build/bench/window/open_stall_bench" 3 >>"$work/history.txt" 2>/dev/null
fi

# 1c. orvik-mqtt at full rate, to a Mosquitto broker on 127.0.0.1, beside the reader.
note "orvik-mqtt at full rate (5 x ${window} s)"
bash bench/mqtt/mqtt_bench.sh "$build/mqtt/orvik-mqtt" "$sim" "$reader" 5 "$window" >"$work/mqtt.txt"

# 2. Delay to the end of UpdateDisplay in the real main window.
for s in comm qt; do
    note "delay, $s"
    "$build/bench/window/window_delay_bench" --frames 1000 --serial "$s" >"$work/delay-$s.txt" \
        2>"$work/delay-$s.err"
done

# 2a. The same delay, and the readers' CPU at full rate, with a neighbour that keeps every CPU
# busy, as other work does on a technician's laptop.
note "delay and readers' CPU beside a busy neighbour ($(nproc) spinning processes)"
busy_neighbour $((2 * window + 240))
for s in comm qt; do
    "$build/bench/window/window_delay_bench" --frames 1000 --serial "$s" \
        >"$work/delay-busy-$s.txt" 2>"$work/delay-busy-$s.err"
done
for s in comm qt; do
    d=$work/$s-busy
    mkdir -p "$d"
    start_bus "$d" --full-rate
    start_reader "$d" "$s" $((window + 30))
    sleep 3
    sample "$reader_pid" "$window" >"$work/cpu-busy-$s.txt"
    stop "$reader_pid"
    stop "$bus_pid"
done
stop_neighbour

if [ "$line_only" = 0 ]; then
# 2b. The main window opening network ports that fail: its longest stall.
note "network ports that fail, the window's longest stall"
"$build/bench/netopen/net_open_bench" --rounds 5 >"$work/netopen.txt" 2>"$work/netopen.err"
fi

# 3. CPU at the bus's full rate, each reader alone.
full_rate() { # NAME: starts it on a new full-rate simulator, sets pid
    local d=$work/$1
    mkdir -p "$d"
    start_bus "$d" --full-rate
    case $1 in
        orvik-monitor*)
            ORVIK_OPEN_BUS_MONITOR=1 start_orvik "$d"
            pid=$orvik_pid
            wait_for 10 xdotool search --pid "$pid" --name '^Bus monitor$' >/dev/null ||
                note "the bus monitor did not open"
            ;;
        orvik-history*)
            ORVIK_OPEN_HISTORY=1 start_orvik "$d"
            pid=$orvik_pid
            wait_for 10 xdotool search --pid "$pid" --name '^History$' >/dev/null ||
                note "the History window did not open"
            ;;
        orvik*) start_orvik "$d"; pid=$orvik_pid ;;
        qt*) start_reader "$d" qt $((long_run + window + 60)); pid=$reader_pid ;;
        comm*) start_reader "$d" comm $((long_run + window + 60)); pid=$reader_pid ;;
    esac
}
for s in orvik orvik-monitor orvik-history qt comm; do
    note "CPU at full rate, $s (${window} s)"
    full_rate "$s-full"
    sleep 3
    sample "$pid" "$window" >"$work/cpu-full-$s.txt"
    stop "$pid"
    stop "$bus_pid"
done

# 3b. Instructions per status frame in the program at full rate, under callgrind (its counts
# do not depend on the machine's load): counted from 12 s after the start for 20 s.
note "callgrind, the program at full rate (20 s)"
d=$work/callgrind
mkdir -p "$d"
start_bus "$d" --full-rate
cp "$program" "$d/orvik"
set_port_mapping "$d/Orvik.INI" 1 "$d/bus"
valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$d/cg.out" "$d/orvik" \
    >"$d/program.out" 2>"$d/valgrind.err" &
cg_pid=$!
track "$cg_pid"
sleep 12
callgrind_control -i on "$cg_pid" >/dev/null
sleep 20
callgrind_control -d "$cg_pid" >/dev/null
sleep 1
python3 bench/window/callgrind_frames.py "$d/cg.out.1" >"$work/callgrind.txt" 2>/dev/null ||
    echo "instructions_per_status_frame - -" >"$work/callgrind.txt"
bench_cleanup
start_xvfb 800x700x24

# 4. Idle: the line open, the bus silent. All three at once.
note "idle (${window} s)"
idle_pids=()
for s in orvik qt comm; do
    d=$work/$s-idle
    mkdir -p "$d"
    start_bus "$d" --silence 0:0
    case $s in
        orvik) start_orvik "$d"; idle_pids+=("$orvik_pid") ;;
        *) start_reader "$d" "$s" $((window + 30)); idle_pids+=("$reader_pid") ;;
    esac
done
sleep 3
i=0
sample_pids=()
for s in orvik qt comm; do
    sample "${idle_pids[$i]}" "$window" >"$work/cpu-idle-$s.txt" &
    sample_pids+=($!)
    i=$((i + 1))
done
wait "${sample_pids[@]}"
bench_cleanup
start_xvfb 800x700x24

# 5. The program at the bus's usual frame period (200 ms), then waiting for a breaker setup
# reply that never comes, frames still arriving. A wait gives up after 2 s with a message: it
# is sampled 1.5 s from its waiting dialog's showing, ten times, the message closed in between.
note "usual frame period (${window} s), then waiting for a breaker setup reply (10 x 1.5 s)"
d=$work/orvik-wait
mkdir -p "$d"
start_bus "$d" --no-setup-reply
start_orvik "$d"
sleep 2
dy=$(menu_bar_height "$orvik_window" "$d/shot.png")
sample "$orvik_pid" "$window" >"$work/cpu-normal-orvik.txt"
requests() { grep -c CMD_REQUEST_BREAKER_SETUP "$d/commands.log" 2>/dev/null || true; }
visible() { xdotool search --onlyvisible --pid "$orvik_pid" "$@" 2>/dev/null || true; }
waiting_shown() { [ -n "$(visible --name '^Status$')" ]; }
message() { visible --name '^Tarnwell Orvik interface$' | grep -vx "$orvik_window" | head -n 1; }
message_shown() { [ -n "$(message)" ]; }
no_message() { [ -z "$(message)" ]; }
requested() { [ "$(requests)" -ge "$i" ]; } # the i-th request is in the log
windows=()
for i in $(seq 10); do
    xdotool mousemove --window "$orvik_window" 468 $((324 + dy)) click 1
    wait_for 10 requested && wait_for 10 waiting_shown || break
    snapshot "$orvik_pid" "$d/before-$i"
    sleep 1.5
    snapshot "$orvik_pid" "$d/after-$i"
    windows+=("$d/before-$i" "$d/after-$i")
    wait_for 10 message_shown || break
    press_return "$(message)"
    wait_for 10 no_message || break
done
if [ "${#windows[@]}" -eq 20 ]; then
    rates "$orvik_pid" "${windows[@]}" >"$work/cpu-wait-orvik.txt"
else
    note "the breaker setup wait ended early, after $((${#windows[@]} / 2)) of 10"
    echo "- -" >"$work/cpu-wait-orvik.txt"
fi
bench_cleanup
start_xvfb 800x700x24

if [ "$line_only" = 0 ]; then
# 6. Memory over a long run at full rate: all three at once.
note "memory at full rate (${long_run} s)"
declare -A long_pid
for s in orvik qt comm; do
    full_rate "$s-long"
    long_pid[$s]=$pid
done
sleep 5
for s in orvik qt comm; do rss_kb "${long_pid[$s]}" >"$work/rss-start-$s.txt"; done
sleep $((long_run - 5))
for s in orvik qt comm; do
    if kill -0 "${long_pid[$s]}" 2>/dev/null; then
        rss_kb "${long_pid[$s]}" >"$work/rss-end-$s.txt"
    else
        echo "ended" >"$work/rss-end-$s.txt"
    fi
done
bench_cleanup

# 7. Soak: the line vanishes and comes back behind the same link, 100 times, while the program
# runs; its line trace tells when it saw the loss and when frames flowed again.
cycles=${ORVIK_SOAK_CYCLES:-100}
note "line lost and back, $cycles cycles"
start_xvfb 800x700x24
d=$work/soak
mkdir -p "$d"
start_bus "$d"
ORVIK_TRACE="line:$d/trace.log" start_orvik "$d"
traced() { grep -q "$1" "$d/trace.log" 2>/dev/null; }
wait_for 20 traced receiving || note "the program never received"
sleep 2
proc_figures() { # fds threads rss_kb
    echo "$(ls "/proc/$1/fd" | wc -l) $(ls "/proc/$1/task" | wc -l) $(rss_kb "$1")"
}
proc_figures "$orvik_pid" >"$work/soak-before.txt"
# While the line is gone the program waits for it: what that costs.
stop "$bus_pid"
wait_for 10 traced "connection lost" || note "the loss was not seen"
: >"$d/trace.log"
sleep 1
sample "$orvik_pid" "$window" >"$work/cpu-lost-orvik.txt"
start_bus "$d"
wait_for 15 traced receiving || note "no frames after the first loss"
: >"$d/trace.log"
: >"$work/soak-times.txt"
recovered=0
for i in $(seq "$cycles"); do
    stop "$bus_pid"
    if ! wait_for 10 traced "connection lost"; then
        note "cycle $i: the loss was not seen"
        start_bus "$d"
        continue
    fi
    : >"$d/trace.log"
    start_bus "$d"
    t0=$(date +%s%N)
    if wait_for 15 traced receiving; then
        recovered=$((recovered + 1))
        echo $((($(date +%s%N) - t0) / 1000000)) >>"$work/soak-times.txt"
    fi
    : >"$d/trace.log"
done
sleep 2
proc_figures "$orvik_pid" >"$work/soak-after.txt"
bench_cleanup
fi
"$build/bench/machine/wake_cost_bench" >"$work/machine-end.txt"

# The table.
cpu() { awk '{ print $1 " %" }' "$work/cpu-$1-$2.txt"; }
wake() { awk '{ print $2 "/s" }' "$work/cpu-$1-$2.txt"; }
mb() { awk '{ printf "%.1f MB", $1 / 1024 }' "$work/rss-$1-$2.txt"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }'; }
d_comm=$work/delay-comm.txt d_qt=$work/delay-qt.txt
r=$work/receive.txt

echo
echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)"
row() { printf '| %-58s | %-28s | %-20s | %-7s | %-10s |\n' "$@"; }
row "figure" "ours (TComm)" "Qt (QSerialPort)" "ours/Qt" "budget"
row "---" "---" "---" "---" "---"
machine() { # NAME: its microseconds at the start and at the end of the run
    printf '%s / %s us' "$(value "$work/machine-start.txt" "$1_us")" \
        "$(value "$work/machine-end.txt" "$1_us")"
}
row "machine: CPU per page touched, back to back (start / end)" "$(machine page_hot)" "" "" ""
row "machine: the same after a 5 ms pause" "$(machine page_after_5ms)" "" "" ""
row "machine: the same after a 100 ms pause" "$(machine page_after_100ms)" "" "" ""
row "machine: the same after a 1 s pause" "$(machine page_after_1s)" "" "" ""
row "machine: CPU per thread wake-up, back to back" "$(machine wake_hot)" "" "" ""
row "machine: the same after 36 ms asleep (a frame's time)" "$(machine wake_after_36ms)" "" "" ""
h=$work/history.txt
# "name median unit (min A, max B)" -> "median (A-B)"
spread() { awk -v n="$2" '$1 == n { gsub(/[,)]/, ""); print $2 " (" $5 "-" $7 ")" }' "$1"; }
if [ "$line_only" = 0 ]; then
row "FrameReceiver::Feed, mixed stream" \
    "$(value $r frame_receiver_mb_s) MB/s ($(value $r frame_receiver_line_multiple) x line)" "" "" "> 288 MB/s"
row "LinkState::FeedBytes (with the display of each frame)" \
    "$(value $r link_feed_bytes_mb_s) MB/s ($(value $r link_feed_bytes_line_multiple) x line)" "" "" ""
row "LinkState::FeedBytes with the frame log on" \
    "$(value $r link_feed_bytes_log_mb_s) MB/s ($(value $r log_on_share) % of log off; $(value $r link_feed_bytes_log_first_fill_mb_s) MB/s while the ring first fills)" "" "" ">= 90 %"
row "allocations while receiving (log off and on)" "$(value $r receive_allocations)" "" "" "0"
row "history: append a full-bus status frame, median / p99 (spread)" \
    "$(spread $h append_median) / $(spread $h append_p99) us" "" "" "< 2 us"
row "history: allocations appending (24 h held)" "$(value $h append_allocations)" "" "" "0"
row "history: memory after 24 h, 8 nodes at full rate" \
    "$(value $h memory_24h) MB (bound $(value $h memory_bound) MB)" "" "" "<= 64 MB"
row "history: 24 h to 1000 columns (9 curves, bands)" "$(spread $h reduce_24h_1000_columns) ms" \
    "" "" ""
row "history: repaint the plot of 24 h, 1000 px (1 h)" \
    "$(spread $h repaint_24h) ms ($(spread $h repaint_1h) ms)" "" "" "< 30 ms"
row "history: open a one-hour full-rate recording" "$(spread $h open_1h) s" "" "" "< 1 s"
stalls=$(awk '$1 == "open_24h_longest_stall" { print $2 }' "$h" | sort -n | tr '\n' ' ')
row "history: open a 24 h full-rate recording, the window's longest wait (3 runs)" \
    "${stalls}ms" "" "" "< 100 ms"
fi
delay_rows() { # FILE-SUFFIX LABEL
    local p a b budget
    for p in median p99 max; do
        a=$(value "$work/delay-$1comm.txt" $p) b=$(value "$work/delay-$1qt.txt" $p)
        budget=""
        [ $p = p99 ] && [ -z "$1" ] && budget="< 3 ms"
        [ $p = median ] && budget="<= Qt's"
        row "last byte to end of UpdateDisplay, $p$2 ($(value "$work/delay-$1comm.txt" frames) frames)" \
            "$a ms" "$b ms" "$(ratio "$a" "$b")" "$budget"
    done
}
delay_rows "" ""
delay_rows "busy-" ", busy"
row "CPU at full rate: program (window, Xvfb)" "$(cpu full orvik), $(wake full orvik)" "" "" "< 0.8 %"
row "instructions per status frame, program at full rate (callgrind)" \
    "$(value $work/callgrind.txt instructions_per_status_frame)" "" "" ""
row "CPU at full rate: program with the bus monitor open" \
    "$(cpu full orvik-monitor), $(wake full orvik-monitor)" "" "" "< 1.2 %"
row "CPU at full rate: program with the History window open" \
    "$(cpu full orvik-history), $(wake full orvik-history)" "" "" "< 1.5 %"
cpu_ratio() { ratio "$(cpu "$1" comm | cut -d' ' -f1)" "$(cpu "$1" qt | cut -d' ' -f1)"; }
row "CPU at full rate: reader without window" "$(cpu full comm)" "$(cpu full qt)" \
    "$(cpu_ratio full)" "<= 0.5 x Qt"
row "CPU at full rate, busy: reader without window" "$(cpu busy comm)" "$(cpu busy qt)" \
    "$(cpu_ratio busy)" "<= 0.5 x Qt"
# The readers' own figures: frames per second, deliveries per frame, allocations per delivery.
fig() { tail -n 1 "$work/$1-full/reader.out" | awk -v f="$2" '$1 == "figures" { print $f }'; }
# per_frame NAME READER COLUMN: a column of a CPU sample over the frames a second (the readers
# and the program read the same full-rate bus).
per_frame() {
    awk -v f="$(fig "$2" 2)" -v c="$3" '{ if (f > 0 && $c != "-") printf "%.1f", $c / f; else print "-" }' \
        "$work/cpu-full-$1.txt"
}
# monitor / main / whole, of wake-ups (columns 4, 5, 3) or switches (6, 7, 2)
threads() { echo "$(per_frame "$1" "$2" "$3") / $(per_frame "$1" "$2" "$4") / $(per_frame "$1" "$2" "$5")"; }
row "deliveries per status frame: reader" "$(fig comm 3)" "$(fig qt 3)" \
    "$(ratio "$(fig comm 3)" "$(fig qt 3)")" "<= 2"
row "wake-ups per status frame, monitor / main / whole: program" "$(threads orvik comm 4 5 3)" "" \
    "" "2 / - / 4"
row "the same: reader without window" "$(threads comm comm 4 5 3)" "$(threads qt qt 4 5 3)" "" ""
row "thread switches per status frame, the same: program" "$(threads orvik comm 6 7 2)" "" "" ""
row "the same: reader without window" "$(threads comm comm 6 7 2)" "$(threads qt qt 6 7 2)" "" ""
row "wake-ups per status frame, whole: bus monitor / History open" \
    "$(per_frame orvik-monitor comm 3) / $(per_frame orvik-history comm 3)" "" "" ""
row "allocations per delivery: reader" "$(fig comm 4)" "$(fig qt 4)" "" "0"
if [ "$line_only" = 0 ]; then
n=$work/netopen.txt
for c in refused silent_host silent_server refuses_57600; do
    row "network port, $c: longest main-thread stall, median / max" \
        "$(awk -v k="${c}_stall_ms" '$1 == k { print $3 " / " $5 " ms" }' "$n")" "" "" "< 100 ms"
    row "network port, $c: reason shown after, median (min-max)" \
        "$(awk -v k="${c}_reason_ms" '$1 == k { print $3 " (" $5 "-" $7 ") ms" }' "$n")" "" "" "5 s bound"
done
fi
q=$work/mqtt.txt
mq() { awk -v n="$1" '$1 == n { $1 = ""; sub(/^ /, ""); print }' "$q"; }
row "orvik-mqtt at full rate, 8 nodes: CPU (spread)" "$(mq mqtt_cpu_percent | cut -d, -f1-2)" \
    "" "$(mq mqtt_to_reader_cpu | cut -d' ' -f1) x reader" "< 0.5 %"
row "orvik-mqtt at full rate: resident memory, end / peak" \
    "$(mq mqtt_rss_mb | cut -d' ' -f1) / $(mq mqtt_peak_rss_mb | cut -d' ' -f1) MB" "" "" "< 10 MB"
row "orvik-mqtt at full rate: wake-ups per status frame, monitor / main / whole" \
    "$(mq mqtt_wakeups_per_frame)" "" "" "2 / - / -"
row "orvik-mqtt at full rate: states a second, busiest node" \
    "$(mq mqtt_states_per_second_busiest_node | cut -d' ' -f1-5)" "" "" "<= 1 (interval)"
row "orvik-mqtt idle (line open, bus silent): wake-ups a second, main thread" \
    "$(mq mqtt_idle_main_wakeups | cut -d' ' -f1-5)" "" "" ""
# per second: whole (monitor, main)
idle_wakes() { awk '{ print $3 "/s (" $4 ", " $5 ")" }' "$work/cpu-$1-$2.txt"; }
row "CPU idle (line open, bus silent): program; wake-ups (monitor, main)" \
    "$(cpu idle orvik), $(idle_wakes idle orvik)" "" "" "0 %; 100 ms timer"
row "CPU idle: reader without window" "$(cpu idle comm), $(idle_wakes idle comm)" \
    "$(cpu idle qt), $(idle_wakes idle qt)" "" ""
row "CPU at the usual 200 ms frame period: program" "$(cpu normal orvik), $(wake normal orvik)" "" "" ""
row "CPU waiting for a breaker setup reply (frames go on)" "$(cpu wait orvik), $(wake wait orvik)" "" "" "0 %"
if [ "$line_only" = 0 ]; then
row "resident memory, program: start -> after ${long_run} s" \
    "$(mb start orvik) -> $(mb end orvik)" "" "" "< 40 MB, flat"
row "resident memory, reader: start -> after ${long_run} s" \
    "$(mb start comm) -> $(mb end comm)" "$(mb start qt) -> $(mb end qt)" "" "flat"
sorted=$(sort -n "$work/soak-times.txt")
n=$(echo "$sorted" | grep -c . || true)
median=$( [ "$n" -gt 0 ] && echo "$sorted" | sed -n "$(((n + 1) / 2))p" || echo -)
longest=$( [ "$n" -gt 0 ] && echo "$sorted" | tail -n 1 || echo -)
read -r fd0 th0 rss0 <"$work/soak-before.txt"
read -r fd1 th1 rss1 <"$work/soak-after.txt"
row "CPU while the line is lost, waiting for it: program" "$(cpu lost orvik), $(wake lost orvik)" "" "" "0 %"
row "line lost and back: cycles recovered" "$recovered of $cycles" "" "" "all"
row "line lost and back: time to frames again, median / max" "$median / $longest ms" "" "" "about 2 s"
row "line lost and back: fds, threads, memory before -> after" \
    "$fd0, $th0, $((rss0 / 1024)) MB -> $fd1, $th1, $((rss1 / 1024)) MB" "" "" "flat"
fi
echo "(CPU: user + system over wall time, one core = 100 %; after a CPU figure, context switches of all threads"
echo " per second; wake-ups: voluntary context switches, each a sleep ended; monitor: the serial component's"
echo " monitor thread, main: the thread that runs the window; busy: beside one spinning process per CPU;"
echo " the memory run has the program and both readers at full rate at once, each on its own simulator)"
