#!/bin/bash
# build-module.sh SRC OUT: builds the out-of-tree module in SRC against Debian's headers,
# in a copy at OUT so the source tree stays clean; W=1, and any warning fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/kernel-env.sh"
src=$1 out=$2

rm -rf "$out"
mkdir -p "$out"
cp "$src"/*.c "$src"/Kbuild "$out"/
if [ -f "$src/Makefile" ]; then
    cp "$src/Makefile" "$out"/
    build=(make -C "$out" KDIR="$KDIR" W=1)
else
    build=(make -C "$KDIR" M="$out" W=1 modules)
fi
if ! "${build[@]}" >"$out/build.log" 2>&1; then
    cat "$out/build.log"
    echo "FAIL: module build in $src" >&2
    exit 1
fi
if grep -iE 'warning:|error:' "$out/build.log"; then
    echo "FAIL: the build of $src is not clean" >&2
    exit 1
fi
