#!/usr/bin/env bash
# Moving up, checked end to end: a generated inbox of DOCUMENTS documents (default 10000) is
# fetched into an embedded database with `nso fetch`, copied into a new database on the server
# with `nso db copy --to`, and `nso run` then runs on both; `nso orders --lines` must print the
# same ERP orders on both. Prints the time of each step. Needs KVAD_PG_URI (a database on a
# server where new databases may be created), as scripts/pg_cluster.sh sets it:
#   scripts/pg_cluster.sh scripts/pg_copy_compare.sh 10000
# NSO_BINARY and MAKE_INBOX name the programs (default: build/nso, build/tests/generator/make_inbox).
# Exit status: 0 same orders, 1 different or a step failed, 77 no server given.
set -euo pipefail

documents=${1:-10000}
here=$(cd "$(dirname "$0")/.." && pwd)
nso_binary=${NSO_BINARY:-$here/build/nso}
make_inbox=${MAKE_INBOX:-$here/build/tests/generator/make_inbox}
if [ -z "${KVAD_PG_URI:-}" ]; then
    echo "pg_copy_compare: KVAD_PG_URI is not set (run under scripts/pg_cluster.sh)" >&2
    exit 77
fi

work=$(mktemp -d /tmp/kcmp.XXXXXX)
name="kvad_compare_$$"
# The server database's URI: the cluster's with another database name.
uri=$(printf '%s' "$KVAD_PG_URI" | sed -E "s#^(postgres(ql)?://[^/]*/)[^?]*#\1$name#")
cleanup() {
    psql "$KVAD_PG_URI" -qc "DROP DATABASE IF EXISTS $name WITH (FORCE)" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
psql "$KVAD_PG_URI" -qc "CREATE DATABASE $name" >/dev/null

cd "$work"
nso() {
    local database=$1
    shift
    "$nso_binary" --db "$database" --inbox inbox --cache-dir cache "$@"
}
# Runs a step, quiet unless it fails; prints its time.
step() {
    local label=$1
    shift
    local start end
    start=$(date +%s.%N)
    if ! "$@" >"$work/step.log" 2>&1; then
        echo "pg_copy_compare: $label failed:" >&2
        tail -n 20 "$work/step.log" >&2
        exit 1
    fi
    end=$(date +%s.%N)
    awk -v label="$label" -v start="$start" -v end="$end" \
        'BEGIN { printf "  %-36s %8.1f s\n", label, end - start }'
}

echo "pg_copy_compare: $documents generated documents, fetched into nso.db and copied to the server"
generate() { "$make_inbox" . "$documents" >master.list; }
step "generate the inbox" generate
step "nso init (file)" nso nso.db init
while read -r kind file; do
    step "nso master load $kind" nso nso.db master load "$kind" "$file"
done <master.list
step "nso config set (file)" nso nso.db config set --document OCL --layout NSO --from 01/01/2022
step "nso fetch (file)" nso nso.db fetch
step "nso db copy --to" nso nso.db db copy --to "$uri"
step "nso run (file)" nso nso.db run
step "nso run (server)" nso "$uri" run
nso nso.db orders --lines >orders-file.txt
nso "$uri" orders --lines >orders-server.txt
summary=$(grep -m1 "ERP order" orders-file.txt || true)
if ! cmp -s orders-file.txt orders-server.txt; then
    echo "pg_copy_compare: the ERP orders differ (file < > server):" >&2
    diff orders-file.txt orders-server.txt | head -n 40 >&2
    exit 1
fi
echo "pg_copy_compare: the same ERP orders on both ($(wc -l <orders-file.txt) lines; $summary)"
