#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the embedded default database
# (nso.db in the current folder).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
nso="$root/build/nso"
"$nso" --db nso.db init
"$nso" --db nso.db
