#!/usr/bin/env bash
# Runs every fuzz program of fuzz/ for a bounded time, starting from its inputs in
# fuzz/corpus/<name>/ (and the dictionary fuzz/<name>.dict when there is one; the XML programs
# also from ../shared/ubl-samples when it is there), each for SECONDS or the fewer seconds
# fuzz/<name>.max_seconds names:
#   scripts/run_fuzz.sh [BUILD_DIR [SECONDS [NAME...]]]    (default build-san, 20 s, all)
# The programs run side by side, as many as there are cores (FUZZ_JOBS to change it). New inputs
# go to BUILD_DIR/fuzz/work/<name>/, a crashing input to BUILD_DIR/fuzz/artifacts/; any crash,
# sanitizer report, leak or time-out fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-san}"
seconds="${2:-20}"
shift $(($# < 2 ? $# : 2))
jobs="${FUZZ_JOBS:-$(nproc)}"

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for source in fuzz/*.cpp; do
        names+=("$(basename "$source" .cpp)")
    done
fi

logs="$build/fuzz/logs"
mkdir -p "$logs" "$build/fuzz/artifacts"

run_one() {
    local name="$1" program="$build/fuzz/$1"
    local work="$build/fuzz/work/$name"
    if [ ! -x "$program" ]; then
        echo "$name: not built ($program); configure with -DKVAD_BUILD_FUZZ=ON" >"$logs/$name.log"
        return 1
    fi
    mkdir -p "$work"
    # A program whose coverage is reached in a few seconds names its cap in fuzz/<name>.max_seconds.
    local limit="$seconds"
    if [ -f "fuzz/$name.max_seconds" ]; then
        local cap
        cap="$(tr -dc '0-9' <"fuzz/$name.max_seconds")"
        [ -n "$cap" ] && [ "$cap" -lt "$limit" ] && limit="$cap"
    fi
    local options=(-max_total_time="$limit" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1
                   -artifact_prefix="$build/fuzz/artifacts/$name-")
    [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
    local seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
    # The public UBL samples may not be shipped with the project; where they are at hand, they
    # seed the XML programs too.
    [[ "$name" == xml* ]] && [ -d ../shared/ubl-samples ] && seeds+=(../shared/ubl-samples)
    "$program" "${options[@]}" "$work" "${seeds[@]}" >"$logs/$name.log" 2>&1
}

# Each program in the background, at most $jobs at a time; then every outcome in order.
declare -A pids
for name in "${names[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    run_one "$name" &
    pids[$name]=$!
done

status=0
for name in "${names[@]}"; do
    if wait "${pids[$name]}"; then
        summary="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$logs/$name.log" | tail -n 1 || true)"
        echo "$name: clean: ${summary:-see $logs/$name.log}"
    else
        status=1
        echo "$name: FAILED (log $logs/$name.log, inputs in $build/fuzz/artifacts/)"
        tail -n 60 "$logs/$name.log"
    fi
done
exit "$status"
