#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libsqlite3-dev libpq-dev postgresql-15 libxml2-dev uuid-dev libgmp-dev
    libcli11-dev libtomlplusplus-dev libcsv-dev nlohmann-json3-dev
    libcairo2-dev libpango1.0-dev fonts-dejavu-core
    libgtest-dev libgmock-dev poppler-utils
    clang-format clang-tidy clang libclang-rt-14-dev llvm lld
    dpkg-dev man-db systemd
    libcpp-httplib-dev libsodium-dev chromium libgoogle-perftools-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
