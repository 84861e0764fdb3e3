#!/bin/bash
# Host half of the board checks: boots the board twice on one erased flash, the guest
# running checks.sh (board/boot.sh checks), then wants a PASS in the boots' logs for
# every check of checks.list, and no FAIL or FAULT line.
#   checks-host.sh ARMV5_BUILD WORK
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../test-env.sh"
build=$1 work=$2
status=0
bash "$here/../../board/boot.sh" checks "$build" "$work" || status=$?
[ $status = 77 ] && unavailable "the board cannot boot here (above)"
logs=("$work/checks.log" "$work/persist.log")
fail=$status
grep -h '^FAIL\|^FAULT' "${logs[@]}" >&2 && fail=1
n=0
while IFS="$(printf '\t')" read -r id what; do
    case $id in '#'* | '') continue ;; esac
    n=$((n + 1))
    grep -qxF "PASS: $what" "${logs[@]}" || { echo "FAIL: no PASS for $id, '$what'" >&2; fail=1; }
done <"$here/checks.list"
[ "$fail" = 0 ] || exit 1
echo "PASS: all $n guest checks"
