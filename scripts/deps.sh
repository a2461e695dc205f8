#!/usr/bin/env bash
# Installs the Debian 12 packages that Tarvu needs. Without arguments: what building and running
# the programs need. "package" adds the tools that build and check the Debian package; "test"
# adds those and what the whole test command needs besides (clang for the fuzz targets, tshark
# for the dissector, xmllint for the JUnit reports' schema). Quiet and quick when everything is
# already there.
set -euo pipefail
cd "$(dirname "$0")/.."

build=(
    g++ cmake ninja-build pkg-config
    libcli11-dev qt6-base-dev qt6-svg-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libgcrypt20-dev libssl-dev
    libpcap-dev
    fonts-liberation fonts-dejavu-core
)
package=(dpkg-dev fakeroot lintian desktop-file-utils appstream man-db groff-base bash-completion)
test=(clang libclang-rt-14-dev tshark libxml2-utils)

packages=("${build[@]}")
for group in "$@"; do
    case $group in
    package) packages+=("${package[@]}") ;;
    test) packages+=("${package[@]}" "${test[@]}") ;;
    *)
        echo "usage: scripts/deps.sh [package] [test]" >&2
        exit 2
        ;;
    esac
done
exec scripts/install-packages.sh "${packages[@]}"
