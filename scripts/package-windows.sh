#!/usr/bin/env bash
# The Windows program as an installer (orvik-<version>-x64.msi, made with wixl) and as a
# portable zip (orvik-<version>-x64.zip: the folder that runs where it is unpacked, its settings
# file beside orvik.exe). Cross-builds orvik.exe and orvik-cli.exe into build-win/ as
# test-windows.sh does, with Qt for MinGW from $ORVIK_QT_MINGW or
# ../shared/qt-mingw/qt-6.4.2-mingw.tar.xz. Writes both into build-win/package/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh
source scripts/lib/qt-mingw.sh

build=${ORVIK_WIN_BUILD_DIR:-build-win}
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

qt=$(qt_mingw "$build")
if [ -z "$qt" ]; then
    echo "No Qt for MinGW: set ORVIK_QT_MINGW to its folder (see docs/windows.md)." >&2
    exit 2
fi
qt=$(cd "$qt" && pwd)
ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev libcli11-dev \
    nlohmann-json3-dev wixl zip wine wine64

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DORVIK_BUILD_GUI=ON \
    -DORVIK_QT_MINGW="$qt" >/dev/null
cmake --build "$build" -j "$jobs" --target orvik orvik-cli
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# The program folder: the two programs, Qt and the MinGW runtime, the licence, the dissector.
out=$build/package
folder=$out/Orvik
rm -rf "$out"
mkdir -p "$folder/platforms" "$folder/styles" "$folder/imageformats"
cp "$build/app/orvik.exe" "$build/cli/orvik-cli.exe" "$qt"/bin/Qt6{Core,Gui,Widgets}.dll \
    /usr/lib/gcc/x86_64-w64-mingw32/*-posix/{libstdc++-6,libgcc_s_seh-1}.dll \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$folder/"
cp "$qt"/plugins/platforms/qwindows.dll "$folder/platforms/"
cp "$qt"/plugins/styles/qwindowsvistastyle.dll "$folder/styles/"
cp "$qt"/plugins/imageformats/qico.dll "$folder/imageformats/"
x86_64-w64-mingw32-strip "$folder"/*.exe
sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
# The Wireshark dissector of the program's captures (copy it into Wireshark's plugins folder).
cp tools/wireshark/orvik.lua "$folder/"

(cd "$out" && zip -q -r "orvik-$version-x64.zip" Orvik)
(cd "$out" && python3 "$root/packaging/windows/make_wxs.py" Orvik "$version" >orvik.wxs &&
    wixl -a x64 -o "orvik-$version-x64.msi" orvik.wxs)
ls -l "$out"/*.zip "$out"/*.msi

# A build of a later version from the same folder, for the test of an upgrade in place.
probe=$build/upgrade-probe
rm -rf "$probe"
mkdir -p "$probe"
cp -r "$folder" "$probe/"
(cd "$probe" && python3 "$root/packaging/windows/make_wxs.py" Orvik "$version.1" >orvik.wxs &&
    wixl -a x64 -o "orvik-$version.1-x64.msi" orvik.wxs)
# With the simulator and the pty shim of test-windows.sh at hand, the installed program is also
# started on the simulator's bus.
sim=$build/native/sim/orvik-bus-sim shim=$build/wine/libwineptyshim.so
[ -x "$sim" ] && [ -f "$shim" ] || sim="" shim=""
bash tests/wine/msi_install_test.sh "$out/orvik-$version-x64.msi" "$version" \
    "$probe/orvik-$version.1-x64.msi" "$version.1" "$sim" "$shim"
