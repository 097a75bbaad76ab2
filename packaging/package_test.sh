#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a root of its own (dpkg -x) and
# checks it as a clean machine would meet it:
#   - the package is kvad-nso_<version>_<arch>.deb with the files an install needs, its settings
#     file a conffile and its maintainer scripts valid shell;
#   - every dependency it declares is installed here, and every library the unpacked nso loads
#     comes from a package it declares (directly, or through the dependencies of one it declares);
#   - the unpacked nso tells its version, runs `init --demo` and `run` on the example orders it
#     installed, and reads its own settings example;
#   - the manual page renders, the bash completion completes `nso im` to `nso import`, and
#     `systemd-analyze verify` passes on the units;
# then removes the unpacked root.
#   packaging/package_test.sh BUILD_DIR VERSION
set -euo pipefail

build="$(cd "$1" && pwd)"
version="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# ---- the package
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack could not build the package"
fi
deb="$work/out/kvad-nso_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls "$work/out")"

depends="$(dpkg-deb -f "$deb" Depends)"
dpkg-deb --ctrl-tarfile "$deb" | tar -x -C "$work" -f - ./conffiles ./postinst ./prerm ./postrm
grep -qx /etc/kvad-nso/nso.toml "$work/conffiles" || fail "/etc/kvad-nso/nso.toml is no conffile"
for script in postinst prerm postrm; do
    sh -n "$work/$script" || fail "$script is not valid shell"
done
grep -q "adduser --system" "$work/postinst" || fail "postinst makes no system user"

root="$work/root"
dpkg -x "$deb" "$root"
nso="$root/usr/bin/nso"
for file in usr/bin/nso etc/kvad-nso/nso.toml usr/share/man/man1/nso.1.gz \
    usr/share/bash-completion/completions/nso usr/lib/systemd/system/nso-run.service \
    usr/lib/systemd/system/nso-run.timer usr/lib/systemd/system/nso-serve.service \
    usr/share/kvad-nso/examples/inbox/IT01234567890/ORD-2024-0001.xml \
    usr/share/kvad-nso/schema/0001_initial.sql; do
    [ -e "$root/$file" ] || fail "the package has no /$file"
done

# ---- its dependencies: declared ones installed, loaded libraries from declared packages
declare -A declared
IFS=',' read -ra clauses <<<"$depends"
for clause in "${clauses[@]}"; do
    satisfied=""
    IFS='|' read -ra alternatives <<<"$clause"
    for alternative in "${alternatives[@]}"; do
        read -r name relation wanted <<<"${alternative//[()]/ }"
        declared[$name]=1
        installed="$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null || true)"
        [ -n "$installed" ] || continue
        if [ -z "${relation:-}" ] || dpkg --compare-versions "$installed" "$relation" "$wanted"; then
            satisfied=1
        fi
    done
    [ -n "$satisfied" ] || fail "declared dependency not installed here: $clause"
done

# The packages a declared one brings along, so that a library of a library counts too.
mapfile -t closure < <(apt-cache depends --recurse --no-recommends --no-suggests \
    --no-conflicts --no-breaks --no-replaces --no-enhances "${!declared[@]}" 2>/dev/null |
    sed -n 's/^\([a-z0-9][^ :]*\)\(:[a-z0-9]*\)\{0,1\}$/\1/p' | sort -u)
declare -A reachable
for package in "${closure[@]}" "${!declared[@]}"; do
    reachable[$package]=1
done

