# Shared steps of the end-to-end tests: a copy of the program with its own settings file, the
# bus simulator on a pseudo-terminal, a private X server, screenshots and pixels. Sourced.
# Sets: work, sim_pid, prog_pid, window, dy (height of the menu bar: client y = window y - dy).
# The simulator reads line commands from $work/sim.in (sim_say); e2e_screen sizes the X screen.

e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$e2e_root/scripts/lib/xvfb.sh"
source "$e2e_root/scripts/lib/settings.sh"
source "$e2e_root/scripts/lib/wait.sh"

work=$(mktemp -d)
sim_pid="" prog_pid="" window="" dy=0

e2e_cleanup() {
    local pid
    for pid in $prog_pid $sim_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    exec 7>&- 2>/dev/null
    stop_xvfb
    if [ "${E2E_KEEP:-}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap e2e_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    echo "--- simulator log" >&2
    tail -n 20 "$work/commands.log" >&2 2>/dev/null
    echo "--- program output" >&2
    tail -n 20 "$work/program.out" >&2 2>/dev/null
    exit 1
}


start_sim() { # options for the simulator
    mkfifo "$work/sim.in"
    exec 7<>"$work/sim.in" # held open: the simulator waits for lines rather than an end
    "$sim" --link "$work/bus" --log "$work/commands.log" "$@" <&7 >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    wait_for 10 test -e "$work/bus" || fail "simulator did not start"
}

# sim_say LINE: a line command to the simulator ("load 4 5 150").
sim_say() { echo "$*" >&7; }

start_program() {
    cp "$program" "$work/orvik"
    set_port_mapping "$work/Orvik.INI" 1 "${e2e_port:-$work/bus}"
    start_xvfb "${e2e_screen:-800x700x24}" || fail "no X server"
    # A real window on the private X server, whatever the caller's test environment says.
    QT_QPA_PLATFORM=xcb "$work/orvik" >"$work/program.out" 2>&1 7>&- &
    prog_pid=$!
    find_window() { window=$(xdotool search --name "$1" 2>/dev/null | head -n 1); [ -n "$window" ]; }
    wait_for 20 find_window "Tarnwell Orvik interface" || fail "no main window"
}

shot() { import -window "${2:-$window}" "$1" 2>/dev/null; }

# file_dialog TITLE PATH: in the file dialog of that title, once it shows, PATH typed in and
# Return.
file_dialog() {
    local dialog="" title=$1
    find_dialog() { dialog=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1); [ -n "$dialog" ]; }
    wait_for 10 find_dialog || fail "the dialog \"$1\" did not open"
    xdotool mousemove --window "$dialog" 200 40
    sleep 0.5
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "$2"
    xdotool key --clearmodifiers Return
}

# pixel FILE X Y -> "r,g,b"
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info:
}

# Signature of a region: crop W H X Y.
region() { convert "$1" -crop "$2x$3+$4+$5" +repage -format '%#' info:; }

# Finds the menu bar's height from node 1's indicator (client 116, 68), which must be green
# (or the colour given: find_strip 255,255,255 for a strip without a bus).
find_strip() {
    shot "$work/strip.png" || return 1
    local y colour=${1:-0,255,0}
    for y in $(seq 60 140); do
        if [ "$(pixel "$work/strip.png" 116 "$y")" = "$colour" ]; then
            # The circle is 25 high; its first green row is near client y 57.
            dy=$((y - 57))
            return 0
        fi
    done
    return 1
}

# node_colour FILE N -> colour at the centre of node indicator N
node_colour() { pixel "$1" $((116 + 48 * ($2 - 1))) $((68 + dy)); }

click_client() { xdotool mousemove --window "$window" "$1" $(($2 + dy)) click 1; }

# The switch commands the simulator logged, one line each.
switch_commands() { grep '"CMD_SWITCH_BREAKER"' "$work/commands.log" 2>/dev/null; }
