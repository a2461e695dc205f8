#!/usr/bin/env bash
# Tries the Windows installer as a Windows user would, under Wine in a throw-away prefix without
# a display: installs it with msiexec, checks the files, the Start-menu shortcut and the entry in
# the list of programs, runs the installed tarvu-cli.exe (version, an exchange with its echo
# peer, its settings in %APPDATA%\tarvu, a capture decoded by tshark with the installed
# dissector), installs the same version again, upgrades to a higher version built here and
# signed with a certificate made here, refuses the older version, and uninstalls.
#
#   scripts/test_windows_msi.sh BUILD MSI
#
# BUILD is the cross build the MSI was made from (build-win), MSI the installer to try.
# Exits non-zero when a check fails.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

if [ $# -ne 2 ]; then
    echo "usage: scripts/test_windows_msi.sh BUILD MSI" >&2
    exit 2
fi
build=$1
msi=$(realpath "$2")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvu-msi-test.XXXXXX")
export WINEPREFIX=$work/prefix
# Wine leaves a folder of its own in TMPDIR behind; this one goes with the rest.
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
# No display, no debug chatter, no offer to download Mono or Gecko, and no menu entries or icons
# written into the Linux desktop of the user who runs the test.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
echo_pid=""
cleanup() {
    if [ -n "$echo_pid" ]; then kill "$echo_pid" 2>/dev/null; wait "$echo_pid" 2>/dev/null; fi
    "$wineserver" -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # what, command...: the command's success is the check
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
        return 1
    fi
}
equal() {  # expected, actual
    [ "$1" = "$2" ] && return
    echo "  expected: $(printf '%q' "$1")"
    echo "  actual:   $(printf '%q' "$2")"
    return 1
}

fails() { ! "$@"; }
listing() { find "$1" -mindepth 1 -printf '%P\n' | sort; }

# Wine's programs end their lines with CR LF.
win() {
    timeout 120 "$wine" "$@" 2>>"$work/wine.err" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}
msiexec() {  # action, msi: msiexec's exit code is the function's
    local path
    path=$("$wine" winepath -w "$2" 2>/dev/null | tr -d '\r')
    timeout 300 "$wine" msiexec "$1" "$path" /qn >>"$work/msiexec.log" 2>&1
}
reg_value() {  # key, value name: the value's data
    win reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The keys of the programs' list named Tarvu, one a line.
entries() {
    win reg query "$uninstall_key" /s |
        awk '/^HKEY_/ { key = $0 } /^ *DisplayName +REG_SZ +Tarvu$/ { print key }'
}
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }

version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
higher=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
code=$(product_code "$msi")
drive_c=$WINEPREFIX/drive_c
installed=$drive_c/Program\ Files/Tarvu
cli='C:\Program Files\Tarvu\tarvu-cli.exe'
stage=$work/stage
# Ports of our own below the kernel's ephemeral range, apart from other suites beside this one.
read_port=$((20000 + ($$ % 1200) * 10 + 5))

mkdir "$WINEPREFIX"
"$wineserver" -p
"$wine" wineboot --init >/dev/null 2>&1
appdata=$(win cmd /c echo %APPDATA%)
appdata=$("$wine" winepath -u "$appdata" 2>/dev/null | tr -d '\r')

echo "== install $(basename "$msi")"
check "msiexec /i exits 0" msiexec /i "$msi"
# The files the MSI was made from are staged again to compare with what was installed.
if ! scripts/windows_msi.sh "$build" "$stage" "$work/same" >"$work/stage.log" 2>&1; then
    cat "$work/stage.log"
    echo "FAIL: staging the files again"
    exit 1
fi
files=(tarvu-cli.exe tarvu.lua README.txt)
[ -f "$stage/tarvu.exe" ] && files+=(tarvu.exe)
[ -f "$stage/LICENSE.txt" ] && files+=(LICENSE.txt)
[ -f "$stage/THIRD-PARTY-NOTICES.txt" ] && files+=(THIRD-PARTY-NOTICES.txt)
for f in "${files[@]}"; do
    check "$f installed as built" cmp -s "$stage/$f" "$installed/$f"
done
check "nothing else in Program Files\\Tarvu" \
    equal "$(printf '%s\n' "${files[@]}" | sort)" "$(listing "$installed")"

shortcuts() { find "$drive_c" -path '*/Start Menu/Programs/Tarvu.lnk' 2>/dev/null; }
if [ -f "$stage/tarvu.exe" ]; then
    # Wine puts a per-machine shortcut into the user's Start menu: both places count.
    check "one Start-menu shortcut Tarvu" equal 1 "$(shortcuts | wc -l)"
    check "the shortcut starts the installed tarvu.exe" \
        grep -qa 'Program Files\\Tarvu\\tarvu.exe' "$(shortcuts | head -n 1)"
else
    echo "shortcut: none, since this build has no tarvu.exe"
    check "no shortcut without the dialog" equal "" "$(shortcuts)"
fi

check "one entry Tarvu in the programs' list" equal "$uninstall_key\\$code" "$(entries)"
check "its version" equal "$version" "$(reg_value "$uninstall_key\\$code" DisplayVersion)"
check "its publisher" equal "The Tarvu developers" "$(reg_value "$uninstall_key\\$code" Publisher)"
# The list of programs shows the icon the installer registered with the product.
icon=$(win reg query 'HKLM\Software\Classes\Installer\Products' /s |
    sed -n 's/^ *ProductIcon *REG_SZ *//p' | grep -F "$code")
check "its icon is registered and installed" test -s "$("$wine" winepath -u "$icon" 2>/dev/null | tr -d '\r')"

echo "== the installed tarvu-cli.exe"
check "reports its version" equal "tarvu-cli $version" "$(win "$cli" --version)"
"$wine" "$cli" echo --listen 0 --count 2 >"$work/echo.out" 2>"$work/echo.err" &
echo_pid=$!
for _ in $(seq 100); do
    grep -q "listening" "$work/echo.err" 2>/dev/null && break
    sleep 0.1
done
peer=$(sed -n 's/.*listening on UDP port \([0-9]*\).*/\1/p' "$work/echo.err" | tr -d '\r')
trace=$(win "$cli" --to 127.0.0.1 --port "$peer" --listen "$read_port" --send "11 01 00 30 00" \
    --wait 1000)
check "exchanges with tarvu-cli.exe echo" grep -q -- "--> 11 01 00 30 00$" <<<"$trace"
check "keeps its settings in %APPDATA%\\tarvu" grep -qa "$read_port" "$appdata/tarvu/settings.ini"
check "writes nothing beside itself" test ! -e "$installed/settings.ini"

# A capture made on Windows, read on this side by tshark with the installed dissector.
capture=$drive_c/session.pcap
timeout 120 "$wine" "$cli" --to 127.0.0.1 --port "$peer" --listen "$read_port" --frame \
    --send "11 05 00 30 10 A6 C5 22 D1" --wait 1000 --pcap 'C:\session.pcap' >"$work/pcap.out" 2>&1
check "--pcap session exits 0" equal 0 "$?"
# tshark warns on standard error when run as root; that is no part of the decoding.
decoded=$(tshark -X lua_script:"$installed/tarvu.lua" -r "$capture" \
    -d "udp.port==$peer,tarvu" -T fields -e tarvu.device -e tarvu.code.name \
    2>"$work/tshark.err")
check "tshark decodes the capture with the dissector" \
    equal $'5\tca_SET_1\n5\tca_SET_1' "$decoded" || cat "$work/tshark.err"
wait "$echo_pid" 2>/dev/null
echo_pid=""

echo "== the same version again"
before=$(stat -c '%i %Y %Z' "$installed/tarvu-cli.exe")
check "msiexec /i of the same MSI exits 0" msiexec /i "$msi"
# A rebuild of the same version has the same product code: Windows refuses it (1638),
# Wine accepts it and does nothing; either way nothing may change.
msiexec /i "$work/same/$(basename "$msi")"
check "a rebuilt MSI of the same version has the same product code" \
    equal "$code" "$(product_code "$work/same/$(basename "$msi")")"
check "still one entry" equal "$uninstall_key\\$code" "$(entries)"
check "the installed files untouched" equal "$before" "$(stat -c '%i %Y %Z' "$installed/tarvu-cli.exe")"

echo "== upgrade to $higher, signed"
password='test pass "word" №1'
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Tarvu test signer" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1
TARVU_SIGN_PASSWORD=$password openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
    -out "$work/signer.pfx" -passout env:TARVU_SIGN_PASSWORD
cp "$stage/tarvu-cli.exe" "$work/unsigned.exe"
rm -rf "$stage"
if ! TARVU_SIGN_PFX=$work/signer.pfx TARVU_SIGN_PASSWORD=$password \
    scripts/windows_msi.sh "$build" "$stage" "$work/higher" "$higher" >"$work/sign.log" 2>&1; then
    cat "$work/sign.log"
    echo "FAIL: building and signing the MSI of $higher"
    exit 1
fi
new_msi=$work/higher/tarvu-$higher-x64.msi
new_code=$(product_code "$new_msi")
# With the test's certificate as the trusted root, verify checks everything but the time
# stamp: the file's digest against the signed one, the signature, and the chain.
verify() { osslsigncode verify -in "$1" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1; }
signed=("$stage/tarvu-cli.exe" "$new_msi")
[ -f "$stage/tarvu.exe" ] && signed+=("$stage/tarvu.exe")
for f in "${signed[@]}"; do
    check "$(basename "$f") is signed and verifies" verify "$f"
done
cp "$stage/tarvu-cli.exe" "$work/tampered.exe"
byte=$(od -An -tu1 -j 4096 -N 1 "$work/tampered.exe")
# shellcheck disable=SC2059 # the format is the changed byte
printf "\\$(printf %03o $(((byte + 1) % 256)))" |
    dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc status=none
check "a changed byte fails verification" fails verify "$work/tampered.exe"
# A certificate exported without a password, and none given.
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/open.pfx" -passout pass:
cp "$work/unsigned.exe" "$work/open.exe"
TARVU_SIGN_PFX=$work/open.pfx TARVU_SIGN_PASSWORD='' scripts/windows_sign.sh "$work/open.exe" \
    >"$work/open.log" 2>&1
check "a certificate without a password signs" verify "$work/open.exe"
# A time stamp asked for and not had fails the signing rather than leaving it out. No
# time-stamp server runs here, so only this side of the time stamp is tried.
cp "$work/unsigned.exe" "$work/stamped.exe"
sign_stamped() {
    TARVU_SIGN_PFX=$work/open.pfx TARVU_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ \
        scripts/windows_sign.sh "$work/stamped.exe" >"$work/stamped.log" 2>&1
}
check "an unreachable time-stamp server fails the signing" fails sign_stamped
check "and leaves the file unsigned" cmp -s "$work/unsigned.exe" "$work/stamped.exe"
if [ -z "${TARVU_SIGN_PFX:-}" ]; then
    check "the MSI built without a certificate carries no signature" fails verify "$msi"
fi

check "a higher version has another product code" test "$new_code" != "$code"
check "msiexec /i of $higher exits 0" msiexec /i "$new_msi"
check "one entry, the new one" equal "$uninstall_key\\$new_code" "$(entries)"
check "its version" equal "$higher" "$(reg_value "$uninstall_key\\$new_code" DisplayVersion)"
check "the installed tarvu-cli.exe is the signed one" verify "$installed/tarvu-cli.exe"
check "one copy of the files" \
    equal "$(printf '%s\n' "${files[@]}" | sort)" "$(listing "$installed")"
check "the settings kept" test -s "$appdata/tarvu/settings.ini"

check "the older version is refused" fails msiexec /i "$msi"
check "and changes nothing" equal "$uninstall_key\\$new_code" "$(entries)"

echo "== uninstall"
check "msiexec /x exits 0" msiexec /x "$new_msi"
check "no file of ours under Program Files" test ! -e "$installed"
check "no shortcut" equal "" "$(shortcuts)"
check "no entry in the programs' list" equal "" "$(entries)"
check "no icon of either version left" \
    test ! -e "$drive_c/windows/Installer/$code" -a ! -e "$drive_c/windows/Installer/$new_code"
check "%APPDATA%\\tarvu left alone" test -s "$appdata/tarvu/settings.ini"

echo "msi tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
