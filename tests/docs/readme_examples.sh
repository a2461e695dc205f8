#!/usr/bin/env bash
# Runs the examples of a Markdown page (the README) that run on this machine alone and checks
# that they print what the page shows.
# usage: readme_examples.sh PAGE BUILD_DIR
#
# An example is the indented block that follows a marker line (blank lines between are fine):
#   <!-- example -->              lines starting with "$ " are commands (a trailing "\" continues
#                                 one), run in order in a scratch folder; the lines after a
#                                 command are what it prints, standard output and error together;
#                                 it must end with exit status 0 within 60 s
#   <!-- example: background -->  the same, but each command is a peer that keeps running until
#                                 every example has run; its lines must show within 10 s
#   <!-- example: file NAME -->   the block is the content of NAME, made by an earlier example
# The shown lines must come in the output in their order; other lines may come between them.
# Runs of blanks count as one blank. What changes from run to run may differ: clock times,
# dates, time zones, reply times ("reply=347ms", the reply figures) and tshark's seconds. The
# page's UDP ports 10001 and 10002 become two ports of the test's own, so that the examples run
# beside other tests. The programs are copies of the build's tarvu-cli and tarvu in the scratch
# folder, first on PATH, so they keep their settings there; "build/" there is the build folder.
# A command whose program is not installed is skipped with a note.
set -uo pipefail

