#!/usr/bin/env bash
# Makes docs/screenshots/wireshark.png: Wireshark's own window (Debian's wireshark-qt on a
# private virtual display) with a capture of a real exchange between tarvu-cli and its echo
# peer, decoded by the dissector that `tarvu-cli dissector install` put into a scratch home.
# Needs a build (build/app/cli/tarvu-cli); runs in a network namespace of its own when it
# may (root), so that its ports collide with nothing.
# Usage: scripts/wireshark_screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots/wireshark.png}")
cli=$PWD/build/app/cli/tarvu-cli
[ -x "$cli" ] || { echo "build tarvu-cli first (build/app/cli/tarvu-cli)" >&2; exit 1; }
scripts/install-packages.sh wireshark-qt xvfb xdotool imagemagick

if [ "$(id -u)" -eq 0 ] && [ -z "${TARVU_SCREENSHOT_NETNS:-}" ]; then
    exec env TARVU_SCREENSHOT_NETNS=1 unshare -n sh -c 'ip link set lo up && exec "$0" "$1"' "$0" "$out"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The dissector where Wireshark looks for a user's plugins, in a home of our own.
export HOME=$work/home
"$cli" dissector install >/dev/null

# A short session: a plain packet, a framed one, and an encrypted one, each echoed.
"$cli" echo --listen 10002 >/dev/null 2>"$work/echo.err" &
pids+=($!)
for _ in $(seq 50); do grep -q listening "$work/echo.err" && break; sleep 0.1; done
run() {
    local name=$1
    shift
    "$cli" --settings "$work/s.ini" --to 127.0.0.1 --port 10002 --listen 10001 \
        --pcap "$work/$name.pcap" --wait 800 "$@" >/dev/null
}
run 1 --no-frame --send "11 05 00 30 10 A6 C5 22 D1"
run 2 --frame --send "11 01 00 30 10 A3 01 00 D1"
run 3 --no-frame --gost-key 00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF \
    --send "11 07 00 30 10 21 01 02 03"
mergecap -F pcap -w "$work/session.pcap" "$work"/[123].pcap

# A display of our own: the server picks a free number and writes it to the file.
Xvfb -displayfd 3 -screen 0 1280x1000x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
    display=$(head -n 1 "$work/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    sleep 0.1
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
# Qt's own look without a desktop behind it.
export QT_QPA_PLATFORMTHEME= XDG_RUNTIME_DIR=$work
# Packet 4: the echoed frame. List, details and bytes one above the other.
wireshark -r "$work/session.pcap" -g 4 -o gui.layout_type:1 >/dev/null 2>&1 &
pids+=($!)
window=""
for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name 'session.pcap' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "Wireshark's window did not appear" >&2; exit 1; }
xdotool windowmove "$window" 0 0 windowsize "$window" 1280 1000
sleep 2
# In the details pane: everything closed (Ctrl+Left), then the last protocol, Tarvu link,
# opened with all its subtrees (End, Shift+Right).
xdotool mousemove --window "$window" 200 "${TARVU_SCREENSHOT_DETAILS_Y:-480}" click 1
sleep 0.5
xdotool key --window "$window" ctrl+Left End shift+Right
sleep 2
import -window "$window" "$out"
echo "wrote $out"
