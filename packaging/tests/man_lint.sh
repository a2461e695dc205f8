#!/usr/bin/env bash
# Formats manual pages with every groff warning on; any warning is a failure (groff itself
# exits 0 on warnings).
# usage: man_lint.sh PAGE...
set -uo pipefail
status=0
for page in "$@"; do
    # -k reads the page as UTF-8 (the Russian texts), -ww turns on every warning.
    warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "FAIL: $page"
        echo "$warnings"
        status=1
    fi
done
exit $status
