#!/usr/bin/env bash
# Installs the Debian 12 packages that the Windows cross build and its tests under Wine need.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix  # MinGW-w64 with std::thread (winpthreads)
    wine64                      # runs the Windows tests here
    googletest                  # GoogleTest sources, built for the target
    libcli11-dev cmake ninja-build zip
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
