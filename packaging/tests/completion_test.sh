#!/usr/bin/env bash
# What the bash completion of tarvu-cli offers at the places where it has to think.
# usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
completion=$1
here=$(cd "$(dirname "$0")" && pwd)
failures=0
# expect "<offered, one line>" WORD...: the offer, sorted, on one line.
expect() {
    local wanted=$1
    shift
    local got
    got=$("$here/complete.sh" "$completion" tarvu-cli "$@" | sort | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: tarvu-cli $* -> '$got', expected '$wanted'"
        failures=$((failures + 1))
    fi
}

expect "describe dissector" d

# Subcommands, and the next level under each.
expect "frame" fr
expect "decode encode" frame ""
expect "encrypt" gost en
expect "keygen" rsa ""
expect "install print" dissector ""
expect "--folder --help" dissector install --
expect "--help" describe --
expect "--count --help --listen" echo --
# A subcommand's own options, not the client's.
expect "--bits --exponent --help" rsa keygen --
expect "--help --key" gost encrypt --
# Values.
expect "3 65537" rsa keygen --exponent ""
expect "115200" --baud 11
expect "" --port ""
expect "" --gost-key ""
# A word that only looks like a subcommand after --send is still the client's.
expect "--frame" --send frame --fr

# --settings offers folders and .ini files (a Cyrillic name included).
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvu-complete-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/конвертеры"
touch "$scratch/объект.ini" "$scratch/notes.txt"
(cd "$scratch" && expect "конвертеры объект.ini" --settings "") || failures=$((failures + 1))

if [ $failures -gt 0 ]; then
    echo "$failures problem(s)"
    exit 1
fi
echo "completion offers what was expected"
