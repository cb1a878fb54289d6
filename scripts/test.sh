#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}"

# The layer rule, before anything is built: no Qt below the windows, no include from above.
./scripts/check-layers.sh

jobs=$(nproc 2>/dev/null || echo 2)
build=${ORVIK_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$jobs"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 300)

# Sanitizers: the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer; the serial
# component, the simulator, the GUI and the program's end-to-end runs under ThreadSanitizer.
# Any report fails (scripts/lib/sanitizers/ has the options and the explained suppressions).
source scripts/lib/sanitizers/sanitizers.sh
ensure_packages "${ORVIK_FUZZ_PACKAGES[@]}"
step=$SECONDS
# With clang, ASan and UBSan share one runtime, so UBSan reports reach the report files too.
sanitizer_suite asan build-asan "" "" -DCMAKE_CXX_COMPILER=clang++ \
    -DORVIK_SANITIZE=address,undefined -DORVIK_BUILD_GUI=ON
echo "ASan + UBSan build and suite: $((SECONDS - step)) s"
step=$SECONDS
sanitizer_suite tsan build-tsan "serial_tests serial_qt_tests serial_line_tests sim_model_tests cli_tests \
    sim_program_tests orvik-bus-sim noise_tests dialog_tests main_window_tests \
    switch_widget_tests orvik orvik-mqtt mqtt_tests" '^fuzz\.' -DORVIK_SANITIZE=thread \
    -DORVIK_BUILD_GUI=ON
echo "TSan build and tests: $((SECONDS - step)) s"

# Each fuzz target for 20 s (libFuzzer, ASan + UBSan); a crash fails.
step=$SECONDS
./scripts/fuzz.sh 20
echo "Fuzz build and runs: $((SECONDS - step)) s"

# The Windows cross-build and its tests under Wine.
step=$SECONDS
./scripts/test-windows.sh
# The Windows installer and the portable zip: installed, upgraded and removed under Wine.
if [ -n "${ORVIK_QT_MINGW:-}" ] || [ -f ../shared/qt-mingw/qt-6.4.2-mingw.tar.xz ]; then
    ./scripts/package-windows.sh
else
    echo "Windows installer: skipped, no Qt for MinGW (see docs/windows.md)"
fi
echo "Windows build, tests and installer: $((SECONDS - step)) s"

# The Debian package: built and checked with lintian, then installed, used and removed again.
deb=$(./scripts/package.sh | tail -n 1)
bash tests/package/install_test.sh "$deb"
