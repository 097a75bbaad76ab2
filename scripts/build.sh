#!/usr/bin/env bash
# Configures and builds the project into ./build (Release with debug info), each target as one
# unit (KVAD_UNITY_BUILD): a whole build takes a third of the time.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVAD_UNITY_BUILD=ON >/dev/null
cmake --build build -j "$(nproc)"
