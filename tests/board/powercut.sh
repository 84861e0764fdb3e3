# Guest side of the power-cut test, sourced by /init at every boot of one flash: says
# what the last cut left in each series, restores once more, then saves in every
# series at once, each save a new version, until the host cuts the power.
# "board.cut=last" on the command line stops after the check. "@ SERIES begin VERSION"
# and "@ SERIES end VERSION STATUS" frame every save; tests/board/powercut.awk judges.
# The series are the lines of powercut.series.
# A version is the SSID "powercut-BBBKKKKK", B the boot (board.boot=) and K the save:
# always one length, longer than the start profile's, so a version's profile is the
# same whatever the profile held before (a shorter SSID leaves the old tail).
boot=0
for word in $(cat /proc/cmdline); do
    case $word in board.boot=*) boot=${word#board.boot=} ;; esac
done
version() { # SAVE
    printf 'powercut-%03d%05d' "$boot" "$1"
}
refs=/tmp/ref
wpa() { # SERIES VERSION: the supplicant file of VERSION, in RAM
    sed "s/^\([[:space:]]*ssid=\).*/\1\"$2\"/" /guest/pc/wpa >"$refs/$1/wpa.$2"
}
profile() { # SERIES TARGET VERSION: the profile of VERSION, restored in RAM
    [ -f "$refs/$1/$3" ] && return
    wpa "$1" "$3" && cp "/guest/pc/start.$2" "$refs/$1/new" &&
        kelmora -f "$refs/$1/wpa.$3" -o "$refs/$1/new" -t "$2" >/dev/null &&
        mv "$refs/$1/new" "$refs/$1/$3"
}
save() { # SERIES TARGET HOW VERSION: one save in the current directory
    case $3 in
    root) wpa "$1" "$4" && kelmora -f "$refs/$1/wpa.$4" -o p -t "$2" >/dev/null ;;
    user) wpa "$1" "$4" && su user -s /bin/sh -c "kelmora -f $refs/$1/wpa.$4 -o p -t $2 >/dev/null" ;;
    cat) profile "$1" "$2" "$4" && cat "$refs/$1/$4" >p ;;
    # A cut may leave p.tmp as a second name of p (JFFS2): cp would write through it.
    cpmv) profile "$1" "$2" "$4" && rm -f p.tmp && cp "$refs/$1/$4" p.tmp && mv p.tmp p ;;
    esac
}
found() { # SERIES TARGET: the version the profile holds whole, or "torn"
    v=$(strings p | grep -o 'powercut-[0-9]\{8\}' | head -n 1)
    [ -n "$v" ] && profile "$1" "$2" "$v" && cmp -s p "$refs/$1/$v" && echo "$v" || echo torn
}
temporaries() { # how many temporary files lie beside the profile
    ls -A | grep -c '\.tmp$'
}
fresh() { # SERIES TARGET VERSION: the profile of VERSION, owned by root, writable by the user route
    echo "@ $1 begin $3"
    rm -f ./* ./.??* && profile "$1" "$2" "$3" && cp "$refs/$1/$3" p && chmod 666 p &&
        chmod 777 . && sync
    echo "@ $1 end $3 $?"
}

# Two versions over each other give the second: a profile depends on its version only.
for t in 0 1; do
    mkdir -p "$refs/check$t"
    a=$(version 99998) b=$(version 99999)
    profile "check$t" $t "$a" && profile "check$t" $t "$b" && cp "$refs/check$t/$a" /tmp/again &&
        kelmora -f "$refs/check$t/wpa.$b" -o /tmp/again -t $t >/dev/null &&
        cmp -s /tmp/again "$refs/check$t/$b" && ! cmp -s "$refs/check$t/$a" "$refs/check$t/$b" ||
        echo "FAIL: versions of target $t"
done

[ "$mount_status" = 0 ] || { echo "CUT mount failed"; return; }
v=$(version 0)
while read -r name t how; do
    case $name in '#'* | '') continue ;; esac
    mkdir -p "$refs/$name" "/mnt/conf/$name" && cd "/mnt/conf/$name" || return
    if [ ! -f p ]; then
        fresh "$name" "$t" "$v"
        continue
    fi
    found=$(found "$name" "$t")
    left=$(temporaries)
    echo "@ $name begin $v"
    save "$name" "$t" "$how" "$v"
    status=$?
    echo "@ $name end $v $status"
    # A torn profile may restore to something else; an intact one must not.
    [ "$found" = torn ] || { profile "$name" "$t" "$v" && cmp -s p "$refs/$name/$v"; } ||
        status="$status,differs"
    echo "CUT $name found=$found left=$left next=$status after=$(temporaries)"
    [ "$found" != torn ] && [ "$status" = 0 ] || fresh "$name" "$t" "$v"
done </guest/powercut.series
sync
grep -q board.cut=last /proc/cmdline && return

while read -r name t how; do
    case $name in '#'* | '') continue ;; esac
    (
        cd "/mnt/conf/$name" || exit
        k=0
        while :; do
            k=$((k + 1))
            v=$(version $k)
            echo "@ $name begin $v"
            save "$name" "$t" "$how" "$v"
            echo "@ $name end $v $?"
        done
    ) &
done </guest/powercut.series
echo "SAVING"
wait
