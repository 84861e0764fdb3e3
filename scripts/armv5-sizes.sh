#!/bin/bash
# Prints the stripped sizes of the ARMv5 device programs (musl, from an armv5 build)
# next to a static build of the same sources against Debian's armel glibc.
#   scripts/armv5-sizes.sh [BUILD_DIR]    (default build/armv5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/armv5}
cross=arm-linux-gnueabi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

stripped_size() { # binary
    "$cross-strip" -o "$out/stripped" "$1" && stat -c %s "$out/stripped"
}
printf '| program | musl (this build) | glibc static |\n|---|---|---|\n'
for program in kelmora physmem; do
    mapfile -t sources < <(find "$root/$program" -maxdepth 1 -name '*.cpp' ! -name '*_test.cpp' | sort)
    "$cross-g++" -std=c++20 -march=armv5te -mtune=arm926ej-s -marm -mfloat-abi=soft -Os \
        -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections \
        -D_FILE_OFFSET_BITS=64 -D_GNU_SOURCE -I"$root/$program" \
        -static -Wl,--gc-sections -o "$out/$program" "${sources[@]}"
    printf '| %s | %s | %s |\n' "$program" "$(stripped_size "$build/$program/$program")" \
        "$(stripped_size "$out/$program")"
    [ -z "${KEEP_GLIBC_BUILD:-}" ] || cp "$out/$program" "$KEEP_GLIBC_BUILD/"
done
