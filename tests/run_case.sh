#!/bin/bash
# Runs one end-to-end case folder against a program and compares everything it did.
#   BIN       the program under test
#   LAUNCHER  optional prefix command (an emulator such as "qemu-arm -cpu arm926")
# A case folder holds (each key a file):
#   use       optional names (one a line) of folders of tests/cases/shared whose files the
#             case takes where it has none of that name (tests/case.sh lays them)
#   args      the arguments, one per line (an empty line is an empty argument)
#   in/       files copied into a fresh work directory, the program's current directory
#   set       optional lines "KEY PATH [VALUE]", PATH relative to the work directory, done
#             in order before the program; what a line sets must look the same afterwards:
#               mode PATH MODE         chmod
#               owner PATH USER[:GROUP] chown -h (the numbers are compared)
#               flags PATH FLAGS       chattr (+a, +dA, ...; lsattr's flags are compared)
#               acl PATH [ENTRY]       setfacl -m ENTRY (d:ENTRY a default); the ACL compared
#               xattr PATH NAME VALUE  setfattr; the value compared
#               inode PATH same|new    the inode afterwards the same one, or another
#               fifo PATH              mkfifo, which nobody opens
#               link PATH NAME         a second (hard) link NAME to PATH
#               fill                   fills the file system (tmpfs) with a file ".fill"
#               hold PATH              the runner holds PATH locked (flock) until the end
#               held PATH open|read|write  during starts once the program has PATH open (has
#                                      read from it, opened it to write), HELD_PID its id
#   setup     optional bash run in the work directory before the program, after set
#   tmpfs     optional size: the work directory is a tmpfs of that size in a private
#             mount namespace (root only); a file ".fill" is ignored
#   stdout, stderr   expected output (absent: empty); "PROG" stands for BIN, and a line
#             "<libc-diagnostic>" in stderr matches whatever one line the C library prints
#   stdout-to optional: a device for the program's standard output (stdout then expects
#             nothing), or "|COMMAND": a pipe into COMMAND, whose output stdout expects
#   status    expected exit status (absent: 0)
#   out/      the files the run changes or makes; the work directory must then hold
#             exactly in/ with out/ laid over it, less the names (one a line) in
#   removed   optional: the files of in/ that the run removes
#   verify    optional bash run in the work directory afterwards; must exit 0
#   closed    optional descriptors among 0, 1 and 2 (one line) that the program starts
#             with closed, as an init script's "2>&-" leaves them
#   root      optional, empty: the case needs root (a loop device, say)
#   user      optional user name: the program runs as that user (root only)
#   slow      optional strace option (inject=CALLS:delay_exit=MICROSECONDS, or an error):
#             the program runs under strace with it, acting only on the case's files (the
#             work directory and what is in it, the files the arguments name, /dev/mem and
#             the standard output), never on an emulator's own
#   traced    optional extended regular expressions, one a line, each of which a line of
#             slow's trace must match (slow "trace=openat" shows the calls that open)
#   during    optional bash run in the work directory while the program runs, inside the
#             window slow opens; must exit 0. Its standard input reaches end of file once
#             the program has ended ("read -t 0" tells whether it has; a read waits for it)
#   mem       words "OFFSET VALUE" (hex) of a sparse 4 GiB + 4 KiB /dev/mem, in a private
#             /dev holding only null, zero, full, random and urandom besides (root only);
#             "absent" leaves /dev/mem out, "size SIZE" (hex) makes it shorter
#   mem-after the words the image must hold afterwards, and no other (absent: mem's)
# "run_case.sh ROWS NAME [DEST]" lays out the row named NAME of a rows file (tests/rows.h's
# format, each row starting with "name: NAME") as a case folder, in DEST (then only that)
# or a temporary one that it runs; a key on several lines is a file of several lines.
set -u
. "$(dirname "$0")/test-env.sh"
. "$(dirname "$0")/case.sh"
if [ $# -ge 2 ]; then
    rows_dir=$(mktemp -d) && trap 'rm -rf "$rows_dir"' EXIT || exit 2
    dest=${3:-$rows_dir/$2}
    mkdir -p "$dest" || exit 2
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
        END { $seen{$name} or die "$rows: no row $name\n" }' "$1" "$2" "$dest" "$1" || exit 2
    [ -n "${3:-}" ] || bash "$0" "$dest"
    exit
fi
own=$(cd "$1" && pwd) || exit 2 # the case's own folder, where its scripts sit
set -- "$own"
: "${BIN:?BIN must name the program}" "${LAUNCHER:=}"
work=$(mktemp -d)
trap 'umount -R "$work/dev" "$work/run" 2>/dev/null; chattr -R -ia "$work" 2>/dev/null; rm -rf "$work"' EXIT
case_dir=$work/case
case_lay "$1" "$case_dir" || exit 2
key() { # KEY: the case's file KEY; fails where there is none
    cat "$case_dir/$1" 2>/dev/null
}

for needs_root in tmpfs mem user root; do
    [ -f "$case_dir/$needs_root" ] && { [ "$(id -u)" = 0 ] || unavailable "needs root"; }
done
if { [ -f "$case_dir/tmpfs" ] || [ -f "$case_dir/mem" ]; } && [ -z "${RUN_CASE_NS:-}" ]; then
    rm -rf "$work"
    RUN_CASE_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
mkdir "$work/run"
[ ! -f "$case_dir/tmpfs" ] || mount -t tmpfs -o "size=$(key tmpfs)" casefs "$work/run" || exit 1
mem_image=$(dirname "$0")/mem_image.pl mem_words=
[ -f "$case_dir/mem" ] && [ "$(key mem)" != absent ] && mem_words=$case_dir/mem
if [ -f "$case_dir/mem" ]; then
    # Built aside, then moved over /dev whole, so no host node ever sits in $work.
    mkdir "$work/dev" && mount -t tmpfs -o size=64m casedev "$work/dev" || exit 1
    for node in null zero full random urandom; do
        : >"$work/dev/$node" && mount --bind "/dev/$node" "$work/dev/$node" || exit 1
    done
    ln -s /proc/self/fd "$work/dev/fd"
    [ -z "$mem_words" ] || perl "$mem_image" make "$work/dev/mem" "$mem_words" ||
        { echo "FAIL: mem"; exit 1; }
    mount --move "$work/dev" /dev || exit 1
fi
[ -d "$case_dir/in" ] && cp -a "$case_dir/in/." "$work/run/"
(cd "$work/run" && case_set "$case_dir" "$work/state") || { echo "FAIL: set"; exit 1; }
[ ! -f "$case_dir/setup" ] || (cd "$work/run" && bash "$1/setup") || { echo "FAIL: setup"; exit 1; }

mapfile -t args < <(key args)
as_user=()
if [ -f "$case_dir/user" ]; then
    as_user=(setpriv --reuid="$(key user)" --regid="$(id -g "$(key user)")" --clear-groups)
    chmod 711 "$work"
fi
tracer=()
if [ -f "$case_dir/slow" ]; then
    command -v strace >/dev/null || unavailable "needs strace"
    # Paths (canonical, as strace matches them), not calls: an emulator makes the same.
    trace=/dev/null
    [ ! -f "$case_dir/traced" ] || trace=$work/trace
    tracer=(strace -f -qq -o "$trace" -e "$(key slow)")
    : >"$work/stdout"
    for f in "$work/run" "$work/stdout" /dev/mem "$work/run"/* "$work/run"/.[!.]* "${args[@]}"; do
        f=$(cd "$work/run" && [ -e "$f" ] && realpath -- "$f") && tracer+=(-P "$f")
    done
    # LeakSanitizer cannot work under ptrace; the other sanitizers still do.
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
fi
held() { # PATH HOW: waits until a process holds PATH as set's "held" says
    local fd
    until read -t 0; do
        for fd in $(find /proc/[0-9]*/fd -lname "$PWD/$1" 2>/dev/null); do
            awk -v how="$2" '/^pos:/ { pos = $2 } /^flags:/ { w = $2 ~ /[12]$/ }
                END { exit !(how == "open" || how == "read" && pos > 0 || how == "write" && w) }' \
                "${fd%/fd/*}/fdinfo/${fd##*/}" 2>/dev/null || continue
            HELD_PID=$(echo "$fd" | cut -d/ -f3) && export HELD_PID && return 0
        done
    done
    echo "nothing held $1 ($2)"; return 1
}
holds=()
while read -r set_key path how; do
    case $set_key in
    hold) exec {fd}<"$work/run/$path" && flock -x "$fd" && holds+=("$fd") || exit 1 ;;
    held) hold_wait=("$path" "$how") ;;
    esac
