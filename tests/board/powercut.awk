# Verdict of the power cuts (powercut-host.sh, after board/boot.sh powercut) over the guest's logs, each lane's
# boots in order (cutN-BBB.log, tests/board/powercut.sh). A cut is judged against the
# boot before it: per series, the last version acknowledged (its save returned 0) and
# the one in flight. want: cuts each series needs; writeback: 1 where the file system
# keeps data nobody synced in RAM only.
FNR == 1 {
    if (FILENAME ~ /-000\.log$/) { delete acked; delete flight } # a new board
    delete pa; delete pf
    for (s in acked) pa[s] = acked[s]
    for (s in flight) pf[s] = flight[s]
}
/^@ / && $3 == "begin" { flight[$2] = $4 }
/^@ / && $3 == "end" { delete flight[$2]; if ($5 == "0") acked[$2] = $4 }
/^FAULT/ || /^FAIL/ { faults++ }
/^CUT mount failed/ { mounts++ }
/^CUT / && $2 != "mount" {
    s = $2; if (!cuts[s]) order[++n] = s; cuts[s]++
    delete f
    for (i = 3; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
    if (s in pf) inside[s]++
    if (f["found"] == "torn") torn[s]++
    if (f["found"] != pa[s] && !(s in pf && f["found"] == pf[s])) lost[s]++
    if (f["left"] > 0) left[s]++
    if (f["next"] != "0" && f["found"] != "torn") nextfail[s]++
    if (f["after"] > 0) after[s]++
}
END {
    printf "%-12s %5s %7s %5s %5s %10s %12s %11s\n", "series", "cuts", "inside", "torn",
           "lost", "temp-left", "next-failed", "temp-after"
    for (k = 1; k <= n; k++) {
        s = order[k]
        printf "%-12s %5d %7d %5d %5d %10d %12d %11d\n", s, cuts[s], inside[s], torn[s], lost[s],
               left[s], nextfail[s], after[s]
        if (cuts[s] < want) bad = bad s ": fewer than " want " cuts\n"
        if (inside[s] * 2 < cuts[s]) bad = bad s ": under half the cuts inside a save\n"
        if (s ~ /-root$/ && lost[s]) bad = bad s ": acknowledged saves lost or torn\n"
        if (nextfail[s] || after[s]) bad = bad s ": a restore after a cut failed or left a temporary file\n"
    }
    if (!torn["text-cat"]) bad = bad "text-cat: no torn profile, the test cannot see them\n"
    if (writeback && !lost["text-cpmv"])
        bad = bad "text-cpmv: no save without fsync lost, the test cannot see a missing fsync\n"
    if (mounts) bad = bad "the flash failed to mount " mounts " times\n"
    if (faults) bad = bad "a check or the kernel failed\n"
    printf "%s", bad
    exit bad != ""
}
