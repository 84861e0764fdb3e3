#!/bin/bash
# Host half of the power cuts: cuts the board's power while the guest half (powercut.sh)
# saves profiles (board/boot.sh powercut), then reads the CUT lines in which each boot
# said what the cut before it left, series by series, prints a table and judges it.
#   powercut-host.sh ARMV5_BUILD WORK    (env: POWERCUT_CUTS, POWERCUT_SEED, POWERCUT_LANES)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../test-env.sh"
build=$1 work=$2
export POWERCUT_CUTS=${POWERCUT_CUTS:-60}
status=0
bash "$here/../../board/boot.sh" powercut "$build" "$work" || status=$?
[ $status = 77 ] && unavailable "the board cannot boot here (above)"
[ $status = 0 ] || fail "the power cuts did not run (status $status)"
# A cut landed inside a save when the series' last marker before it was "begin".
awk '
    FNR == 1 { delete prev; for (s in last) prev[s] = last[s]; delete last }
    /^@ / { last[$2] = $3 }
    /^FAULT/ || /^FAIL/ { faults++ }
    /^CUT mount failed/ { mounts++ }
    /^CUT / && $2 != "mount" {
        s = $2; if (!cuts[s]) order[++n] = s; cuts[s]++
        if (prev[s] == "begin") inside[s]++
        for (i = 3; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
        if (f["profile"] == "torn") torn[s]++
        if (f["left"] > 0) left[s]++
        if (f["next"] != "0" && f["profile"] != "torn") nextfail[s]++
        if (f["after"] > 0) after[s]++
    }
    END {
        printf "%-12s %5s %7s %5s %7s %11s %13s %11s\n", "series", "cuts", "inside", "torn",
               "mount", "temp-left", "next-failed", "temp-after"
        for (k = 1; k <= n; k++) {
            s = order[k]
            printf "%-12s %5d %7d %5d %7d %11d %13d %11d\n", s, cuts[s], inside[s], torn[s],
                   mounts, left[s], nextfail[s], after[s]
            if (cuts[s] < want) bad = bad s ": fewer than " want " cuts\n"
            if (inside[s] * 2 < cuts[s]) bad = bad s ": under half the cuts inside a save\n"
            if (s ~ /-root$/ && torn[s]) bad = bad s ": torn profiles\n"
            if (nextfail[s] || after[s]) bad = bad s ": a restore after a cut failed or left a temporary file\n"
        }
        if (!torn["text-cat"]) bad = bad "text-cat: no torn profile, the test cannot see them\n"
        if (mounts) bad = bad "the flash failed to mount\n"
        if (faults) bad = bad "a check or the kernel failed\n"
        printf "%s", bad
        exit bad != ""
    }' want="$POWERCUT_CUTS" $(ls "$work"/cut*.log | sort) || exit 1
echo "PASS: power cuts"
