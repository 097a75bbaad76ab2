#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL cluster: initdb as the postgres user (runuser
# when run as root), the server listening only on a Unix socket in a short temporary folder,
# fsync off. The command finds the server in KVAD_PG_URI (a database "kvad" it may use, and the
# right to create others). The cluster is stopped and removed when the script ends, however the
# command ends.
#   scripts/pg_cluster.sh ctest --test-dir build -R postgres
set -euo pipefail

bindir=$(find /usr/lib/postgresql -maxdepth 2 -name bin -type d | sort -V | tail -n 1)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "pg_cluster: no PostgreSQL server found (install postgresql-15)" >&2
    exit 1
fi

# The socket's path must stay under the 107 bytes Unix sockets allow.
dir=$(mktemp -d /tmp/kpg.XXXXXX)
as_owner=()
owner=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    as_owner=(runuser -u postgres --)
    owner=postgres
fi

cleanup() {
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

"${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U "$owner" -E UTF8 \
    --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
"${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s start \
    -o "-c listen_addresses='' -k $dir -c fsync=off -c synchronous_commit=off \
        -c full_page_writes=off -c max_connections=50" ||
    { cat "$dir/server.log" >&2; exit 1; }
"$bindir/createdb" -h "$dir" -U "$owner" kvad

export KVAD_PG_URI="postgresql:///kvad?host=$dir&user=$owner"
"$@"
