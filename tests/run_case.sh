#!/bin/bash
# Runs one end-to-end case folder against a program and compares everything it did.
#   BIN       the program under test
#   LAUNCHER  optional prefix command (an emulator such as "qemu-arm -cpu arm926")
# A case folder holds:
#   args      the arguments, one per line (an empty line is an empty argument)
#   in/       files copied into a fresh work directory, the program's current directory
#   setup     optional bash run in the work directory before the program (modes, links)
#   tmpfs     optional size: the work directory is a tmpfs of that size in a private
#             mount namespace (root only); setup may fill it, a file ".fill" is ignored
#   stdout, stderr   expected output (absent: empty); "PROG" stands for BIN, and a line
#             "<libc-diagnostic>" in stderr matches whatever one line the C library prints
#   stdout-to optional: a device for the program's standard output (stdout then expects
#             nothing), or "|COMMAND": a pipe into COMMAND, whose output stdout expects
#   status    expected exit status (absent: 0)
#   out/      the files the run changes or makes, as they are afterwards; the work directory
#             must then hold exactly in/ with out/ laid over it
#   removed   optional names (one a line) of files of in/ that the run removes
#   verify    optional bash run in the work directory afterwards; must exit 0
#   closed    optional descriptors among 0, 1 and 2 (one line) that the program starts
#             with closed, as an init script's "2>&-" leaves them
#   root      optional, empty: the case needs root (a loop device, say)
#   user      optional user name: the program runs as that user (root only)
#   slow      optional strace option (inject=CALLS:delay_exit=MICROSECONDS, or an error):
#             the program runs under strace with it, to hold it inside a window. It acts
#             only on calls on the case's files, through their descriptors or the
#             directory's: the work directory, what setup left in it, the files the
#             arguments name, /dev/mem and the standard output; never an emulator's own
#   traced    optional extended regular expressions, one a line, each of which a line of
#             slow's trace must match (slow "trace=openat" shows the calls that open)
#   during    optional bash run in the work directory while the program runs (to act
#             inside the window that slow opens); must exit 0. Its standard input reaches
#             end of file once the program has ended: "read -t 0" tells whether it has,
#             and a plain read waits for it; it has no time limit but the case's own
#   mem       words "OFFSET VALUE" (hex) of a sparse 4 GiB + 4 KiB memory image that the
#             program sees as /dev/mem, in a private /dev holding only null, zero, full,
#             random and urandom besides (mount namespace, root only); the single word
#             "absent" leaves /dev/mem out, a line "size SIZE" (hex) makes it shorter
#   mem-after the words the image must hold afterwards, and no other non-zero word
#             (absent: exactly mem)
# Cases may also be rows: "run_case.sh ROWS NAME" lays out the row named NAME of a rows
# file (the format of tests/rows.h, each row starting with "name: NAME") as a case folder
# and runs that; each key is one of the files above, a key on several lines a file of
# several lines, each ending in a line feed.
set -u
. "$(dirname "$0")/test-env.sh"
if [ $# = 2 ]; then
    rows_dir=$(mktemp -d) && trap 'rm -rf "$rows_dir"' EXIT && mkdir "$rows_dir/$2" || exit 2
    perl -ne '
        BEGIN {
            ($rows, $name, $dir) = (shift, shift, shift);
            %known = map { $_ => 1 } qw(args setup tmpfs stdout stderr stdout-to status removed
                verify closed root user slow traced during mem mem-after);
            %escape = (n => "\n", t => "\t", r => "\r", v => "\x0b", f => "\f", "\"" => "\"",
                "\\" => "\\");
        }
        chomp;
        undef $row if $_ eq "";
        next if /^(#|$)/;
        my ($key, $value) = /^([a-z-]+):(?: (\S(?:.*\S)?))?$/ && !/[[:cntrl:]]/ ? ($1, $2 // "")
            : die "$rows:$.: not `key: value`, blanks at the ends and control characters escaped\n";
        $value =~ s{\\(?:x([0-9a-fA-F]{2})|\{(\d+)\*(.)\}|(.))}{defined $1 ? chr hex $1
            : defined $2 ? $3 x $2 : $escape{$4} // die "$rows:$.: a bad escape\n"}ge;
        if (!defined $row) {
            $key eq "name" && !$seen{$value}++ or die "$rows:$.: a row starts with a new name\n";
            $row = $value;
        } elsif (!$known{$key}) {
            die "$rows:$.: no key of the runner: $key\n";
        } elsif ($row eq $name) {
            open(OUT, ">>", "$dir/$key") && print OUT "$value\n" and close OUT or die "$dir/$key: $!\n";
        }
        END { $seen{$name} or die "$rows: no row $name\n" }' "$1" "$2" "$rows_dir/$2" "$1" || exit 2
    bash "$0" "$rows_dir/$2"
    exit
fi
case_dir=$(cd "$1" && pwd) || exit 2
: "${BIN:?BIN must name the program}" "${LAUNCHER:=}"

for needs_root in tmpfs mem user root; do
    [ -f "$case_dir/$needs_root" ] && { [ "$(id -u)" = 0 ] || unavailable "needs root"; }
done
if { [ -f "$case_dir/tmpfs" ] || [ -f "$case_dir/mem" ]; } && [ -z "${RUN_CASE_NS:-}" ]; then
    RUN_CASE_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'umount -R "$work/dev" "$work/run" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/run"
if [ -f "$case_dir/tmpfs" ]; then
    mount -t tmpfs -o "size=$(cat "$case_dir/tmpfs")" casefs "$work/run" || exit 1
fi
mem_image=$(dirname "$0")/mem_image.pl mem_words=
[ -f "$case_dir/mem" ] && [ "$(cat "$case_dir/mem")" != absent ] && mem_words=$case_dir/mem
if [ -f "$case_dir/mem" ]; then
    # Built aside, then moved over /dev whole, so no host node ever sits in $work.
    mkdir "$work/dev" && mount -t tmpfs -o size=64m casedev "$work/dev" || exit 1
    for node in null zero full random urandom; do
        : >"$work/dev/$node" && mount --bind "/dev/$node" "$work/dev/$node" || exit 1
    done
    ln -s /proc/self/fd "$work/dev/fd"
    if [ -n "$mem_words" ]; then
        perl "$mem_image" make "$work/dev/mem" "$mem_words" || { echo "FAIL: mem"; exit 1; }
    fi
    mount --move "$work/dev" /dev || exit 1
fi
[ -d "$case_dir/in" ] && cp -a "$case_dir/in/." "$work/run/"
if [ -f "$case_dir/setup" ]; then
    (cd "$work/run" && bash "$case_dir/setup") || { echo "FAIL: setup"; exit 1; }
fi

args=()
[ -f "$case_dir/args" ] && mapfile -t args <"$case_dir/args"
as_user=()
if [ -f "$case_dir/user" ]; then
    user=$(cat "$case_dir/user")
    as_user=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
    chmod 711 "$work"
fi
tracer=()
if [ -f "$case_dir/slow" ]; then
    command -v strace >/dev/null || unavailable "needs strace"
    # Paths, not calls: an emulator reads and stats its own files with the same calls.
    # strace matches a call by its descriptors' paths, which are canonical.
    trace=/dev/null
    [ ! -f "$case_dir/traced" ] || trace=$work/trace
    tracer=(strace -f -qq -o "$trace" -e "$(cat "$case_dir/slow")")
    : >"$work/stdout"
    for f in "$work/run" "$work/stdout" /dev/mem "$work/run"/* "$work/run"/.[!.]* "${args[@]}"; do
        f=$(cd "$work/run" && [ -e "$f" ] && realpath -- "$f") && tracer+=(-P "$f")
    done
    # LeakSanitizer cannot work under ptrace; the other sanitizers still do.
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
fi
during=
exec {ended}>/dev/null
if [ -f "$case_dir/during" ]; then
    mkfifo "$work/ended"
    (cd "$work/run" && exec bash "$case_dir/during" <"$work/ended") &
    during=$!
    exec {ended}>"$work/ended"
fi
closed=
[ -f "$case_dir/closed" ] && closed=$(cat "$case_dir/closed")
[[ $closed =~ ^[012\ ]*$ ]] || { echo "FAIL: closed names descriptors 0 to 2 only"; exit 1; }
run() {
    # shellcheck disable=SC2086 # LAUNCHER is a command prefix, split on purpose
    (cd "$work/run" && exec 2>"$work/stderr" </dev/null {ended}>&- &&
        for fd in $closed; do eval "exec $fd>&-"; done &&
        exec "${as_user[@]}" "${tracer[@]}" $LAUNCHER "$BIN" "${args[@]}")
}
stdout_to=
[ -f "$case_dir/stdout-to" ] && stdout_to=$(cat "$case_dir/stdout-to")
case $stdout_to in
'') run >"$work/stdout"; status=$? ;;
'|'*) run | bash -c "${stdout_to#|}" >"$work/stdout" {ended}>&-; status=${PIPESTATUS[0]} ;;
*) run >"$stdout_to"; status=$?; : >"$work/stdout" ;;
esac
during_status=0
[ -n "$during" ] && { exec {ended}>&-; wait "$during" || during_status=$?; }

fail=0
[ "$during_status" = 0 ] || { echo "FAIL: during (status $during_status)"; fail=1; }
expect() { # name expected-file actual-file
    if ! cmp -s "$2" "$3"; then
        echo "FAIL: $1 differs"; diff -a -u "$2" "$3" | head -40; fail=1
    fi
}
normalise() { # actual expected: PROG for the binary path, library diagnostics masked
    BIN="$BIN" perl -e '
        open(my $e, "<", $ARGV[1]) or die; my @exp = <$e>;
        open(my $a, "<", $ARGV[0]) or die; my @act = <$a>;
        for my $i (0 .. $#act) {
            $act[$i] =~ s/\Q$ENV{BIN}\E/PROG/g;
            $act[$i] = $exp[$i] if $i <= $#exp && $exp[$i] eq "<libc-diagnostic>\n";
        }
        print @act;' "$1" "$2"
}
empty=$work/empty
: >"$empty"
for s in stdout stderr; do
    exp=$case_dir/$s
    [ -f "$exp" ] || exp=$empty
    normalise "$work/$s" "$exp" >"$work/$s.norm"
    expect "$s" "$exp" "$work/$s.norm"
done
want=0
[ -f "$case_dir/status" ] && want=$(cat "$case_dir/status")
[ "$status" = "$want" ] || { echo "FAIL: status $status, expected $want"; fail=1; }

if [ -d "$case_dir/in" ] || [ -d "$case_dir/out" ]; then
    expected_dir=$work/expected
    mkdir "$expected_dir"
    for d in in out; do
        [ -d "$case_dir/$d" ] && cp -a --remove-destination "$case_dir/$d/." "$expected_dir/"
    done
    if [ -f "$case_dir/removed" ]; then
        (cd "$expected_dir" && xargs -d '\n' rm -rf -- <"$case_dir/removed")
    fi
    diff -r -a --no-dereference -x .fill "$expected_dir" "$work/run" >"$work/tree.diff" ||
        { echo "FAIL: files differ"; head -40 "$work/tree.diff"; fail=1; }
elif [ -n "$(ls -A "$work/run" | grep -vx .fill)" ]; then
    echo "FAIL: files left behind:"; ls -A "$work/run"; fail=1
fi
while IFS= read -r call; do
    grep -qE -- "$call" "$work/trace" || { echo "FAIL: no traced call matches $call"; fail=1; }
done < <(cat "$case_dir/traced" 2>/dev/null)
if [ -f "$case_dir/verify" ]; then
    (cd "$work/run" && bash "$case_dir/verify") || { echo "FAIL: verify"; fail=1; }
fi
if [ -n "$mem_words" ]; then
    mem_after=$case_dir/mem-after
    [ -f "$mem_after" ] || mem_after=$mem_words
    perl "$mem_image" check /dev/mem "$mem_after" || { echo "FAIL: memory differs"; fail=1; }
fi
[ $fail = 0 ] && echo "PASS: ${case_dir##*/}"
exit $fail
