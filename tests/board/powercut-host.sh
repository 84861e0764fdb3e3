#!/bin/bash
# Host half of the power cuts: cuts the board's power while the guest half (powercut.sh)
# saves profiles (board/boot.sh powercut), then judges the CUT lines in which each boot
# said what the cut before it left (powercut.awk, which prints the table).
#   powercut-host.sh ARMV5_BUILD WORK
#   env: POWERCUT_CUTS, POWERCUT_SEED, POWERCUT_LANES, BOARD_FS, as board/boot.sh reads them
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../test-env.sh"
build=$1 work=$2 fs=${BOARD_FS:-jffs2}
export POWERCUT_CUTS=${POWERCUT_CUTS:-60}
status=0
bash "$here/../../board/boot.sh" powercut "$build" "$work" || status=$?
[ $status = 77 ] && unavailable "the board cannot boot here (above)"
[ $status = 0 ] || fail "the power cuts did not run (status $status)"
# A write-back file system keeps a save without fsync in RAM only: the series that
# saves so must lose some, or the test could not see a missing fsync.
writeback=0
[ "$fs" = jffs2 ] || writeback=1
awk -f "$here/powercut.awk" -v want="$POWERCUT_CUTS" -v writeback=$writeback \
    $(ls "$work"/cut*.log | sort) || exit 1
echo "PASS: power cuts on $fs"
