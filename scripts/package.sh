#!/usr/bin/env bash
# Builds the Debian package of the program, orvik-cli, orvik-mqtt and the bus simulator into build-package/
# and checks it with lintian. Installs what is missing. Prints the package's path last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_PACKAGE_PACKAGES[@]}"

build=${ORVIK_PACKAGE_BUILD_DIR:-build-package}
# Debian's own compiler and linker flags for packages, with all hardening.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_TOOLS=OFF -DORVIK_PACKAGE=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
rm -f "$build"/orvik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/orvik_*.deb)
# No error and no warning; the overrides that Debian's rules cannot meet are explained there.
lintian --fail-on error,warning --suppress-tags-from-file packaging/lintian-suppressed "$deb" >&2
echo "$root/$deb"
