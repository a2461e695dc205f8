#!/usr/bin/env bash
# Checks that the manual page and the bash completion name exactly the options that the
# programs' --help lists, and that --version and the page carry the build's version (and
# --version the licence).
# usage: help_in_docs.sh VERSION TARVU_CLI MAN_PAGE_CLI COMPLETION [TARVU MAN_PAGE_GUI]
set -uo pipefail
version=$1 cli=$2 cli_page=$3 completion=$4 gui=${5:-} gui_page=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Long options in a help text: "--name" at the start of an option line.
help_options() {
    grep -oE '^ +(-[a-zA-Z], ?)?--[a-z][a-z0-9-]*' | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}
# Long options in a manual page source, where a dash is written \-; cmake's own are not ours.
page_options() {
    sed 's/\\-/-/g; s/cmake --install//g' "$1" | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}

# Every command path of tarvu-cli, found from the help texts themselves.
paths=("")
queue=("")
while [ ${#queue[@]} -gt 0 ]; do
    path=${queue[0]}
    queue=("${queue[@]:1}")
    # shellcheck disable=SC2086
    subs=$("$cli" $path --help | sed -n '/^Subcommands:/,/^$/p' | grep -oE '^  [a-z]+' | tr -d ' ')
    for sub in $subs; do
        paths+=("${path:+$path }$sub")
        queue+=("${path:+$path }$sub")
    done
done

all_help=$(mktemp)
trap 'rm -f "$all_help"' EXIT
for path in "${paths[@]}"; do
    # A subcommand's help ends with examples of its own, not the client's text.
    if [ -n "$path" ]; then
        # shellcheck disable=SC2086
        help=$("$cli" $path --help)
        grep -q "^  tarvu-cli $path" <<<"$help" || fail "tarvu-cli $path --help shows no example of its own"
        grep -q "Without a subcommand" <<<"$help" && fail "tarvu-cli $path --help ends with the client's text"
    fi
    # shellcheck disable=SC2086
    options=$("$cli" $path --help | help_options)
    echo "$options" >>"$all_help"
    # The completion offers each path's own options after "--".
    # shellcheck disable=SC2086
    offered=$("$here/complete.sh" "$completion" tarvu-cli $path --) || fail "completion failed"
    for option in $options; do
        grep -qxF -- "$option" <<<"$offered" ||
            fail "tarvu-cli ${path:+$path }$option is not completed by $(basename "$completion")"
    done
    for option in $offered; do
        grep -qxF -- "$option" <<<"$options" ||
            fail "$(basename "$completion") completes tarvu-cli ${path:+$path }$option, which its --help does not know"
    done
done
sort -u -o "$all_help" "$all_help"

while read -r option; do
    if ! page_options "$cli_page" | grep -qxF -- "$option"; then
        fail "tarvu-cli $option is missing from $(basename "$cli_page")"
    fi
done <"$all_help"
for option in $(page_options "$cli_page"); do
    if ! grep -qxF -- "$option" "$all_help"; then
        fail "$(basename "$cli_page") names $option, which tarvu-cli --help does not know"
    fi
done

# --version: the version on its own first line, then the copyright and the licence.
check_version() {  # program name, its --version output
    [ "$(head -n 1 <<<"$2")" = "$1 $version" ] || fail "$1 --version says '$2'"
    grep -q "^Copyright (c) 2026 The Tarvu developers$" <<<"$2" || fail "$1 --version: no copyright"
    grep -q "MIT licence" <<<"$2" || fail "$1 --version names no licence"
}
check_version tarvu-cli "$("$cli" --version)"
grep -q "^\.TH .*\"tarvu $version\"" "$cli_page" || fail "$(basename "$cli_page") is not for version $version"

if [ -n "$gui" ]; then
    gui_help=$(QT_QPA_PLATFORM=offscreen "$gui" --help | help_options)
    for option in $gui_help; do
        page_options "$gui_page" | grep -qxF -- "$option" || fail "tarvu $option is missing from $(basename "$gui_page")"
    done
    for option in $(page_options "$gui_page"); do
        # The dialog's page also names tarvu-cli's echo peer in its example.
        grep -qxF -- "$option" <<<"$gui_help" || grep -qxF -- "$option" "$all_help" ||
            fail "$(basename "$gui_page") names $option, which tarvu --help does not know"
    done
    check_version tarvu "$(QT_QPA_PLATFORM=offscreen "$gui" --version)"
    # Help, the version and usage errors need no display: the command line is read before it.
    nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
    "${nodisplay[@]}" "$gui" --bogus >/dev/null 2>&1
    status=$?
    [ $status -eq 2 ] || fail "tarvu --bogus without a display ends with $status, not the usage error 2"
    "${nodisplay[@]}" "$gui" --help-all 2>&1 | grep -q -- '^  -platform <' ||
        fail "tarvu --help-all does not list Qt's own options"
    [ "$("${nodisplay[@]}" "$gui" -platform offscreen --version 2>&1 | head -n 1)" = "tarvu $version" ] ||
        fail "tarvu -platform offscreen --version does not print the version"
    grep -q "^\.TH .*\"tarvu $version\"" "$gui_page" || fail "$(basename "$gui_page") is not for version $version"
fi

if [ $failures -gt 0 ]; then
    echo "$failures problem(s)"
    exit 1
fi
echo "help, manual pages and completion agree (${#paths[@]} command paths)"
