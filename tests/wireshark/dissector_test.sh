#!/usr/bin/env bash
# Records real loopback exchanges with tarvu-cli --pcap and --log and checks what tshark shows
# with tarvu.lua: plain, framed, several frames per datagram, encrypted and malformed packets.
#
# Usage: dissector_test.sh TARVU_CLI TARVU_LUA
set -uo pipefail

cli=$1
lua=$2
work=$(mktemp -d)
echo_pid=""
cleanup() {
    if [ -n "$echo_pid" ]; then kill "$echo_pid" 2>/dev/null; wait "$echo_pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
expect_eq() {  # what, expected, actual
    if [ "$2" != "$3" ]; then
        fail "$1"
        echo "  expected: $(printf '%q' "$2")"
        echo "  actual:   $(printf '%q' "$3")"
    fi
}

# Ports of our own below the kernel's ephemeral range, apart from other suites beside this one.
base=$((20000 + ($$ % 1200) * 10))
peer=$base
local_port=$((base + 1))
"$cli" echo --listen "$peer" >"$work/echo.out" 2>&1 &
echo_pid=$!
for _ in $(seq 50); do
    grep -q "listening" "$work/echo.out" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q "listening" "$work/echo.out"; then
    echo "FAIL: the echo peer did not start: $(cat "$work/echo.out")"
    exit 1
fi

# One session per case; $1 names it, the rest are client options.
session() {
    local name=$1
    shift
    "$cli" --settings "$work/$name.ini" --to 127.0.0.1 --port "$peer" --listen "$local_port" \
        --log "$work/$name.log" --pcap "$work/$name.pcap" --wait 1500 "$@" >"$work/$name.out" \
        2>"$work/$name.err"
    local rc=$?
    expect_eq "$name: exit code" 0 "$rc"
}

fields() {  # capture, extra tshark options...
    local cap=$1
    shift
    tshark -X lua_script:"$lua" -r "$cap" "$@" 2>/dev/null
}

tarvu_fields=(-T fields -E separator=';' -E aggregator=,
    -e udp.srcport -e udp.dstport -e tarvu.device -e tarvu.address2 -e tarvu.type
    -e tarvu.qualifier -e tarvu.code -e tarvu.code.name -e tarvu.body -e tarvu.encrypted
    -e tarvu.cipher)

# --- Plain packets on a port that is not 10001: Decode As.
session plain --no-frame --send "11 05 00 30 10 A6 C5 22 D1" --send "21 34 12 05 30 10 01 AA" \
    --interval 350
expect_eq "plain: fields" \
"$local_port;$peer;5;0;0x30;0x10;0xa6;ca_SET_1;c522d1;0;
$peer;$local_port;5;0;0x30;0x10;0xa6;ca_SET_1;c522d1;0;
$local_port;$peer;4660;5;0x30;0x10;0x01;? ? ?;aa;0;
$peer;$local_port;4660;5;0x30;0x10;0x01;? ? ?;aa;0;" \
    "$(fields "$work/plain.pcap" -d udp.port=="$peer",tarvu "${tarvu_fields[@]}")"
# The capture carries the bytes the trace shows, in the same order.
trace_bytes=$(grep -o -- '-[->] .*' "$work/plain.out" | cut -c4- | tr -d ' ' | tr 'A-F' 'a-f')
expect_eq "plain: capture bytes match the trace" "$trace_bytes" \
    "$(fields "$work/plain.pcap" -T fields -e udp.payload | tr -d ':')"
expect_eq "plain: log is header + trace" "$(cat "$work/plain.out")" \
    "$(tail -n +2 "$work/plain.log")"
if ! head -1 "$work/plain.log" | grep -Eq "^# [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} .*Tarvu [0-9.]+, read port $local_port, destination 127.0.0.1:$peer, frame off$"; then
    fail "plain: log header: $(head -1 "$work/plain.log")"
fi
expect_eq "plain: code A6 shows its catalogue name" 2 \
    "$(fields "$work/plain.pcap" -d udp.port=="$peer",tarvu -V | grep -c 'Message code: 0xa6 A6(ca_SET_1)')"

# --- Framed: the heuristic dissector takes datagrams that start with 7E on any port.
session framed --frame --send "11 01 00 30 00"
expect_eq "framed: fields" \
"$local_port;$peer;1;0;0x30;0x00;;;;0;
$peer;$local_port;1;0;0x30;0x00;;;;0;" \
    "$(fields "$work/framed.pcap" "${tarvu_fields[@]}")"
expect_eq "framed: the capture holds the coded frame as sent" \
    "7e7d517d417d40307d407f" "$(fields "$work/framed.pcap" -T fields -e udp.payload -c 1 | tr -d ':')"

# --- Several frames in one datagram, escapes undone, and an unterminated frame at the end.
# The first frame carries bytes an encoder escapes (11, 10) unescaped, which a receiver takes
# but the heuristic does not claim: Decode As.
session frames --no-frame --send "7E 11 07 7D 40 30 10 21 7F 7E 7D 51 7D 42 7D 40 40 7D 41 7F 7E 11"
expect_eq "frames: fields" \
"$local_port;$peer;7,2;0,0;0x30,0x40;0x10,0x01;0x21;ma_ALARM;;0,0;" \
    "$(fields "$work/frames.pcap" -c 1 -d udp.port=="$peer",tarvu "${tarvu_fields[@]}")"
expect_eq "frames: unterminated frame marked" 1 \
    "$(fields "$work/frames.pcap" -c 1 -d udp.port=="$peer",tarvu -V | grep -c 'Expert Info.*Unterminated frame')"

# --- The heuristic claims what a frame encoder sent and nothing else that starts with 7E, and
# is switched off like any heuristic dissector.
expect_eq "heuristic: framed session claimed" 2 "$(fields "$work/framed.pcap" -Y tarvu | wc -l)"
expect_eq "heuristic: --disable-heuristic tarvu" 0 \
    "$(fields "$work/framed.pcap" --disable-heuristic tarvu -Y tarvu | wc -l)"
session other --no-frame --send "7E 01 02 03 7F" --send "7E 41 42 43" --send "7E 7F" \
    --send "7E 7D 41 30 7F" --send "7E 45 2B 30 00 7F" --send "7E 20 41 42 30 45 7D 7F" --interval 350
expect_eq "heuristic: other datagrams seen" 12 "$(fields "$work/other.pcap" | wc -l)"
expect_eq "heuristic: other datagrams starting with 7E not claimed" 0 \
    "$(fields "$work/other.pcap" -Y tarvu | wc -l)"

# --- Address fields longer than 4 bytes show every byte: decimal in the info column and the
# tree (hexadecimal beside it, as for short fields), the same value as the decoded trace line.
session long --no-frame --decode --send "09 01 02 03 04 05 06 07 08 09 30 00" \
    --send "7F 01 02 03 04 05 06 A7 F1 F0 EF EE ED EC EB EA E9 E8 E7 E6 E5 E4 E3 40 01" --interval 350
long_view=$(fields "$work/long.pcap" -d udp.port=="$peer",tarvu -V)
expect_eq "long: second address of 9 bytes" 2 \
    "$(grep -c 'Second address: 166599134359138271745 (0x090807060504030201)' <<<"$long_view")"
expect_eq "long: device address of 7 bytes" 2 \
    "$(grep -c 'Device address: 47012939722588673 (0xA7060504030201)' <<<"$long_view")"
expect_eq "long: second address of 15 bytes" 2 \
    "$(grep -c 'Second address: 1183293990988168246350015770724921585 (0xE3E4E5E6E7E8E9EAEBECEDEEEFF0F1)' <<<"$long_view")"
expect_eq "long: info column" \
"Packet dev=- addr2=166599134359138271745 type=30 qual=00
Packet dev=47012939722588673 addr2=1183293990988168246350015770724921585 type=40 qual=01" \
    "$(fields "$work/long.pcap" -d udp.port=="$peer",tarvu -T fields -e _ws.col.Info | sort -u)"
expect_eq "long: the decoded trace line gives the same values" 4 \
    "$(grep -Ec '= dev=- addr2=90807060504030201 type=30|= dev=A7060504030201 addr2=E3E4E5E6E7E8E9EAEBECEDEEEFF0F1 type=40' "$work/long.out")"
if grep -qi 'lua error' <<<"$long_view"; then
    fail "long: Lua error"
fi

# --- Encrypted: addresses in clear, the rest cipher bytes.
key="00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF"
session encrypted --no-frame --gost-key "$key" --send "11 05 00 30 10 A6 C5 22 D1"
out=$(fields "$work/encrypted.pcap" -c 1 -d udp.port=="$peer",tarvu "${tarvu_fields[@]}")
pattern="^$local_port;$peer;5;0;;;;;;1;[0-9a-f]{16}\$"
if ! [[ "$out" =~ $pattern ]]; then
    fail "encrypted: fields: $out"
fi

# --- Malformed: too short for the header, an address field longer than its bytes.
session malformed --no-frame --send "11 05" --send "F0 01" --interval 350
expect_eq "malformed: marked, no Lua error" 4 \
    "$(fields "$work/malformed.pcap" -d udp.port=="$peer",tarvu -V | grep -c 'Expert Info.*Packet too short for its header')"
if fields "$work/malformed.pcap" -d udp.port=="$peer",tarvu -V | grep -qi 'lua error'; then
    fail "malformed: Lua error"
fi

# --- Registered port 10001, and the preference that moves it.
if [ "$(fields "$work/plain.pcap" -o tarvu.port:"$peer" -T fields -e tarvu.device -c 1)" != "5" ]; then
    fail "preference tarvu.port does not move the port"
fi

# --- Two sessions appending to one log keep whole lines and both headers.
session append1 --no-frame --send "11 01 00 30 00"
cat "$work/append1.log" >"$work/both.log"
"$cli" --settings "$work/append1.ini" --to 127.0.0.1 --port "$peer" --listen "$local_port" \
    --log "$work/both.log" --send "11 02 00 30 00" --wait 1500 >/dev/null 2>&1
expect_eq "append: two headers" 2 "$(grep -c '^# ' "$work/both.log")"
expect_eq "append: lines kept" 6 "$(wc -l <"$work/both.log")"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "dissector checks passed"
