#!/usr/bin/env bash
# Makes docs/main-window.png, the README's picture of the main window on the simulator, with
# the end-to-end test's own screenshot step. Installs what is missing, builds what it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

build=$(realpath -m "${ORVIK_BUILD_DIR:-build}")
ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}"
[ -f "$build/build.ninja" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target orvik orvik-bus-sim
E2E_SCREENSHOT=$root/docs/main-window.png bash tests/e2e/window/main_window_e2e.sh \
    "$build/app/orvik" "$build/sim/orvik-bus-sim"
echo "screenshot: docs/main-window.png"
