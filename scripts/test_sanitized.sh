#!/usr/bin/env bash
# Builds everything once more with AddressSanitizer and UndefinedBehaviorSanitizer into
# ./build-san and runs the whole test suite there; any sanitizer report fails. With clang the
# same build has the fuzz programs, and each runs for FUZZ_SECONDS (default 10) from its corpus.
# With --build-only it builds and stops; BUILD_JOBS sets the build's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-san
build_only=0
[ "${1:-}" = "--build-only" ] && build_only=1

if command -v clang++ >/dev/null 2>&1; then
    # LLVM's linker: the sanitized programs are large, and it links them about five times as
    # fast as the default linker.
    compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKVAD_BUILD_FUZZ=ON
        -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
else
    echo "clang is not installed: sanitizers with the default compiler, no fuzzing"
    compilers=(-DKVAD_BUILD_FUZZ=OFF)
fi
# Each target as one unit, unoptimised, with line tables only: enough for the sanitizers' reports
# to name file and line. Optimising under the sanitizers doubles the build's time and gains less
# than that back in the suite's.
# The tests' shared headers are precompiled once (KVAD_TEST_PCH).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVAD_SANITIZE=ON \
    -DKVAD_UNITY_BUILD=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -gline-tables-only" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O0 -gline-tables-only" \
    -DKVAD_BUILD_BENCH=OFF -DKVAD_TEST_PCH=ON "${compilers[@]}" >/dev/null
begin=$SECONDS
cmake --build "$build" -j "${BUILD_JOBS:-$(nproc)}"
echo "sanitized build: $((SECONDS - begin)) s"
[ "$build_only" -eq 1 ] && exit 0

# Reports stop the program (the build adds -fno-sanitize-recover); leaks are reported at exit.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1}"
# Caches that system libraries never free are not our leaks: scripts/lsan.supp names them.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
begin=$SECONDS
# The tests that kill or race whole nso processes check what the database is left with; under
# the sanitizers they would run the code the other tests run, at many times the cost. The nso
# command's own tests (Nso...Test, FetchOnAFileTest) check its words, messages and files, and run
# it dozens of times each; under the sanitizers nso runs in MainJobTest, every step from fetch to
# PDF, and in FetchRobustnessTest, over hostile files. The package test builds and unpacks a
# Debian package.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" \
    -E '^(MainJobCrashTest|ConcurrentCommandsTest|ImportCrashTest|Nso[A-Za-z]+Test|FetchOnAFileTest)\.|^FetchRobustnessTest\.Killed|^package_install$'
echo "sanitized suite: $((SECONDS - begin)) s"

if [ -d "$build/fuzz" ]; then
    begin=$SECONDS
    scripts/run_fuzz.sh "$build" "${FUZZ_SECONDS:-10}"
    echo "fuzzing: $((SECONDS - begin)) s"
fi
