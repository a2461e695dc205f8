#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: a normal build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, a ThreadSanitizer build of the
# transport and platform tests, a short run of every fuzz target (clang), and the Windows
# cross build with its tests under Wine (scripts/windows.sh). Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

jobs=$(nproc)
configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}
# Qt's own libraries report fontconfig caches as leaks; the offscreen platform needs no display.
export QT_QPA_PLATFORM=offscreen
# Sanitizer options are split at blanks and colons: the path is quoted for a checkout whose
# path holds either.
export LSAN_OPTIONS="suppressions='$PWD/tests/lsan.supp':print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== normal build"
configure build
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== address and undefined-behaviour sanitizers"
configure build-asan -DTARVU_SANITIZE=address,undefined -DTARVU_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== thread sanitizer (transport, platform, session record, and the application logic under load)"
configure build-tsan -DTARVU_SANITIZE=thread -DTARVU_BENCH=OFF -DTARVU_GUI=OFF
tsan_targets=()
tsan_labels=()
# The target list is read whole: grep -q would close the pipe early, and under pipefail the
# failed writer would silently drop a suite.
tsan_help=$(cmake --build build-tsan --target help)
for t in tarvu_platform_tests tarvu_transport_tests tarvu_record_tests tarvu_app_tests; do
    if grep -q "^$t:" <<<"$tsan_help"; then
        tsan_targets+=("$t")
        # Of the application's tests only the stress test, labelled on its own, runs here.
        if [ "$t" = tarvu_app_tests ]; then
            tsan_labels+=(tarvu_app_stress)
        else
            tsan_labels+=("$t")
        fi
    fi
done
if [ ${#tsan_targets[@]} -gt 0 ]; then
    cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
    labels=$(IFS='|'; echo "${tsan_labels[*]}")
    # Some kernels map memory where ThreadSanitizer cannot; run without address randomisation.
    setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "^($labels)\$"
fi
echo "== fuzz targets (${TARVU_FUZZ_SECONDS:-20} s each, from a copy of the seed corpus)"
CC=clang CXX=clang++ configure build-fuzz -DTARVU_FUZZ=ON -DTARVU_GUI=OFF -DTARVU_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target tarvu_fuzz
mkdir -p build-fuzz/findings
for source in fuzz/*_fuzz.cpp; do
    target=$(basename "$source" _fuzz.cpp)
    work=$(mktemp -d)
    cp fuzz/corpus/"$target"/* "$work"/
    # A finding (crash, failed check, sanitizer report, leak, timeout) ends the run non-zero
    # and leaves the input in build-fuzz/findings/.
    if ! build-fuzz/fuzz/fuzz_"$target" -max_total_time="${TARVU_FUZZ_SECONDS:-20}" \
            -artifact_prefix="$PWD/build-fuzz/findings/$target-" "$work" >"$work.log" 2>&1; then
        tail -n 40 "$work.log"
        echo "fuzz_$target: finding saved in build-fuzz/findings/ (docs/fuzzing.md: reproducing)"
        rm -rf "$work" "$work.log"
        exit 1
    fi
    echo "fuzz_$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work.log" | tail -n 1)"
    rm -rf "$work" "$work.log"
done
echo "== Debian package: built, installed, used from PATH and removed"
if [ "$(id -u)" -eq 0 ]; then
    scripts/test_package.sh
else
    sudo scripts/test_package.sh
    # Everything the step left in the checkout must stay the user's, or the next
    # scripts/package.sh cannot replace it.
    root_owned=$(find . -xdev -user 0 -print | head -n 5)
    if [ -n "$root_owned" ]; then
        echo "FAIL: files owned by root left in the checkout:" >&2
        echo "$root_owned" >&2
        exit 1
    fi
fi
echo "== Windows: cross build, tests under Wine, tarvu-cli zip"
scripts/windows.sh
echo "== all tests passed"
