#!/usr/bin/env bash
# Cross-builds for 64-bit Windows with mingw-w64 and runs the tests under Wine: the Qt-free
# part (link core, serial component, orvik-cli, their tests) always; the window (orvik.exe) and
# its tests too when Qt for MinGW is at hand: $ORVIK_QT_MINGW (the folder holding lib/cmake/Qt6),
# else ../shared/qt-mingw/qt-6.4.2-mingw.tar.xz beside the repository, unpacked once into the
# build folder. Installs what is missing. Exits non-zero on any failure. The build and the Wine
# prefix go to build-win/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh
source scripts/lib/qt-mingw.sh

build=${ORVIK_WIN_BUILD_DIR:-build-win}
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build"
build=$(cd "$build" && pwd)

qt=$(qt_mingw "$build")
gui=(-DORVIK_BUILD_GUI=OFF)
if [ -n "$qt" ]; then
    qt=$(cd "$qt" && pwd)
    # The host's Qt gives moc, rcc and uic; the font is the window font of the tests.
    ensure_packages "${ORVIK_WINDOWS_PACKAGES[@]}" qt6-base-dev fonts-liberation2
    gui=(-DORVIK_BUILD_GUI=ON -DORVIK_QT_MINGW="$qt")
else
    ensure_packages "${ORVIK_WINDOWS_PACKAGES[@]}"
    echo "The window's Windows build is skipped: no Qt for MinGW (set ORVIK_QT_MINGW to its" \
        "folder, or put qt-6.4.2-mingw.tar.xz into ../shared/qt-mingw/, see docs/windows.md)."
fi

# Discovery of the test cases runs the programs, so under Wine it waits for the test run.
# Release, as shipped: debug information would lengthen the build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${gui[@]}" \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST
cmake --build "$build" -j "$jobs"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
if [ -n "$qt" ]; then
    # The folder of orvik.exe is the whole program: Qt's DLLs and plug-ins and the MinGW
    # runtime the Qt DLLs link to, beside it.
    runtime=(/usr/lib/gcc/x86_64-w64-mingw32/*-posix/{libstdc++-6,libgcc_s_seh-1}.dll
        /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll)
    app=$build/app
    cp -u "$qt"/bin/Qt6{Core,Gui,Widgets}.dll "${runtime[@]}" "$app/"
    mkdir -p "$app/platforms" "$app/styles" "$app/imageformats"
    cp -u "$qt"/plugins/platforms/{qwindows,qoffscreen}.dll "$app/platforms/"
    cp -u "$qt"/plugins/styles/qwindowsvistastyle.dll "$app/styles/"
    cp -u "$qt"/plugins/imageformats/qico.dll "$app/imageformats/"
    # The tests find the same through the search path. Qt's offscreen platform on Windows
    # knows only the fonts of QT_QPA_FONTDIR: Liberation Sans, the window font where "MS Sans
    # Serif" is missing. Wine passes QT_ variables on only when they are named WINEQT_.
    export WINEPATH="$(winpath "$qt/bin");$(winpath "$app")"
    export WINEQT_QPA_FONTDIR=$(winpath /usr/share/fonts/truetype/liberation2)
fi

# The Wine side: a prefix of our own, COM1 and COM2 mapped to the pseudo-terminal pair
# that tests/wine/with-far-end.sh makes for each test, and the shim that lets Wine use them.
wine_dir=$build/wine
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

# The window on the simulator: orvik.exe under Wine on a private X server, the simulator built
# for this machine on COM1. Screenshots go to build-win/screenshots/.
if [ -n "$qt" ]; then
    ensure_packages xvfb xdotool imagemagick
    native=$build/native
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVIK_BUILD_GUI=OFF \
        -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_TOOLS=OFF >/dev/null
    cmake --build "$native" -j "$jobs" --target orvik-bus-sim
    timeout 300 bash tests/wine/window_e2e.sh "$build/app" "$native/sim/orvik-bus-sim" \
        "$wine_dir" "$build/screenshots"
fi