ldd "$nso" >"$work/ldd" || fail "ldd cannot read the unpacked nso"
! grep -q "not found" "$work/ldd" || fail "libraries nso cannot find: $(grep "not found" "$work/ldd")"
needed="$(readelf -d "$nso" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
while read -r soname _ path _; do
    [[ "$path" == /* ]] || continue
    owner="$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null || true)"
    owner="${owner%%:*}"
    [ -n "$owner" ] || fail "$path ($soname) belongs to no package"
    if grep -qx "$soname" <<<"$needed"; then
        [ -n "${declared[$owner]:-}" ] || fail "nso links $soname of $owner, which is not declared"
    else
        [ -n "${reachable[$owner]:-}" ] || fail "$soname of $owner comes from no declared package"
    fi
done <"$work/ldd"

# ---- the unpacked nso at work, in a clean environment
site="$work/site"
mkdir -p "$site" "$work/home"
run_nso() {
    (cd "$site" && env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 "$nso" "$@")
}
run_nso --version >"$work/version" || fail "nso --version failed"
grep -q "^nso $version (writes database schema version [0-9]*)$" "$work/version" ||
    fail "nso --version: $(cat "$work/version")"
for library in SQLite libxml2 libpq cairo pango libsodium cpp-httplib; do
    grep -q "^$library [0-9]" "$work/version" || fail "nso --version names no $library version"
done

inbox="$root/usr/share/kvad-nso/examples/inbox"
run_nso --db nso.db --inbox "$inbox" init --demo >"$work/init" ||
    fail "nso init --demo failed: $(cat "$work/init")"
grep -q "configured company 1" "$work/init" || fail "init --demo: $(cat "$work/init")"
# The installed nso finds the example orders in the share folder beside it.
grep -qF "the example orders are in $inbox:" "$work/init" ||
    fail "init --demo does not name the installed examples: $(cat "$work/init")"
status=0
run_nso --db nso.db --inbox "$inbox" --cache-dir cache run --json >"$work/run.json" || status=$?
# The example orders leave one order for a clerk: exit status 4, every other chain imported.
[ "$status" -eq 4 ] || fail "nso run ended with $status: $(cat "$work/run.json")"
grep -q '"erp_orders_made": *[1-9]' "$work/run.json" || grep -q '"erp_orders_made":[1-9]' \
    "$work/run.json" || fail "nso run made no ERP order: $(cat "$work/run.json")"
run_nso --settings "$root/etc/kvad-nso/nso.toml" settings >"$work/settings" ||
    fail "the settings example cannot be read: $(cat "$work/settings")"

# ---- manual page, completion, units
MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/nso.1.gz" >"$work/man" 2>"$work/man.err" ||
    fail "man -l: $(cat "$work/man.err")"
grep -q "nso import" "$work/man" || fail "the manual page has no nso import"
[ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"

completion="$(bash -c 'source "$1"; COMP_WORDS=(nso im); COMP_CWORD=1; _nso
    echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/nso")"
[ "$completion" = import ] || fail "nso im completes to '$completion', not import"
completion="$(bash -c 'source "$1"; COMP_WORDS=(nso --db x.db import --a); COMP_CWORD=4; _nso
    echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/nso")"
[ "$completion" = --all ] || fail "nso import --a completes to '$completion', not --all"
completion="$(bash -c 'source "$1"; COMP_WORDS=(nso messages --phase d); COMP_CWORD=3; _nso
    echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/nso")"
[ "$completion" = decoding ] || fail "nso messages --phase d completes to '$completion'"

if command -v systemd-analyze >/dev/null; then
    units=("$root"/usr/lib/systemd/system/nso-*)
    # The root gets the machine's targets the units name (timers.target, multi-user.target, ...);
    # the manual page they name is looked up in the root. A warning fails as an error does.
    cp -n /usr/lib/systemd/system/*.target "$root/usr/lib/systemd/system/"
    if ! MANPATH="$root/usr/share/man" SYSTEMD_LOG_LEVEL=warning \
        systemd-analyze verify --root="$root" "${units[@]}" >"$work/verify" 2>&1 ||
        [ -s "$work/verify" ]; then
        cat "$work/verify" >&2
        fail "systemd-analyze verify finds fault with the units"
    fi
else
    echo "systemd-analyze is not installed: the units were not verified"
fi

# ---- removed: the unpacked root goes, and nothing of it is left
rm -rf "$root"
[ ! -e "$root" ] || fail "the unpacked root could not be removed"
echo "package $(basename "$deb") installs, runs and is removed"
