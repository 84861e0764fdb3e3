#!/bin/bash
# Restores the shipped example profiles with a built kelmora, showing each profile
# before and after. The shipped files stay untouched: the run works on copies.
#   scripts/example.sh BUILD_DIR [LAUNCHER...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kelmora=$(cd "$1" && pwd)/kelmora/kelmora
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top"/examples/* "$work"/
cd "$work"

show() { # title file
    echo "--- $1"
    case $2 in
    *.bin) od -A d -t x1z -v "$2" ;;
    *) cat "$2" ;;
    esac
}
for target in 0 1; do
    profile=$([ $target = 0 ] && echo profile.txt || echo profile.bin)
    echo "=== kelmora -f wpa.conf -o $profile -t $target"
    show "$profile before" "$profile"
    status=0
    "$@" "$kelmora" -f wpa.conf -o "$profile" -t $target || status=$?
    echo "--- exit status $status"
    show "$profile after" "$profile"
    echo
    [ $status = 0 ]
done
