# Guest side of the power-cut test, sourced by /init at every boot of one flash: says
# what the last cut left in each series, restores once more, then saves in every
# series at once, A, B, A, ..., until the host cuts the power. "board.cut=last" on the
# command line stops after the check.
#   series    target  how: root (temporary file and rename), user (the owner cannot be
#                     kept: written in place), cat (a plain "cat new > profile")
series="text-root 0 root
binary-root 1 root
text-user 0 user
binary-user 1 user
text-cat 0 cat"

# The profiles A and B, restored in RAM: A from the start profile, B over A, and A
# over B must give A again (a shorter SSID leaves the old tail in the binary record).
mkdir /tmp/ref
for t in 0 1; do
    cp "/guest/pc/start.$t" "/tmp/ref/$t.A"
    kelmora -f /guest/pc/wpa.A -o "/tmp/ref/$t.A" -t $t >/dev/null &&
        cp "/tmp/ref/$t.A" "/tmp/ref/$t.B" && cp "/tmp/ref/$t.A" /tmp/ref/again &&
        kelmora -f /guest/pc/wpa.B -o "/tmp/ref/$t.B" -t $t >/dev/null &&
        kelmora -f /guest/pc/wpa.A -o /tmp/ref/again -t $t >/dev/null &&
        cmp -s /tmp/ref/again "/tmp/ref/$t.A" && ! cmp -s "/tmp/ref/$t.A" "/tmp/ref/$t.B" ||
        echo "FAIL: profiles A and B of target $t"
done

save() { # TARGET HOW A|B: one save in the current directory
    case $2 in
    root) kelmora -f "/guest/pc/wpa.$3" -o p -t "$1" >/dev/null ;;
    user) su user -s /bin/sh -c "kelmora -f /guest/pc/wpa.$3 -o p -t $1 >/dev/null" ;;
    cat) cat "/tmp/ref/$1.$3" >p ;;
    esac
}
temporaries() { # how many temporary files lie beside the profile
    ls -A | grep -c '\.tmp$'
}
fresh() { # TARGET: profile A, owned by root, writable by the user route
    rm -f ./* ./.??* && cp "/tmp/ref/$1.A" p && chmod 666 p && chmod 777 . && sync
}

[ "$mount_status" = 0 ] || { echo "CUT mount failed"; return; }
while read -r name t how; do
    mkdir -p "/mnt/conf/$name" && cd "/mnt/conf/$name" || return
    if [ ! -f p ]; then
        fresh "$t"
        continue
    fi
    state=torn
    cmp -s p "/tmp/ref/$t.A" && state=A
    cmp -s p "/tmp/ref/$t.B" && state=B
    left=$(temporaries)
    next=A
    [ $state = A ] && next=B
    save "$t" "$how" $next
    status=$?
    # A torn profile may restore to something else; an intact one must not.
    [ $state = torn ] || cmp -s p "/tmp/ref/$t.$next" || status="$status,differs"
    echo "CUT $name profile=$state left=$left next=$status after=$(temporaries)"
    [ $state != torn ] && [ "$status" = 0 ] || fresh "$t"
done <<EOF
$series
EOF
sync
grep -q board.cut=last /proc/cmdline && return

while read -r name t how; do
    (
        cd "/mnt/conf/$name" || exit
        f=B
        cmp -s p "/tmp/ref/$t.B" && f=A
        while :; do
            echo "@ $name begin"
            save "$t" "$how" $f
            echo "@ $name end $?"
            [ $f = A ] && f=B || f=A
        done
    ) &
done <<EOF
$series
EOF
echo "SAVING"
wait
