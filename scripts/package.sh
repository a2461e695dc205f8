#!/usr/bin/env bash
# Builds the Debian package of Tarvu: a Release build of the programs alone (no tests, no
# benchmarks) in build-pkg/, installed under /usr, packed by CPack's DEB generator with the
# dependencies that dpkg-shlibdeps reads from the programs. Prints the package's path last.
# Hardening and optimisation flags come from dpkg-buildflags, as for any Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package

build=${TARVU_PACKAGE_BUILD_DIR:-build-pkg}
# A build folder that a run as root left behind cannot be rebuilt by a user: say so plainly.
if [ -e "$build" ] && [ -n "$(find "$build" ! -writable -print -quit)" ]; then
    echo "package.sh: $build holds files you may not write (left by a run as root?);" \
        "remove it first: sudo rm -rf $build" >&2
    exit 1
fi
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The package's programs carry no debugging information, so none is compiled in.
# The source path is left out of the flags (no file-prefix map), so that ccache can share the
# objects between checkouts in different folders.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath" DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

# The optimisation level is dpkg-buildflags' -O2 (Release's own -O3 would follow and win; with
# it GCC 12 reports a false overlap inside std::string, which -Werror turns into a failure).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run() {
    "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "package.sh: failed: $*" >&2; exit 1; }
}
run cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_INSTALL_PREFIX=/usr -DTARVU_TESTS=OFF -DTARVU_BENCH=OFF "${launcher[@]}"
run cmake --build "$build" -j "$(nproc)"
rm -f "$build"/package/*.deb
run cpack --config "$build/CPackConfig.cmake" -B "$PWD/$build/package" -G DEB
deb=$(ls "$PWD/$build"/package/tarvu_*.deb)
echo "$deb"
