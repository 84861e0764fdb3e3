#!/bin/bash
# bundle-test.sh BUILD_DIR WORK READELF: makes the board bundle of an ARMv5 build as
# "make bundle" does, checks its name and files, that its programs are stripped ARM
# executables, then unpacks it and restores the shipped example profiles with the
# bundled kelmora under LAUNCHER (the emulator), through the case runner.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../test-env.sh"
. "$here/contents.sh"
build=$(cd "$1" && pwd) work=$2 readelf=$3
top=$(cd "$here/../.." && pwd)
emulator=${LAUNCHER:-}
emulator=${emulator%% *}
case " ${LAUNCHER:-} " in
*" -cpu arm926 "*) ;;
*) fail "LAUNCHER '${LAUNCHER:-}' does not emulate an ARM926 (-cpu arm926)" ;;
esac
command -v "$emulator" >/dev/null || unavailable "$emulator is not installed"

rm -rf "$work" && mkdir -p "$work/unpacked"
bundle=$("$top/scripts/bundle.sh" "$build" "$work")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=board-tools-$version-armv5
[ "$bundle" = "$work/$name.tar.gz" ] && [ -s "$bundle" ] || fail "bundle $bundle, expected $name.tar.gz"

tar -C "$work/unpacked" -xzf "$bundle"
[ "$(ls -A "$work/unpacked")" = "$name" ] || fail "the bundle does not unpack into $name/"
root=$work/unpacked/$name
same_tree bundle "$root" "" "$build"
for program in kelmora physmem; do
    header=$("$readelf" -h "$root/sbin/$program") sections=$("$readelf" -S "$root/sbin/$program")
    grep -q 'Machine: *ARM$' <<<"$header" || fail "$program is not an ARM program"
    ! grep -qE '\.symtab|\.debug' <<<"$sections" || fail "$program is not stripped"
done
echo "PASS: $name.tar.gz ($(stat -c %s "$bundle") bytes)"

status=0
for example in "$here"/example/*/; do
    BIN=$root/sbin/kelmora bash "$top/tests/run_case.sh" "$example" || status=1
done
exit $status
