#!/usr/bin/env bash
# Checks that every C++ source follows .clang-format: prints the difference for each file that
# does not and fails. `scripts/check_format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format="${CLANG_FORMAT:-clang-format}"

# The tracked sources and the new ones not yet added (in a checkout without git: every source).
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
    mapfile -t files < <(find include src app tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
fi

if [ "${1:-}" = "--fix" ]; then
    "$clang_format" -i "${files[@]}"
    exit 0
fi

# Every file checked at once, in batches on every core; only when one differs is each file
# formatted again to print what differs.
existing=()
for file in "${files[@]}"; do
    [ -f "$file" ] && existing+=("$file")
done
if printf '%s\0' "${existing[@]}" |
    xargs -0 -n 50 -P "$(nproc)" "$clang_format" --dry-run -Werror 2>/dev/null; then
    exit 0
fi

status=0
for file in "${existing[@]}"; do
    if ! "$clang_format" "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" -; then
        status=1
    fi
done
if [ "$status" -ne 0 ]; then
    echo "clang-format: the files above differ from .clang-format (scripts/check_format.sh --fix)" >&2
fi
exit "$status"
