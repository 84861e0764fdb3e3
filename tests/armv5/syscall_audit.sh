#!/bin/bash
# Runs every end-to-end case of one program (BIN, under the emulator LAUNCHER) with the
# emulator's system call trace and fails on any call the device's kernel does not have.
#   syscall_audit.sh PROGRAM CASES_DIR RUN_CASE SYSCALL_HEADER SYSCALLS_TXT
# SYSCALL_HEADER is the C library's own list of ARM EABI call numbers (#define __NR_x N).
set -u
. "$(dirname "$0")/../test-env.sh"
program=$1 cases=$2 run_case=$3 header=$4 table=$5
: "${BIN:?BIN must name the program}" "${LAUNCHER:?LAUNCHER must name the emulator}"

command -v "${LAUNCHER%% *}" >/dev/null || unavailable "${LAUNCHER%% *} is not installed"

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
chmod 1777 "$logs" # cases that run as another user write their trace here too
ran=0 skipped=0 fail=0
shopt -s nullglob
# The case folders, and the rows of CASES_DIR.rows laid out as folders. A case that
# closes descriptors is left out: the emulator's trace log would take one.
while read -r name; do
    bash "$run_case" "$cases.rows" "$name" "$logs/rows/$name" || fail=1
done < <(sed -n 's/^name: //p' "$cases.rows" 2>/dev/null)
for dir in "$cases"/*/ "$logs"/rows/*/; do
    name=$(basename "$dir")
    [ -f "$dir/closed" ] && continue
    LAUNCHER="$LAUNCHER -strace -D $logs/$name.log" bash "$run_case" "$dir" >"$logs/$name.out"
    case $? in
        0) ran=$((ran + 1)) ;;
        77) skipped=$((skipped + 1)) ;;
        *) echo "FAIL: case $name under trace:"; cat "$logs/$name.out"; fail=1 ;;
    esac
done
if [ $ran = 0 ] && [ $fail = 0 ]; then
    # Cases there but none run is a broken environment; no cases yet is nothing to audit.
    [ $skipped = 0 ] && { echo "SKIP: no case of $program to trace"; exit 77; }
    unavailable "all $skipped cases of $program skipped"
fi

# Every call made, with its number from the header; both outcomes must have been seen.
cat "$logs"/*.log >"$logs/all" 2>/dev/null
perl -e '
    my ($header, $table, $program, $all) = @ARGV;
    my (%nr, %fallback, @seen, $last);
    open(my $h, "<", $header) or die "$header: $!";
    while (<$h>) { $nr{$1} = $2 if /^#define\s+__NR_(\w+)\s+(\d+)/; }
    open(my $t, "<", $table) or die "$table: $!";
    while (<$t>) {
        next if /^\s*(#|$)/;
        my @f = split;
        if ($f[0] eq "last") { $last = $f[1]; }
        elsif ($f[0] eq "fallback") { $fallback{$f[1]} = 1; }
        elsif ($f[0] eq "seen") { push @seen, $f[2] if $f[1] eq $program; }
        else { die "$table: bad line: $_"; }
    }
    defined $last or die "$table: no last line\n";
    my (%calls, %exits);
    open(my $a, "<", $all) or die;
    while (<$a>) {
        $exits{$1 ? "failing" : "successful"}++ if /^\d+ exit_group\((\d+)\)/;
        if (/^\d+ (\w+)\(/) { $calls{$1}++; }
        elsif (/Unknown syscall (\d+)/) { $calls{"#$1"}++; }
    }
    my $bad = 0;
    for my $c (sort keys %calls) {
        my $n = $c =~ /^#(\d+)$/ ? $1 : $nr{$c};
        my $verdict = !defined $n ? "BAD (no ARM EABI number)"
                    : $n <= $last ? "ok"
                    : $fallback{$c} ? "ok (falls back on ENOSYS)"
                    : "BAD (not in the device kernel)";
        $bad = 1 if $verdict =~ /^BAD/;
        printf "%-20s %6s  %5d calls  %s\n", $c, $n // "?", $calls{$c}, $verdict;
    }
    for my $e (grep { !$exits{$_} } "successful", "failing") {
        print "BAD: no $e run of $program was traced\n"; $bad = 1;
    }
    for my $s (grep { !$calls{$_} } @seen) {
        print "BAD: $program never made $s: the trace did not see it work\n"; $bad = 1;
    }
    exit $bad;' "$header" "$table" "$program" "$logs/all" || fail=1
echo "$ran cases traced, $skipped skipped"
[ $fail = 0 ] && echo "PASS: $program makes only system calls the device has"
exit $fail
