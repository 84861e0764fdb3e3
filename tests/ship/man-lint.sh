#!/bin/bash
# man-lint.sh PAGE...: every manual page passes mandoc's lint with nothing to say.
set -euo pipefail
. "$(dirname "$0")/../test-env.sh"
command -v mandoc >/dev/null || unavailable "mandoc is not installed"
status=0
for page in "$@"; do
    [ -s "$page" ] || fail "no manual page $page"
    if ! out=$(mandoc -T lint -W style "$page" 2>&1) || [ -n "$out" ]; then
        printf '%s\n' "$out"
        echo "FAIL: mandoc -T lint $page" >&2
        status=1
    else
        echo "PASS: $page"
    fi
done
exit $status
