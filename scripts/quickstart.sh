#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the embedded default database
# (nso.db in the current folder): create the schema, configure the company, fetch the example
# orders from the folder-inbox platform and list their chains.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
nso=("$root/build/nso" --db nso.db --inbox "$root/examples/inbox")
"${nso[@]}" init
"${nso[@]}" config set --document OCL --layout NSO --from 01/01/2024 --section A --warehouse 01
"${nso[@]}" fetch
"${nso[@]}" list --all
