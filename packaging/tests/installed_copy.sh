#!/usr/bin/env bash
# Installs the build into a scratch prefix with `cmake --install` and checks where the
# installed tarvu-cli keeps its settings (the configuration folder, never beside itself, not
# even as the superuser), against a copy in a folder of its own (beside itself).
# usage: installed_copy.sh BUILD_DIR APP_ID
set -uo pipefail
build=$1 app_id=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvu-installed-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

expect_file() {
    [ -f "$prefix/$1" ] || fail "not installed: $1"
}
expect_file bin/tarvu-cli
expect_file share/tarvu/installed
expect_file share/man/man1/tarvu-cli.1.gz
expect_file share/bash-completion/completions/tarvu-cli
[ -n "$(find "$prefix" -name tarvu.lua)" ] || fail "not installed: the dissector tarvu.lua"
if [ -f "$build/app/gui/tarvu" ]; then
    expect_file bin/tarvu
    expect_file share/man/man1/tarvu.1.gz
    expect_file "share/applications/$app_id.desktop"
    expect_file "share/icons/hicolor/scalable/apps/$app_id.svg"
    expect_file "share/metainfo/$app_id.metainfo.xml"
fi

# A frame encode from a command that writes no settings.
[ "$("$prefix/bin/tarvu-cli" frame encode 7E)" = "7E 7D 3E 7F" ] || fail "installed frame encode"

# One client session without a peer: start-up writes the defaults, the closing sequence saves.
session() {
    local program=$1 home=$2
    shift 2
    env -u XDG_CONFIG_HOME HOME="$home" "$@" "$program" --to 127.0.0.1 --port 9 --listen 0 --wait 0 >/dev/null 2>&1
}
home=$scratch/home
mkdir -p "$home"
session "$prefix/bin/tarvu-cli" "$home" || fail "installed tarvu-cli session failed"
[ -f "$home/.config/tarvu/settings.ini" ] || fail "installed copy: no ~/.config/tarvu/settings.ini"
[ ! -e "$prefix/bin/settings.ini" ] || fail "installed copy wrote beside itself"
ls -A "$prefix/bin" | grep -qv '^tarvu' && fail "installed copy left files in its folder: $(ls -A "$prefix/bin")"

# XDG_CONFIG_HOME, when absolute, takes the place of ~/.config.
session "$prefix/bin/tarvu-cli" "$home" XDG_CONFIG_HOME="$scratch/xdg" || fail "session with XDG_CONFIG_HOME failed"
[ -f "$scratch/xdg/tarvu/settings.ini" ] || fail "installed copy ignored XDG_CONFIG_HOME"

# A copy in a folder of its own keeps its file beside it.
mkdir -p "$scratch/portable"
cp "$prefix/bin/tarvu-cli" "$scratch/portable/"
session "$scratch/portable/tarvu-cli" "$scratch/home2" || fail "portable tarvu-cli session failed"
[ -f "$scratch/portable/settings.ini" ] || fail "portable copy: no settings.ini beside it"
[ ! -e "$scratch/home2/.config/tarvu/settings.ini" ] || fail "portable copy wrote to the configuration folder"

if [ $failures -gt 0 ]; then
    echo "$failures problem(s)"
    exit 1
fi
echo "installed copy uses the configuration folder; portable copy keeps its file beside it"
