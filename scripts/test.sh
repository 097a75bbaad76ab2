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
# The browser tests' driver (playwright-core, from tests/web/package-lock.json; no browser is
# downloaded: they drive Debian's chromium).
step "web test driver" npm ci --prefix tests/web --no-audit --no-fund --loglevel=error
step "formatting" scripts/check_format.sh
step "layers" scripts/include_graph.sh
# The checks need no debug information and little optimisation: compiling that way takes less
# than half the time, and every warning is still an error. The tests' own code, half of what is
# compiled, is not optimised at all (KVAD_TEST_COMPILE_OPTIONS): it compiles in about 60% of
# the time and the suite runs as fast; the headers its programs share are precompiled once
# (KVAD_TEST_PCH). build/ stays the developers' build.
light=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g0" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g0"
    -DKVAD_TEST_COMPILE_OPTIONS=-O0 -DKVAD_TEST_PCH=ON)
step "build" scripts/build.sh build-check "${light[@]}"
# The crash and concurrency tests at half their rounds and sizes: their full size is for runs of
# their own (KVAD_CRASH_SCALE, see the README's Reliability section).
step "tests" env KVAD_CRASH_SCALE="${KVAD_CRASH_SCALE:-0.5}" \
    ctest --test-dir build-check --output-on-failure -j "$(nproc)"
# The sanitized build starts beside clang-tidy and the PostgreSQL tests at the lowest priority,
# one compiler at a time, in a process group of its own: it takes the cores they leave idle (the
# last units, the PostgreSQL tests' waits). The plain tests above run alone: their concurrency
# tests are timed. When tidy and the PostgreSQL tests are done the build is stopped, and the
# sanitizer step finishes it on every core (ninja goes on from what is built). Where the kernel
# schedules each session as a group (autogroup), the new session's group gets the lowest
# priority too: a process's own nice only counts within its group, and the build took a whole
# core from tidy and the PostgreSQL tests.
san_log=build-check/sanitized-build.log
setsid bash -c '{ echo 19 >/proc/self/autogroup; } 2>/dev/null || true
    exec nice -n 19 env BUILD_JOBS=1 scripts/test_sanitized.sh --build-only' >"$san_log" 2>&1 &
san_build=$!
stop_san_build() {
    kill -TERM -- "-$san_build" 2>/dev/null || true
    wait "$san_build" 2>/dev/null || true
}
trap stop_san_build EXIT
# The PostgreSQL backend's tests, the component's suites, the read model, the main job and the
# web host tests again, on a throwaway cluster (KVAD_TEST_BACKEND: each test on a server database
# of its own; what only SQLite has skips). The tests that kill or race whole runs run there at a
# tenth of their size (the plain pass above runs them at half). The nso command's own tests of
# its words, messages and files run once, above: the statements behind them run on the server in
# the component's and the read model's suites.
# They run beside clang-tidy (on two cores the pair takes about what the two take one after the
# other; on more cores, less); their output is shown when they fail.
pg_log=build-check/tests-on-postgresql.log
(step "tests on PostgreSQL" env KVAD_TEST_BACKEND=postgresql KVAD_CRASH_SCALE=0.1 \
    scripts/pg_cluster.sh \
    ctest --test-dir build-check --output-on-failure -j 2 \
    -L '^(postgres|workspace|decoding|verification|import|component|read_model|host|app|web)$' \
    -E '^Nso(Edit|Pdf|PassOver|Command)Test\.') \
    >"$pg_log" 2>&1 &
pg_tests=$!
step "clang-tidy" scripts/check_tidy.sh build-check
if ! wait "$pg_tests"; then
    cat "$pg_log"
    echo "=== tests on PostgreSQL: FAILED"
    exit 1
fi
grep -E '^=== |tests passed' "$pg_log"
stop_san_build
trap - EXIT
# Each fuzz program for 3 s from its corpus in CI (scripts/run_fuzz.sh for longer runs).
step "sanitizers and fuzzing" env FUZZ_SECONDS="${FUZZ_SECONDS:-3}" scripts/test_sanitized.sh
echo "=== all checks passed in $((SECONDS - started)) s"
