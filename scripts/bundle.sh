#!/bin/bash
# Packs a device build into the board bundle OUT_DIR/board-tools-VERSION-armv5.tar.gz:
# the installed programs and manual pages, the LED module's source with its Kbuild
# files, and the board README. The version is the CMake project's, read from the build.
#   scripts/bundle.sh BUILD_DIR OUT_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "bundle: no project version in $build" >&2; exit 1; }
name=board-tools-$version-armv5

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/$name
cmake --install "$build" --prefix "$root" >/dev/null
install -m 0644 "$top/packaging/README.board" "$root/README"
mkdir -p "$root/src/lampora"
for f in "$top"/lampora/*; do
    case ${f##*/} in
    Kbuild | Makefile | *.h) ;;
    *.mod.c) continue ;;
    *.c) ;;
    *) continue ;;
    esac
    install -m 0644 "$f" "$root/src/lampora/"
done

# Reproducible: fixed order, owner and time (the last commit's, where there is one).
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)}
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" \
    -cf - "$name" | gzip -9n >"$out/$name.tar.gz.part"
mv "$out/$name.tar.gz.part" "$out/$name.tar.gz"
echo "$out/$name.tar.gz"
