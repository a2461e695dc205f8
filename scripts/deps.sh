#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tarvu need.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    libcli11-dev qt6-base-dev qt6-svg-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libgcrypt20-dev libssl-dev
    clang libclang-rt-14-dev
    fonts-liberation fonts-dejavu-core
    dpkg-dev fakeroot lintian desktop-file-utils appstream man-db groff-base bash-completion
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
