#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program against the bus simulator.
# The demo runs a copy of the program in build/demo/ with a settings file of its own, whose COM1
# is the simulator's line, so the settings of build/app/orvik stay as the user left them.
# With a display the window opens and the simulator takes its commands from this terminal;
# without one the program runs under a private X server for a few seconds and a screenshot of
# the live window is saved as build/orvik-demo.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh
source scripts/lib/xvfb.sh
source scripts/lib/settings.sh

build=$(realpath -m "${ORVIK_BUILD_DIR:-build}")
ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}"
# A configured build directory configures itself again when its CMake files change.
[ -f "$build/build.ninja" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target orvik orvik-bus-sim

# The demo's own copy of the program: it keeps its settings next to itself.
demo=$build/demo
mkdir -p "$demo"
cp "$build/app/orvik" "$demo/orvik"
rm -f "$demo/Orvik.INI"
link=$demo/orvik-bus
program=$demo/orvik
sim=$build/sim/orvik-bus-sim

sim_pid="" prog_pid=""
cleanup() {
    local pid
    for pid in $prog_pid $sim_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

with_display=""
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && with_display=1

# The simulator on a pseudo-terminal, reachable through a fixed link; the demo's COM1 points
# at it. With a display it reads its commands from this terminal and answers here.
rm -f "$link"
if [ -n "$with_display" ]; then
    exec 3<&0
    "$sim" --link "$link" --log "$demo/commands.log" <&3 3<&- >"$demo/sim.out" &
else
    "$sim" --link "$link" --log "$demo/commands.log" >"$demo/sim.out" 2>&1 &
fi
sim_pid=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "The bus simulator did not start; see $demo/sim.out" >&2; exit 1; }
set_port_mapping "$demo/Orvik.INI" 1 "$link"

cat <<EOF
Bus simulator: $(head -n 1 "$demo/sim.out") (the demo's COM1 -> $link)
The demo runs $program with its own $demo/Orvik.INI;
the settings of $build/app/orvik are left as they are.
Commands the program sends are logged in $demo/commands.log.
On hardware: plug in the USB serial adapter and start $build/app/orvik
(COM1 is the first adapter; see "Using the program on hardware" in docs/user-guide.md).
EOF

if [ -n "$with_display" ]; then
    cat <<EOF

Type simulator commands here while the window runs, for example:
  leave 2          node 2 leaves the bus (join 2 brings it back)
  load 1 2 55      breaker 2 of node 1 draws 5.5 A (trips at 5.0 A after 2.0 s)
  silence on       the bus goes silent (silence off ends it)
  help             all commands
Closing the window ends the demo.
EOF
    "$program" >"$demo/program.out" 2>&1 &
    prog_pid=$!
    wait "$prog_pid" || true
    prog_pid=""
    exit 0
fi

# No display: a private X server, a few seconds of the live program, a screenshot.
start_xvfb 800x700x24
QT_QPA_PLATFORM=xcb "$program" >"$demo/program.out" 2>&1 &
prog_pid=$!
sleep "${ORVIK_DEMO_SECONDS:-4}"
window=$(xdotool search --name "Tarnwell Orvik interface" | head -n 1 || true)
if [ -z "$window" ]; then
    echo "The program's window did not appear; see $demo/program.out" >&2
    exit 1
fi
import -window "$window" "$build/orvik-demo.png"
echo "No display: ran the program under Xvfb; screenshot of the live window: $build/orvik-demo.png"
