#!/usr/bin/env bash
# Cross-builds the Qt-free part (link core, serial component, their tests) for 64-bit
# Windows with mingw-w64 and runs the tests under Wine. Installs what is missing. Exits
# non-zero on any failure. The build and the Wine prefix go to build-win/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

ensure_packages "${ORVIK_WINDOWS_PACKAGES[@]}"

build=${ORVIK_WIN_BUILD_DIR:-build-win}
jobs=$(nproc 2>/dev/null || echo 2)

# Discovery of the test cases runs the programs, so under Wine it waits for the test run.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DORVIK_BUILD_GUI=OFF \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
cmake --build "$build" -j "$jobs"

# The Wine side: a prefix of our own, COM1 and COM2 mapped to the pseudo-terminal pair
# that tests/wine/with-far-end.sh makes for each test, and the shim that lets Wine use them.
wine_dir=$(cd "$build" && pwd)/wine
mkdir -p "$wine_dir/ports"
shim=$wine_dir/libwineptyshim.so
gcc -O2 -Wall -Wextra -shared -fPIC -o "$shim" tests/wine/WinePtyShim.c -ldl
export WINEPREFIX=$wine_dir/prefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree=;mshtml=" # no runtime installers to offer

stop_wine() { timeout 30 wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

ports_key='HKLM\Software\Wine\Ports'
if ! timeout 60 wine reg query "$ports_key" /v COM2 2>/dev/null |
    grep -q "$wine_dir/ports/com2"; then
    timeout 300 wineboot -i >/dev/null 2>&1
    timeout 60 wine reg add "$ports_key" /v COM1 /d "$wine_dir/ports/com1" /f >/dev/null
    timeout 60 wine reg add "$ports_key" /v COM2 /d "$wine_dir/ports/com2" /f >/dev/null
fi
stop_wine # the port mapping takes effect when Wine starts again

# One Wine session for the whole run; without it the first test waits on the start-up.
LD_PRELOAD=$shim wineserver -p
timeout 300 wine wineboot >/dev/null 2>&1

# Now and then Wine fails to start a program at all (no output, exit at once); such a test is
# run again, up to three times in all. A test that really fails, fails every time.
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 300 --repeat until-pass:3)
