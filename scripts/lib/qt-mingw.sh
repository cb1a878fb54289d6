# Qt for MinGW, for the Windows cross-build. Sourced.
# qt_mingw BUILD_DIR: prints its folder - $ORVIK_QT_MINGW, else ../shared's archive unpacked
# into BUILD_DIR once - or nothing when there is none.
qt_mingw() {
    local build=$1 qt=${ORVIK_QT_MINGW:-}
    local archive
    archive=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/qt-mingw/qt-6.4.2-mingw.tar.xz
    if [ -z "$qt" ] && [ -f "$archive" ]; then
        qt=$build/qt-6.4.2-mingw
        if [ ! -d "$qt/lib/cmake/Qt6" ]; then
            rm -rf "$qt"
            tar -xJf "$archive" -C "$build"
        fi
    fi
    printf '%s' "$qt"
}
