#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: a normal build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, a ThreadSanitizer build of the
# transport and platform tests, and the Windows cross build with its tests under Wine
# (scripts/windows.sh). Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}
# Qt's own libraries report fontconfig caches as leaks; the offscreen platform needs no display.
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== normal build"
configure build
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== address and undefined-behaviour sanitizers"
configure build-asan -DTARVU_SANITIZE=address,undefined -DTARVU_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== thread sanitizer (transport and platform)"
configure build-tsan -DTARVU_SANITIZE=thread -DTARVU_BENCH=OFF -DTARVU_GUI=OFF
tsan_targets=()
for t in tarvu_platform_tests tarvu_transport_tests; do
    if cmake --build build-tsan --target help | grep -q "^$t:"; then
        tsan_targets+=("$t")
    fi
done
if [ ${#tsan_targets[@]} -gt 0 ]; then
    cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
    labels=$(IFS='|'; echo "${tsan_targets[*]}")
    # Some kernels map memory where ThreadSanitizer cannot; run without address randomisation.
    setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "^($labels)\$"
fi
echo "== Windows: cross build, tests under Wine, tarvu-cli zip"
scripts/windows.sh
echo "== all tests passed"