done < <(key set)
during=
exec {ended}>/dev/null
if [ -f "$case_dir/during" ]; then
    mkfifo "$work/ended"
    (cd "$work/run" && { [ -z "${hold_wait[*]:-}" ] || held "${hold_wait[@]}"; } &&
        exec bash "$1/during") <"$work/ended" &
    during=$!
    exec {ended}>"$work/ended"
fi
closed=$(key closed)
[[ $closed =~ ^[012\ ]*$ ]] || { echo "FAIL: closed names descriptors 0 to 2 only"; exit 1; }
run() {
    # shellcheck disable=SC2086 # LAUNCHER is a command prefix, split on purpose
    (cd "$work/run" && exec 2>"$work/stderr" </dev/null {ended}>&- &&
        for fd in $closed "${holds[@]}"; do eval "exec $fd>&-"; done &&
        exec "${as_user[@]}" "${tracer[@]}" $LAUNCHER "$BIN" "${args[@]}")
}
stdout_to=$(key stdout-to)
case $stdout_to in
'') run >"$work/stdout"; status=$? ;;
'|'*) run | bash -c "${stdout_to#|}" >"$work/stdout" {ended}>&-; status=${PIPESTATUS[0]} ;;
*) run >"$stdout_to"; status=$?; : >"$work/stdout" ;;
esac
during_status=0
[ -n "$during" ] && { exec {ended}>&-; wait "$during" || during_status=$?; }

