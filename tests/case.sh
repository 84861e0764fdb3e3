# The parts of a case folder that the host's runner (run_case.sh, bash) and the board's
# (board/checks.sh, busybox sh) share, in plain sh with local variables, which both
# shells have. run_case.sh's header describes the folder and its keys.

case_lay() { # CASE DEST: the case as one folder, the shared folders it uses beneath it
    local name
    [ -d "$1" ] && mkdir -p "$2" || return 1
    if [ -f "$1/use" ]; then
        while read -r name; do
            cp -a "$1/../../shared/$name/." "$2/" || return 1
        done <"$1/use"
    fi
    cp -a "$1/." "$2/" && rm -f "$2/use"
}

case_expected() { # CASE DEST: the work directory as the run must leave it
    local d
    mkdir -p "$2" || return 1
    for d in in out; do
        [ ! -d "$1/$d" ] || cp -a "$1/$d/." "$2/" || return 1
    done
    [ ! -f "$1/removed" ] || (cd "$2" && xargs rm -rf -- <"$1/removed")
}

case_looks() { # CASE DIR: how each path of the case's "set" lines looks, DIR/N for line N
    local n=0 key path value
    mkdir -p "$2" || return 1
    while read -r key path value; do
        n=$((n + 1))
        case $key in
        mode) stat -c %a "$path" ;;
        owner) stat -c %u:%g "$path" ;;
        flags) lsattr -d "$path" | cut -d' ' -f1 ;;
        acl) getfacl -cp "$path" ;;
        xattr) getfattr --only-values -n "${value%% *}" "$path" ;;
        inode) stat -c %i "$path" ;;
        esac >"$2/$n" || return 1
    done <"$1/set"
}

case_set() { # CASE STATE: in the work directory, what the "set" lines ask; their looks
    local key path value
    [ -f "$1/set" ] || return 0
    while read -r key path value; do
        case $key in
        '#'* | '' | inode | hold | held) ;;
        mode) chmod "$value" "$path" ;;
        owner) chown -h "$value" "$path" ;;
        flags) chattr "$value" "$path" ;;
        acl) [ -z "$value" ] || setfacl -m "$value" "$path" ;;
        xattr) setfattr -n "${value%% *}" -v "${value#* }" "$path" ;;
        fifo) mkfifo "$path" ;;
        link) ln -f "$path" "$value" ;;
        fill) dd if=/dev/zero of=.fill bs=4k 2>/dev/null; true ;;
        *) echo "unknown key in set: $key"; false ;;
        esac || return 1
    done <"$1/set"
    case_looks "$1" "$2"
}

case_check() { # CASE STATE: each path set looks as before the run ("inode PATH new": not)
    [ -f "$1/set" ] || return 0
    case_looks "$1" "$2.after" || return 1
    local n=0 ok=0 same key path value
    while read -r key path value; do
        n=$((n + 1))
        cmp -s "$2/$n" "$2.after/$n" && same=1 || same=0
        [ "$key $value" = "inode new" ] && same=$((1 - same))
        [ $same = 1 ] || { echo "$path: $key $(tr '\n' ' ' <"$2.after/$n")"; ok=1; }
    done <"$1/set"
    return $ok
}
