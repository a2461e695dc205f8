#!/usr/bin/env bash
# Formats manual pages with every groff warning on; any warning is a failure.
# usage: man_lint.sh PAGE...
set -uo pipefail
status=0
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "FAIL: $page"
        echo "$warnings"
        status=1
    fi
done
exit $status
