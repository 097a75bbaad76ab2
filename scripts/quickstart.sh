#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job as a new user meets it, on the embedded
# default database (nso.db) in the folder nso-demo/ under the current folder, made afresh each
# time: the demo master data, the example orders fetched from the folder inbox, their chains
# listed and processed, the one order that needs a clerk shown and corrected, the chains imported
# as ERP orders, the ERP orders listed and one order written as a PDF.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"

demo="$PWD/nso-demo"
rm -rf "$demo"
mkdir -p "$demo"
cd "$demo"
nso=("$root/build/nso" --db nso.db --inbox "$root/examples/inbox" --cache-dir cache)

bold='' plain=''
if [ -t 1 ]; then
    bold=$'\033[1m' plain=$'\033[0m'
fi
step() {
    local what="$1"
    shift
    printf '\n%s### %s%s\n$ nso %s\n' "$bold" "$what" "$plain" "$*"
    "${nso[@]}" "$@"
}

step "A fresh database with the demo master data and the company's configuration" \
    init --demo
step "The document code's default section and warehouse" \
    config set --document OCL --section A --warehouse 01
step "Fetch the new documents from the platform (the folder examples/inbox)" \
    fetch
step "The chains received: revisions and cancellations beneath the order they replace" \
    list --all
step "Process every chain: load, decode into the ERP's codes and verify" \
    process --all
step "Order BIB-7/2024 comes from a library the master data does not know: it cannot be imported" \
    show BIB-7/2024
step "A clerk gives it the customer and destination it belongs to; it is verified again" \
    edit BIB-7/2024 customer=1002 destination=BIBL
step "Import every chain as ERP orders, one transaction per chain" \
    import --all
step "The ERP orders made; those replaced by a later revision or cancellation are closed" \
    orders
step "Order 87/2024 as a clerk prints it" \
    pdf 87/2024 --out "$demo/order-87-2024.pdf"

printf '\nDone: the database is %s/nso.db. `nso run` does fetch, process and import in one\n' \
    "$demo"
printf 'command, as an integrator schedules it.\n'
