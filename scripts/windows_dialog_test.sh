#!/usr/bin/env bash
# Drives the Win32 dialog tarvu.exe under Wine with a virtual display: a private Xvfb (which
# picks a free display itself), a throw-away Wine prefix with Wine's own fonts and unmanaged
# windows, then the dialog tests (tests/win32_dialog). A failing test leaves tarvu.exe's output
# and a picture of the screen in BUILD/win32_dialog/; a passing run leaves the screenshot of
# the dialog there as win32_dialog.png. Everything it starts ends with it, also on failure.
#   scripts/windows_dialog_test.sh [BUILD]      (default: build-win, built by scripts/windows.sh)
# Extra arguments after BUILD go to the test program (--gtest_filter=...). With --bench after
# BUILD, the flood and start-up measurement runs instead, with the arguments after it:
#   scripts/windows_dialog_test.sh build-win --bench --seconds 15
#   scripts/windows_dialog_test.sh build-win --bench --startup build-win/app/win32/tarvu.exe
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${TARVU_WINDOWS_BUILD:-build-win}}
shift || true
program="$build/tests/win32_dialog/tarvu_win32_dialog_tests.exe"
if [ "${1:-}" = --bench ]; then
    shift
    program="$build/bench/win32/tarvu_bench_win32_dialog.exe"
fi
[ -x "$program" ] || { echo "$program is missing: run scripts/windows.sh first" >&2; exit 1; }

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvu-dialog.XXXXXX")
export WINEPREFIX="$work/prefix"
# No debug chatter, no offer to download Mono or Gecko, no menu entries written.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
xvfb_pid=
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb writes the number of the display it chose to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

start=$(date +%s)
# One server for the set-up and every program the tests start.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
"$wine" wineboot --init >/dev/null 2>&1
# Wine here does not load its own fonts from its data folder: without them the caption
# buttons draw as letters and the dialog's size in pixels changes.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# Without a window manager Wine waits about 2 s whenever a top-level window hides; unmanaged
# windows (Wine draws their frames) do not.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# A crash of tarvu.exe ends it with its output kept instead of opening Wine's crash dialog.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
echo "Wine prefix and display $DISPLAY ready in $(( $(date +%s) - start )) s"

artifacts="$PWD/$build/win32_dialog"
rm -rf "$artifacts"
mkdir -p "$artifacts"
export TARVU_DIALOG_ARTIFACTS="$artifacts"
status=0
"$wine" "$program" "$@" || status=$?
if [ -f "$artifacts/win32_dialog.bmp" ]; then
    convert "$artifacts/win32_dialog.bmp" "$artifacts/win32_dialog.png"
    rm -f "$artifacts/win32_dialog.bmp"
fi
for picture in "$artifacts"/*.bmp; do
    [ -e "$picture" ] && convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
done
if [ "$status" -ne 0 ]; then
    echo "dialog tests failed; tarvu.exe's output and screen pictures in $artifacts:" >&2
    ls "$artifacts" >&2
fi
exit "$status"
