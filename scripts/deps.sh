#!/usr/bin/env bash
# Installs the Debian 12 packages that Tarvu needs. Without arguments: what building and running
# the programs need. "package" adds the tools that build and check the Debian package;
# "package-test" adds what scripts/test_package.sh uses besides (tshark reads a capture with the
# installed dissector, pgrep finds the dialog); "test" adds those and what the whole test
# command needs besides (clang for the fuzz targets, xmllint for the JUnit reports' schema).
# Quiet and quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

build=(
    g++ cmake ninja-build pkg-config
    libcli11-dev qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev
    libgcrypt20-dev libssl-dev
    libpcap-dev  # the tests read our capture files back with libpcap; no program links it
    fonts-liberation fonts-dejavu-core
)
package=(dpkg-dev fakeroot lintian desktop-file-utils appstream man-db groff-base bash-completion)
package_test=(tshark procps)
test=(clang libclang-rt-14-dev libxml2-utils)

packages=("${build[@]}")
for group in "$@"; do
    case $group in
    package) packages+=("${package[@]}") ;;
    package-test) packages+=("${package[@]}" "${package_test[@]}") ;;
    test) packages+=("${package[@]}" "${package_test[@]}" "${test[@]}") ;;
    *)
        echo "usage: scripts/deps.sh [package] [package-test] [test]" >&2
        exit 2
        ;;
    esac
done
exec scripts/install-packages.sh "${packages[@]}"
