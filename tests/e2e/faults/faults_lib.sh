# Steps the fault tests add to the shared end-to-end steps. Sourced after e2e_lib.sh.
# Sets: socat_pid.

socat_pid=""
faults_cleanup() {
    if [ -n "$socat_pid" ]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
    fi
    e2e_cleanup
}
trap faults_cleanup EXIT

# A pseudo-terminal pair joined by socat: $work/A and $work/B. $work/bus points at A, so the
# program's COM1 is A; the simulator runs on B. A shell descriptor keeps B open, so socat
# stays up while no simulator is there: the bus goes silent instead of the line closing.
start_socat_pair() {
    socat PTY,link="$work/A",raw,echo=0 PTY,link="$work/B",raw,echo=0 2>"$work/socat.err" &
    socat_pid=$!
    wait_for 10 test -e "$work/B" || fail "socat did not start"
    wait_for 10 test -e "$work/A" || fail "socat did not start"
    ln -sf "$work/A" "$work/bus"
    exec 9<>"$work/B"
}

# The simulator on B (options follow).
start_sim_on_b() {
    "$sim" --device "$work/B" --log "$work/commands.log" "$@" >>"$work/sim.out" 2>>"$work/sim.err" &
    sim_pid=$!
}

stop_sim() {
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=""
}

# indicator_is N COLOUR: node N's indicator shows COLOUR now.
indicator_is() { shot "$work/now.png" && [ "$(node_colour "$work/now.png" "$1")" = "$2" ]; }

# CPU ticks (user + system) of a process.
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }

# cpu_percent PID SECONDS: the process's CPU share of one core over that time, rounded.
cpu_percent() {
    local hz t0 t1 w0 w1
    hz=$(getconf CLK_TCK)
    t0=$(cpu_ticks "$1") w0=$(date +%s%N)
    sleep "$2"
    t1=$(cpu_ticks "$1") w1=$(date +%s%N)
    awk -v dt=$((t1 - t0)) -v hz="$hz" -v ns=$((w1 - w0)) 'BEGIN { printf "%.1f", 100 * dt / hz / (ns / 1e9) }'
}

# The dialog windows of the program other than the main window.
other_windows() {
    xdotool search --onlyvisible --pid "$prog_pid" 2>/dev/null | grep -vx "$window"
}