page=$1
build=$(cd "$2" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvu-examples-XXXXXX")
peers=()
cleanup() {
    local pid
    for pid in "${peers[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
examples=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

mkdir "$scratch/bin" "$scratch/run"
cp "$build/app/cli/tarvu-cli" "$scratch/bin/"
if [ -x "$build/app/gui/tarvu" ]; then
    cp "$build/app/gui/tarvu" "$scratch/bin/"
fi
ln -s "$build" "$scratch/run/build"
export PATH="$scratch/bin:$PATH"
unset XDG_CONFIG_HOME
export HOME="$scratch/home"

# Ports of the test's own below the kernel's ephemeral range, apart from the dissector test's.
base=$((30000 + ($$ % 270) * 10))
ports() {
    sed -E "s/\\b10001\\b/$base/g; s/\\b10002\\b/$((base + 1))/g"
}

# first_missing SHOWN ACTUAL: prints the first line of the file SHOWN that matches no line of
# the file ACTUAL after the lines matched before it; nothing when all match.
first_missing() {
    perl -e '
        sub norm { my $l = shift; $l =~ s/\s+/ /g; $l =~ s/^ | $//g; return $l; }
        # Clock times, dates, zones, reply times and figures, tshark seconds.
        my $volatile = qr/\d{4}-\d\d-\d\d|\d\d:\d\d:\d\d(?:\.\d{3})?|[+-]\d{4}\b|reply=\d+ms|(?:min|median|max) \d+|\b\d+\.\d{6}\b/;
        sub pattern {
            my ($line, $re) = (shift, "");
            while ($line =~ /($volatile)/) {
                my ($before, $match) = ($`, $1);
                $line = $'"'"';
                (my $generic = quotemeta $match) =~ s/\d+/\\d+/g;
                $generic =~ s/\\[+-]/[+-]/;
                $re .= quotemeta($before) . $generic;
            }
            return qr/^$re\Q$line\E$/;
        }
        open my $s, "<", $ARGV[0] or die; open my $a, "<", $ARGV[1] or die;
        my @actual = map { norm($_) } <$a>;
        my $at = 0;
        for my $shown (<$s>) {
            next if norm($shown) eq "";
            my $want = pattern(norm($shown));
            $at++ while $at < @actual && $actual[$at] !~ $want;
            if ($at == @actual) { print norm($shown); exit 0; }
            $at++;
        }' "$1" "$2"
}

# expect_lines WHAT SHOWN ACTUAL: every line of the file SHOWN matches a line of the file
# ACTUAL, in order.
expect_lines() {
    local what=$1 shown=$2 actual=$3
    local missing
    missing=$(first_missing "$shown" "$actual")
    if [ -n "$missing" ]; then
        fail "$what: no line like: $missing"
        echo "  it printed:"
        sed 's/^/    /' "$actual"
        return 1
    fi
    return 0
}

# run_command MODE COMMAND SHOWN_FILE
run_command() {
    local mode=$1 command=$2 shown=$3
    local program=${command%% *}
    if ! command -v "$program" >/dev/null; then
        echo "skipped (no $program): $command"
        return
    fi
    examples=$((examples + 1))
    local out="$scratch/out.$examples"
    echo "\$ $command"
    if [ "$mode" = background ]; then
        (cd "$scratch/run" && eval "exec $command") >"$out" 2>&1 &
        peers+=($!)
        local waited=0
        until [ -z "$(first_missing "$shown" "$out")" ]; do
            if [ $waited -ge 100 ]; then
                expect_lines "$command" "$shown" "$out"
                return
            fi
            sleep 0.1
            waited=$((waited + 1))
        done
        return
    fi
    (cd "$scratch/run" && eval "timeout 60 $command") >"$out" 2>&1
    local status=$?
    if [ $status -ne 0 ]; then
        fail "$command: exit status $status"
        sed 's/^/    /' "$out"
        return
    fi
    expect_lines "$command" "$shown" "$out"
}

# run_block MODE BLOCK_FILE: the commands of one block, each with the lines shown after it.
run_block() {
    local mode=$1 block=$2
    local command="" shown="$scratch/shown"
    : >"$shown"
    local line
    while IFS= read -r line; do
        if [[ $command == *'\' ]]; then
            command="${command%'\'}${line#"${line%%[![:space:]]*}"}"
        elif [[ $line == '$ '* ]]; then
            if [ -n "$command" ]; then
                run_command "$mode" "$command" "$shown"
                : >"$shown"
            fi
            command=${line#'$ '}
        elif [ -n "$command" ]; then
            printf '%s\n' "$line" >>"$shown"
        fi
    done <"$block"
    if [ -n "$command" ]; then
        run_command "$mode" "$command" "$shown"
    fi
}

# The marked blocks, in page order: a line with the marker's word ("run", "background" or
# "file NAME"), the block without its four-space indent, and a line "<end>".
blocks=$(awk '
    /^<!-- example(: [^>]*)? -->$/ {
        if (inside) print "<end>"
        mode = $0; sub(/^<!-- example(: )?/, "", mode); sub(/ -->$/, "", mode)
        if (mode == "") mode = "run"
        pending = 1; inside = 0; blanks = 0; next
    }
    pending && /^    / {
        if (!inside) { print mode; inside = 1 }
        for (; blanks > 0; blanks--) print ""
        print substr($0, 5); next
    }
    pending && /^$/ { if (inside) blanks++; next }
    pending { if (inside) print "<end>"; pending = 0; inside = 0 }
    END { if (inside) print "<end>" }
' "$page" | ports)

block="$scratch/block"
mode=""
while IFS= read -r line; do
    if [ -z "$mode" ]; then
        mode=$line
        : >"$block"
    elif [ "$line" = "<end>" ]; then
        case $mode in
        run | background) run_block "$mode" "$block" ;;
        file\ *)
            name=${mode#file }
            examples=$((examples + 1))
            echo "file $name"
            if [ -f "$scratch/run/$name" ]; then
                expect_lines "file $name" "$block" "$scratch/run/$name"
            else
                fail "file $name: not made by the examples before it"
            fi
            ;;
        *) fail "unknown example marker: $mode" ;;
        esac
        mode=""
    else
        printf '%s\n' "$line" >>"$block"
    fi
done <<<"$blocks"

if [ $examples -eq 0 ]; then
    fail "no examples found in $page"
fi
if [ $failures -gt 0 ]; then
    echo "$failures of $examples examples failed"
    exit 1
fi
echo "$examples examples behaved as $page shows"
