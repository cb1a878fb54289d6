# Installs the Debian packages that are missing. Sourced by the scripts.
# Usage: ensure_packages pkg...
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    # tshark asks whether users other than root may capture; we only read capture files.
    if printf '%s\n' "${missing[@]}" | grep -qx tshark; then
        echo "wireshark-common wireshark-common/install-setuid boolean false" |
            "${sudo[@]}" debconf-set-selections
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# What building and testing the program needs.
ORVIK_BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core fonts-liberation2 # the window font where "MS Sans Serif" is missing
    libcli11-dev nlohmann-json3-dev
    libmosquitto-dev # orvik-mqtt
)
# What the end-to-end tests and the demo need; tshark runs the Wireshark dissector on captures,
# ser2net serves the simulator over RFC 2217 and raw TCP; the AT-SPI registry, its Python
# client and a private session bus (dbus-run-session) read the window as a screen reader does;
# Mosquitto is the broker of orvik-mqtt's tests, its clients their peers.
ORVIK_E2E_PACKAGES=(xvfb xdotool x11-apps imagemagick socat xclip tshark ser2net
    at-spi2-core python3-pyatspi dbus mosquitto mosquitto-clients)
# What the Windows cross-build and its test run under Wine need.
ORVIK_WINDOWS_PACKAGES=(cmake ninja-build gcc g++-mingw-w64-x86-64-posix googletest wine wine64 socat
    libcli11-dev nlohmann-json3-dev)
# clang with libFuzzer and its sanitizer runtimes: the fuzz targets and the ASan + UBSan build.
ORVIK_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# What building and checking the Debian package needs.
ORVIK_PACKAGE_PACKAGES=(dpkg-dev fakeroot file lintian scdoc desktop-file-utils appstream
    libmosquitto-dev)
