#!/usr/bin/env bash
# Configures (once) and builds Veltrane out of tree in ./build with every core of the machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANE_WERROR=ON "$@"
fi
cmake --build "$build" --parallel "$(nproc)"
