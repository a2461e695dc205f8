#!/usr/bin/env bash
# The soak: COUNT numbered datagrams (default 1,000,000) at the highest rate one sender thread
# sustains, into tarvu-cli with --decode --log --pcap on, against the kernel's own count of what
# it dropped on the program's socket (/proc/net/udp). Checks that every datagram the kernel
# delivered is traced exactly once, that the log's lines and the capture's records match that
# count, that the program's own figures agree with the kernel, and that its memory stays flat.
# Prints the figures; exits non-zero when a check fails.
#
#   bench/soak.sh [COUNT] [BUILD]      BUILD: the build folder (default build)
#
# Needs capinfos (Wireshark's command-line tools). Run it alone on the machine if you can: a
# busy machine makes the kernel drop more, which the checks allow, but slows everything.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
build=${2:-build}
cli=$build/app/cli/tarvu-cli
flood=$build/bench/tarvu_udp_flood
for program in "$cli" "$flood"; do
    [ -x "$program" ] || { echo "soak: $program is missing (build it first)" >&2; exit 2; }
done
command -v capinfos >/dev/null || { echo "soak: capinfos is missing (apt-get install tshark)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvu-soak.XXXXXX")
client=
cleanup() {
    [ -n "$client" ] && kill "$client" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

socket_field() {  # column $1 (1-based) of /proc/net/udp for the client's socket, or nothing
    awk -v p=":$hexport" -v c="$1" 'NR > 1 && substr($2, length($2) - 4) == p { print $c; exit }' /proc/net/udp
}
# A port no UDP socket holds now.
while :; do
    port=$((20000 + RANDOM % 40000))
    hexport=$(printf '%04X' "$port")
    [ -z "$(socket_field 2)" ] && break
done
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$client/status" 2>/dev/null || true; }

"$cli" --settings "$work/settings.ini" --to 127.0.0.1 --port 9 --listen "$port" --no-frame \
    --decode --stats --log "$work/soak.log" --pcap "$work/soak.pcap" >"$work/trace.txt" 2>"$work/stats.txt" &
client=$!
for _ in $(seq 500); do
    [ -n "$(socket_field 2)" ] && break
    sleep 0.01
done
[ -n "$(socket_field 2)" ] || { echo "soak: tarvu-cli did not open port $port" >&2; cat "$work/stats.txt" >&2; exit 1; }
rss_start=$(rss)

# Memory is sampled while the flood runs.
(
    while kill -0 "$client" 2>/dev/null; do
        rss >>"$work/rss.txt"
        sleep 0.2
    done
) &
sampler=$!
sent_line=$("$flood" "$port" "$count")
# What waits in the socket and the queues is taken and written.
previous=-1
for _ in $(seq 300); do
    now=$(grep -c '' "$work/trace.txt" || true)
    [ "$now" = "$previous" ] && break
    previous=$now
    sleep 0.2
done
kernel_drops=$(socket_field 13)
kill -INT "$client"
wait "$client" || { echo "soak: tarvu-cli ended with $?" >&2; exit 1; }
client=
kill "$sampler" 2>/dev/null || true
wait "$sampler" 2>/dev/null || true

delivered=$((count - kernel_drops))
# The trace's received lines, each naming its datagram's number (the last four bytes).
traced=$(grep -c ' --> 11 01 00 30 10 A3 ' "$work/soak.log" || true)
distinct=$(grep ' --> 11 01 00 30 10 A3 ' "$work/soak.log" | awk '{ print $(NF-3) $(NF-2) $(NF-1) $NF }' | sort -u | wc -l)
decoded=$(grep -c '\.\.\.= dev=01 ' "$work/soak.log" || true)
stdout_lines=$(grep -c ' --> 11 01 00 30 10 A3 ' "$work/trace.txt" || true)
told=$(grep -o '^ *\.\.\.! [0-9]* datagrams\? dropped by the system' "$work/soak.log" | awk '{ n += $2 } END { print n + 0 }')
records=$(capinfos -c -M "$work/soak.pcap" | awk '/Number of packets/ { print $NF }')
figures_received=$(sed -n 's/^  received: \([0-9]*\) datagrams.*/\1/p' "$work/stats.txt")
figures_dropped=$(sed -n 's/^  dropped by the system: \([0-9]*\) datagrams.*/\1/p' "$work/stats.txt")
rss_peak=$(sort -n "$work/rss.txt" | tail -n 1)
samples=$(grep -c '' "$work/rss.txt")
quarter=$(( (samples + 3) / 4 ))
rss_early=$(head -n "$quarter" "$work/rss.txt" | sort -n | tail -n 1)
rss_late=$(tail -n "$quarter" "$work/rss.txt" | sort -n | tail -n 1)

echo "$sent_line"
echo "kernel dropped on the socket: $kernel_drops; delivered: $delivered"
echo "log: $traced datagram lines ($distinct distinct), $decoded decoded lines, gap lines telling $told dropped"
echo "standard output: $stdout_lines datagram lines; capture: $records records"
echo "tarvu-cli's figures: received $figures_received, dropped by the system $figures_dropped"
echo "resident memory (KiB): $rss_start at start, $rss_early highest in the first quarter, $rss_late in the last, $rss_peak peak ($samples samples)"

failed=0
check() {
    if ! eval "$1"; then
        echo "FAILED: $2" >&2
        failed=1
    fi
}
check '[ "$traced" -eq "$delivered" ]' "the log traces $traced datagrams, the kernel delivered $delivered"
check '[ "$distinct" -eq "$traced" ]' "a datagram traced more than once"
check '[ "$decoded" -eq "$traced" ]' "decoded lines ($decoded) do not match the datagrams ($traced)"
check '[ "$stdout_lines" -eq "$traced" ]' "standard output and the log differ"
check '[ "$records" -eq "$delivered" ]' "the capture holds $records records for $delivered datagrams"
check '[ "$told" -eq "$kernel_drops" ]' "the gap lines tell $told dropped, the kernel dropped $kernel_drops"
check '[ "$figures_received" -eq "$delivered" ] && [ "$figures_dropped" -eq "$kernel_drops" ]' \
      "the figures say $figures_received received, $figures_dropped dropped"
# Flat: no growth between the first and the last quarter of the run beyond 16 MiB.
check '[ "$rss_late" -le $((rss_early + 16384)) ]' "memory grew from $rss_early KiB to $rss_late KiB"
[ "$failed" -eq 0 ] && echo "soak: every check passed"
exit "$failed"
