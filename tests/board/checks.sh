# Guest side of the board test, sourced by /init: /guest/checks.sh on the first boot
# (erased flash), /guest/persist.sh on the second (same flash). Each check is a line
# of checks.list, which the host reads too.
result() { # ID STATUS: the check's PASS or FAIL line, in the words of checks.list
    local what
    what=$(grep "^$1$(printf '\t')" /guest/checks.list | cut -f2-)
    [ -n "$what" ] || { echo "FAIL: no check $1 in checks.list"; return; }
    if [ "$2" = 0 ]; then echo "PASS: $what"; else echo "FAIL: $what"; fi
}
gpio() { # GPIO COLUMN: its level (2) or how often the level has changed (3)
    awk -v g="$1" -v c="$2" '$1 == g { print $c }' /sys/kernel/debug/board-gpio-sim/lines
}
same_files() { # DIR EXPECTED-DIR: DIR holds exactly the files of EXPECTED-DIR
    [ "$(ls -A "$1")" = "$(ls -A "$2")" ] || { echo "$1: $(ls -A "$1")"; return 1; }
    for f in "$2"/*; do cmp "$f" "$1/${f##*/}" || return 1; done
}

. /guest/case.sh
lay() { # CASE: the case laid whole in /tmp/case, and what its run leaves in /tmp/after
    rm -rf /tmp/case /tmp/after /tmp/state /tmp/state.after &&
        case_lay "$1" /tmp/case && case_expected /tmp/case /tmp/after
}
kernel=$(sed -n 's/.*board\.kernel=\([^ ]*\).*/\1/p' /proc/cmdline)

if [ "$run" = persist ]; then
    ok=$mount_status
    for c in /guest/cases/kelmora/*; do
        lay "$c" && same_files "/mnt/conf/cases/${c##*/}" /tmp/after || ok=1
    done
    result persist $ok
    return
fi

ok=0
modinfo lampora
while IFS="$(printf '\t')" read -r series field want; do
    case $series in '#'* | '') continue ;; "$kernel" | '*') ;; *) continue ;; esac
    got=$(modinfo -F "$field" lampora)
    [ "$got" = "$want" ] || { echo "modinfo $field: got '$got', want '$want'"; ok=1; }
done </guest/modinfo.expected
modinfo -F vermagic lampora | grep -qF " preempt mod_unload ARMv5" ||
    { echo "vermagic is not for a preemptible ARMv5 kernel with module unloading"; ok=1; }
result modinfo $ok

result loaded $insmod_status

dmesg | sed 's/^\[[^]]*\] *//' | grep '^Set <' | cmp - /guest/expected.log
result log $?

ok=0
for want in "READY [heartbeat]" "LINK [mmc0]" "Reserve [gpio]"; do
    got="${want%% *} $(grep -o '\[[^]]*\]' "/sys/class/leds/${want%% *}/trigger")"
    [ "$got" = "$want" ] || { echo "trigger: $got"; ok=1; }
done
result triggers $ok

# Off at registration, and off is high on these active-low lines.
[ "$(gpio 37 2)" = 1 ] && [ "$(gpio 38 2)" = 1 ]
result start-off $?

echo none >/sys/class/leds/LINK/trigger
echo 1 >/sys/class/leds/LINK/brightness
on=$(gpio 37 2)
echo 0 >/sys/class/leds/LINK/brightness
off=$(gpio 37 2)
echo "LINK line 37: brightness 1 -> $on, brightness 0 -> $off"
[ "$on" = 0 ] && [ "$off" = 1 ]
result active-low $?

before=$(gpio 36 3)
sleep 3
after=$(gpio 36 3)
echo "READY line 36 changed $before then $after times"
[ "$after" -ge $((before + 2)) ]
result heartbeat $?

! rmmod lampora && [ -d /sys/module/lampora ] && [ -d /sys/class/leds/READY ]
result no-unload $?

# physmem against the board's registers and RAM, as physmem.steps lists its runs.
matches() { # FILE FORMAT: FILE holds what printf FORMAT prints ("~" any hex digit or blank)
    [ "$2" = - ] && { [ ! -s "$1" ]; return; }
    case "$(cat "$1"; echo .)" in $(printf "$2." | sed 's/~/[ 0-9a-f]/g')) ;; *) return 1 ;; esac
}
# The kernel's own versatile LEDs share the register: their triggers would change it.
for t in /sys/class/leds/versatile:*/trigger; do [ ! -f "$t" ] || echo none >"$t"; done
tab=$(printf '\t') check=
while IFS=$tab read -r id want out err args; do
    case $id in '#'* | '') continue ;; esac
    [ "$id" = "$check" ] || { [ -z "$check" ] || result "$check" $ok; check=$id ok=0; }
    # shellcheck disable=SC2086 # the arguments are words apart by blanks
    physmem $args >/tmp/out 2>/tmp/err
    status=$?
    echo "physmem $args: status $status"
    cat /tmp/out /tmp/err
    [ $status = "$want" ] && matches /tmp/out "$out" && matches /tmp/err "$err" || ok=1
done </guest/physmem.steps
result "$check" $ok

# With 1 or 2 closed, /dev/mem must not take it: the text would land at physical 0.
physmem 0 64 >/tmp/zero
physmem 0x00100000 16384 >&-
out=$?
physmem 0 0 2>&-
err=$?
echo "physmem >&-: status $out, 2>&-: status $err; physical 0:"
cat /tmp/zero
physmem 0 64 | cmp - /tmp/zero && [ -s /tmp/zero ] && [ "$out $err" = "1 1" ]
result physmem-closed $?

# kelmora's cases (guest/cases, from tests/cases; none with a setup, verify or during
# script) on the flash, run as the host runs them with tests/case.sh: output, messages,
# status and files must be the expected ones on every kernel, so no system call fails on
# one kernel that works on another.
ok=$mount_status
for c in /guest/cases/kelmora/*; do
    d=/mnt/conf/cases/${c##*/} e=/tmp/case
    lay "$c" && mkdir -p "$d" && cp -a "$e/in/." "$d/" && (cd "$d" && case_set "$e" /tmp/state) ||
        { echo "${c##*/}: setup failed"; ok=1; }
    run="cd $d && kelmora $(tr '\n' ' ' <"$e/args")"
    if [ -f "$e/user" ]; then su "$(cat "$e/user")" -s /bin/sh -c "$run"; else sh -c "$run"; fi \
        >/tmp/out 2>/tmp/err
    status=$?
    [ "$status" = "$(cat "$e/status" 2>/dev/null || echo 0)" ] || { echo "${c##*/}: status $status"; ok=1; }
    for s in out err; do [ -f "$e/std$s" ] || : >"$e/std$s"; done
    cmp "$e/stdout" /tmp/out && cmp "$e/stderr" /tmp/err && same_files "$d" /tmp/after &&
        (cd "$d" && case_check "$e" /tmp/state) ||
        { echo "${c##*/}: output or files differ"; cat /tmp/out /tmp/err; ok=1; }
done
result kelmora $ok
