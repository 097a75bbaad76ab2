#!/usr/bin/env bash
# Configures and builds the project, each target as one unit (KVAD_UNITY_BUILD: a whole build in
# a third of the time):
#   scripts/build.sh [BUILD_DIR [CMAKE_OPTION...]]    (default ./build, Release with debug info)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
shift $(($# < 1 ? $# : 1))
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVAD_UNITY_BUILD=ON "$@" \
    >/dev/null
cmake --build "$build" -j "$(nproc)"
