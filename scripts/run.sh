#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program against the bus simulator.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib/deps.sh

ensure_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_E2E_PACKAGES[@]}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

if [ ! -x build/app/orvik ]; then
    echo "The program is not built yet: only the link core exists so far." >&2
    exit 1
fi
