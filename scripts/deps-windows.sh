#!/usr/bin/env bash
# Installs the Debian 12 packages that the Windows cross build and its tests under Wine need.
# Quiet and quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++-mingw-w64-x86-64-posix  # MinGW-w64 with std::thread (winpthreads)
    wine64                      # runs the Windows tests here
    googletest                  # GoogleTest sources, built for the target
    libcli11-dev cmake ninja-build zip
    xvfb                        # the private display the Win32 dialog is tested on
    fonts-wine                  # Wine's own fonts, copied into the test prefix
    imagemagick                 # the dialog's screenshot, BMP to PNG
)
exec scripts/install-packages.sh "${packages[@]}"
