#!/usr/bin/env bash
# Runs the packaged nso in a root that holds nothing but the package and the packages its
# dependencies bring (downloaded with apt-get download, unpacked with dpkg -x): no compiler, no
# shell, none of the build's libraries. It needs the network and root (chroot), so it is not part
# of the test suite; run it by hand after a change of dependencies:
#   sudo packaging/clean_root_check.sh build/package/kvad-nso_<version>_amd64.deb
set -euo pipefail

deb="$(realpath "$1")"
work="$(mktemp -d)"
trap 'umount "$work/root/proc" 2>/dev/null || true; rm -rf "$work"' EXIT

# The declared packages (the first of each set of alternatives; adduser only serves postinst)
# and what they depend on, recursively.
mapfile -t declared < <(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' |
    grep -v '^adduser$')
mapfile -t packages < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances "${declared[@]}" | grep -v '^[ <]' | sort -u)
echo "${#packages[@]} packages: ${packages[*]}"
mkdir -p "$work/debs" "$work/root"
(cd "$work/debs" && apt-get download "${packages[@]}" >/dev/null 2>&1)
for file in "$work/debs"/*.deb "$deb"; do
    dpkg -x "$file" "$work/root"
done
mkdir -p "$work/root/work" "$work/root/proc"
mount -t proc proc "$work/root/proc"

nso() {
    env -i HOME=/work LANG=C.UTF-8 "$(command -v chroot)" "$work/root" /usr/bin/nso \
        --db /work/nso.db --inbox /usr/share/kvad-nso/examples/inbox --cache-dir /work/cache "$@"
}
nso --version
nso init --demo
status=0
nso run || status=$?
[ "$status" -eq 4 ] || { echo "nso run ended with $status, not 4 (one order for a clerk)" >&2; exit 1; }
nso pdf 87/2024 --out /work/order.pdf
echo "the packaged nso runs in a root of its dependencies alone"
