# Cross-build for 64-bit Windows with mingw-w64 (POSIX threads), runtime linked in statically
# so the executables run on a bare Windows or under Wine. Tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ORVIK_WINE NAMES wine wine64)
if(ORVIK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVIK_WINE})
endif()

# Qt for MinGW, when given (-DORVIK_QT_MINGW=<folder>): its libraries for the target, the host's
# own Qt (moc, rcc, uic under /usr) for the tools. Debian's rcc compresses with zstd, which a
# Qt built without it cannot read.
if(ORVIK_QT_MINGW)
    list(APPEND CMAKE_FIND_ROOT_PATH ${ORVIK_QT_MINGW})
    list(APPEND CMAKE_PREFIX_PATH ${ORVIK_QT_MINGW})
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
    set(CMAKE_AUTORCC_OPTIONS --no-zstd)
endif()
