#!/usr/bin/env bash
# Draws the house from the includes and checks it: every folder of src/ is a layer, in the order
# src/CMakeLists.txt adds them (bottom up), with app/ (the nso command) on top. An include of a
# header that lives in another layer is an arrow to that layer. It fails when an arrow points
# from a lower layer to a higher one, or when app/ includes a header that is not public (the
# include/ folders of the layers, nothing beside their sources).
#   scripts/include_graph.sh [--dot]    (prints the arrows, or a Graphviz graph with --dot)
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t layers < <(sed -n 's/^add_subdirectory(\([a-z_]*\)).*/\1/p' src/CMakeLists.txt)
layers+=(app)
declare -A rank
for i in "${!layers[@]}"; do
    rank[${layers[$i]}]=$i
done

# The layer a quoted include names: the first folder of its path when that is a layer whose
# include/ folder holds it; "kvad_nso/..." belongs to the layer whose include/ folder has it.
owner_of() {
    local header="$1" dir
    for dir in include src/*/include; do
        if [ -f "$dir/$header" ]; then
            if [ "$dir" = include ]; then
                echo core
            else
                dir="${dir#src/}"
                echo "${dir%/include}"
            fi
            return
        fi
    done
}

declare -A arrows
status=0
for layer in "${layers[@]}"; do
    folder="src/$layer"
    [ "$layer" = app ] && folder=app
    [ -d "$folder" ] || continue
    while IFS= read -r line; do
        file="${line%%:*}"
        header="$(sed 's/.*#include "\([^"]*\)".*/\1/' <<<"${line#*:}")"
        # A header beside the including file is the layer's own.
        [ -f "$(dirname "$file")/$header" ] && continue
        target="$(owner_of "$header")"
        if [ -z "$target" ]; then
            if [ "$layer" = app ] && [[ "$header" != app/* ]]; then
                echo "app/ includes a header that is not public: $file: $header" >&2
                status=1
            fi
            continue
        fi
        [ "$target" = "$layer" ] && continue
        arrows["$layer -> $target"]=1
        if [ "${rank[$target]}" -gt "${rank[$layer]}" ]; then
            echo "upward include: $file ($layer) includes $header ($target)" >&2
            status=1
        fi
    done < <(grep -rn '^#include "' "$folder" --include='*.h' --include='*.cpp' || true)
done

if [ "${1:-}" = --dot ]; then
    echo "digraph layers {"
    echo "    rankdir=BT; node [shape=box];"
    for arrow in "${!arrows[@]}"; do
        echo "    \"${arrow% -> *}\" -> \"${arrow#* -> }\";"
    done | sort
    echo "}"
else
    for layer in "${layers[@]}"; do
        targets=()
        for arrow in "${!arrows[@]}"; do
            [ "${arrow% -> *}" = "$layer" ] && targets+=("${arrow#* -> }")
        done
        [ ${#targets[@]} -eq 0 ] && continue
        mapfile -t targets < <(printf '%s\n' "${targets[@]}" | sort)
        echo "$layer -> ${targets[*]}"
    done
fi
exit "$status"
