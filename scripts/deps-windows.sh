#!/usr/bin/env bash
# Installs the Debian 12 packages that the Windows cross build and its tests under Wine need.
# Quiet and quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++-mingw-w64-x86-64-posix  # MinGW-w64 with std::thread (winpthreads)
    g++                         # the dissector's generator, run here during the build
    wine64                      # runs the Windows tests here
    googletest                  # GoogleTest sources, built for the target
    libcli11-dev cmake ninja-build zip
)
exec scripts/install-packages.sh "${packages[@]}"
