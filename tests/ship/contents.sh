# Sourced by the ship tests, after test-env.sh.
# same_tree WHERE ROOT PREFIX BUILD: ROOT holds exactly the files contents.txt lists for
# WHERE (install or bundle), under PREFIX, each the same as its origin.
same_tree() {
    local list top where path origin
    list=$(dirname "${BASH_SOURCE[0]}")/contents.txt top=$(cd "$(dirname "$list")/../.." && pwd)
    diff <(awk -v w="$1" -v p="${3#/}" '!/^#/ && NF && ($1 == w || $1 == "both") {
            print (p == "" ? "" : p "/") $2 }' "$list" | sort) \
        <(cd "$2" && find . -type f -o -type l | sed 's|^\./||' | sort) || fail "the files under $2"
    while read -r where path origin; do
        case $where in both | "$1") ;; *) continue ;; esac
        [ "${origin#build/}" = "$origin" ] && origin=$top/$origin || origin=$4/${origin#build/}
        path=$2/${3#/}/$path
        cmp "$origin" "$path" || fail "$path differs from $origin"
        [[ $path != */sbin/* ]] || [ -x "$path" ] || fail "$path is not executable"
    done < <(grep -v '^#' "$list")
}