fail=0
[ "$during_status" = 0 ] || { echo "FAIL: during (status $during_status)"; fail=1; }
for s in stdout stderr; do
    exp=$case_dir/$s
    [ -f "$exp" ] || : >"$exp"
    # PROG for the binary's path; where a "<libc-diagnostic>" line is expected, any line.
    BIN="$BIN" perl -pe 'BEGIN { open(my $e, "<", pop) or die; @exp = <$e> }
        s/\Q$ENV{BIN}\E/PROG/g;
        $_ = $exp[$. - 1] if ($exp[$. - 1] // "") eq "<libc-diagnostic>\n";' \
        "$work/$s" "$exp" >"$work/$s.norm"
    cmp -s "$exp" "$work/$s.norm" ||
        { echo "FAIL: $s differs"; diff -a -u "$exp" "$work/$s.norm" | head -40; fail=1; }
done
want=$(key status || echo 0)
[ "$status" = "$want" ] || { echo "FAIL: status $status, expected $want"; fail=1; }

case_expected "$case_dir" "$work/expected"
diff -r -a --no-dereference -x .fill "$work/expected" "$work/run" >"$work/tree.diff" ||
    { echo "FAIL: files differ"; head -40 "$work/tree.diff"; fail=1; }
(cd "$work/run" && case_check "$case_dir" "$work/state") || { echo "FAIL: set"; fail=1; }
while IFS= read -r call; do
    grep -qE -- "$call" "$work/trace" || { echo "FAIL: no traced call matches $call"; fail=1; }
done < <(key traced)
[ ! -f "$case_dir/verify" ] || (cd "$work/run" && bash "$1/verify") || { echo "FAIL: verify"; fail=1; }
mem_after=$case_dir/mem-after
[ -f "$mem_after" ] || mem_after=$mem_words
[ -z "$mem_words" ] || perl "$mem_image" check /dev/mem "$mem_after" ||
    { echo "FAIL: memory differs"; fail=1; }
[ $fail = 0 ] && echo "PASS: $(basename "$1")"
exit $fail
