#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy on the library and the nso command (src/, app/), with the
# compile commands of a configured build; headers under include/, src/ and app/ are checked
# through the sources that include them. Any finding fails. GCC-only warning switches in the
# compile commands (-Wno-restrict) are unknown to clang and are not findings.
#   scripts/check_tidy.sh [BUILD_DIR [FILE...]]    (default ./build, every source)
# In a unity build (KVAD_UNITY_BUILD) each target of src/ and app/ is read as the one unit the
# build compiles, so the headers its files share are parsed and matched once; the units include
# the target's .cpp files by design, which bugprone-suspicious-include would report. Files named
# on the command line need a build that compiles them one by one.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
shift $(($# < 1 ? $# : 1))
clang_tidy="${CLANG_TIDY:-clang-tidy}"
if [ ! -f "$build/compile_commands.json" ]; then
    echo "check_tidy: $build/compile_commands.json is missing (configure the build first)" >&2
    exit 2
fi

files=("$@")
tidy_extra=""
if [ ${#files[@]} -eq 0 ]; then
    mapfile -t files < <(find "$build/src" "$build/CMakeFiles" "$build/app" -path '*/Unity/unity_*.cxx' \
        2>/dev/null | sort)
    if [ ${#files[@]} -gt 0 ]; then
        tidy_extra="--checks=-bugprone-suspicious-include"
    else
        mapfile -t files < <(find src app -name '*.cpp' | sort)
    fi
fi
# One clang-tidy per unit, as many at a time as there are cores; each unit's findings are
# printed in one piece, without the per-file count of the warnings it did not show.
export build clang_tidy tidy_extra
status=0
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" bash -c '
    # shellcheck disable=SC2086 # tidy_extra is one option or none
    if ! out="$("$clang_tidy" -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option \
            $tidy_extra "$1" 2>&1)"; then
        printf "%s\n" "$out" | grep -Ev "^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$"
        exit 1
    fi' _ || status=$?
if [ "$status" -ne 0 ]; then
    echo "clang-tidy: findings above" >&2
    exit 1
fi
echo "clang-tidy: ${#files[@]} units clean"
