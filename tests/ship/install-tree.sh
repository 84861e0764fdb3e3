#!/bin/bash
# install-tree.sh BUILD_DIR WORK: installs BUILD_DIR with DESTDIR, once with --prefix /usr
# and once with the prefix the build was configured with, and checks each tree holds
# exactly the programs (as built) and the three manual pages (as written), and that the
# installed kelmora runs (through LAUNCHER when it is a device build).
set -euo pipefail
. "$(dirname "$0")/../test-env.sh"
. "$(dirname "$0")/contents.sh"
build=$(cd "$1" && pwd) work=$2
configured=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[ -n "$configured" ] || fail "no install prefix in $build"

check_tree() { # root prefix
    local root=$1 prefix=${2#/}
    same_tree install "$root" "$prefix" "$build"
    # The installed program runs: without arguments it refuses with status 1 and its usage.
    local status=0
    # shellcheck disable=SC2086 # LAUNCHER is a command prefix, split on purpose
    ${LAUNCHER:-} "$root/$prefix/sbin/kelmora" 2>"$work/usage" || status=$?
    [ $status = 1 ] || fail "installed kelmora: status $status, expected 1"
    head -n 1 "$work/usage" | grep -qx 'Usage: kelmora \[<arguments> ...\]' ||
        fail "installed kelmora printed no usage"
    echo "PASS: install tree under $root$2"
}

rm -rf "$work" && mkdir -p "$work"
DESTDIR=$work/usr-root cmake --install "$build" --prefix /usr >"$work/install.log"
check_tree "$work/usr-root" /usr
DESTDIR=$work/default-root cmake --install "$build" >>"$work/install.log"
check_tree "$work/default-root" "$configured"
