#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program against the bus simulator.
# With a display the window opens; without one the program runs under a private X server for
# a few seconds and a screenshot of the live window is saved as build/orvik-demo.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh
source scripts/lib/xvfb.sh
source scripts/lib/settings.sh

ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target orvik orvik-bus-sim

program=build/app/orvik
sim=build/sim/orvik-bus-sim
link="$root/build/orvik-bus"

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

# The simulator on a pseudo-terminal, reachable through a fixed link; COM1 points at it.
rm -f "$link"
"$sim" --link "$link" --log build/orvik-bus-commands.log >build/orvik-bus-sim.out 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "The bus simulator did not start; see build/orvik-bus-sim.out" >&2; exit 1; }
set_port_mapping build/app/Orvik.INI 1 "$link"
echo "Bus simulator: $(head -n 1 build/orvik-bus-sim.out) (COM1 -> $link)"
echo "Commands the program sends are logged in build/orvik-bus-commands.log"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$program"
    exit 0
fi

# No display: a private X server, a few seconds of the live program, a screenshot.
start_xvfb 800x700x24
QT_QPA_PLATFORM=xcb "$program" &
prog_pid=$!
sleep "${ORVIK_DEMO_SECONDS:-4}"
window=$(xdotool search --name "Tarnwell Orvik interface" | head -n 1 || true)
if [ -z "$window" ]; then
    echo "The program's window did not appear" >&2
    exit 1
fi
import -window "$window" build/orvik-demo.png
echo "No display: ran the program under Xvfb; screenshot of the live window: $root/build/orvik-demo.png"
