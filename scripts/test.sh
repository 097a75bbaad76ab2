#!/usr/bin/env bash
# Installs what is missing, checks the formatting and that no include points up a layer, builds,
# runs the whole test suite, runs clang-tidy, and runs the suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer together with every fuzz program for a short time. Any finding
# fails. CI runs this script.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
step() {
    local name="$1"
    shift
    local begin=$SECONDS
    echo "=== $name"
    "$@"
    echo "=== $name: done in $((SECONDS - begin)) s"
}

step "dependencies" scripts/deps.sh
step "formatting" scripts/check_format.sh
step "layers" scripts/include_graph.sh
step "build" scripts/build.sh
step "tests" ctest --test-dir build --output-on-failure -j "$(nproc)"
step "clang-tidy" scripts/check_tidy.sh build
step "sanitizers and fuzzing" scripts/test_sanitized.sh
echo "=== all checks passed in $((SECONDS - started)) s"
