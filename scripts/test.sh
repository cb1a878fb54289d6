#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
build=${ORVIK_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$jobs"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 300)

# The serial component's threads under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_SANITIZE=thread \
    -DORVIK_BUILD_GUI=OFF
cmake --build build-tsan -j "$jobs" --target serial_tests
(cd build-tsan && ctest --output-on-failure --timeout 120 -R '^(CommPort|CommError|PtyPort|PortNames)\.')

# The Windows cross-build and its tests under Wine.
./scripts/test-windows.sh
