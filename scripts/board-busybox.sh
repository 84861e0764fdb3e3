#!/bin/bash
# board-busybox.sh: builds the board's busybox from Debian's busybox source (fetched by
# scripts/install-deps.sh) for the ARM926, static with musl, as the armv5 preset builds
# the programs: musl needs nothing newer than the device's 2.6.35 kernel, where glibc's
# busybox fails (its fstat needs a 2.6.39 system call). Prints the busybox binary's path;
# the build is kept under ${XDG_CACHE_HOME:-~/.cache}/board-busybox, keyed by the
# source's version and board/busybox.config.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fragment=$root/board/busybox.config
src=${XDG_CACHE_HOME:-$HOME/.cache}/board-tools/source/busybox
musl=/usr/lib/arm-linux-musleabi
[ -f "$src/.unpacked" ] ||
    { echo "board-busybox: no busybox source in $src (scripts/install-deps.sh board)" >&2; exit 1; }
[ -f "$musl/musl-gcc.specs" ] && command -v arm-linux-gnueabi-gcc >/dev/null ||
    { echo "board-busybox: the armel cross compiler or musl is missing" >&2; exit 1; }
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version | tr : _) # make dislikes ":"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/board-busybox
dir=$cache/$version-$(cat "$fragment" "$0" | sha256sum | cut -c1-16)
mkdir -p "$cache"
exec 9>"$dir.lock"
flock 9
if [ -f "$dir/done" ]; then
    echo "$dir/busybox"
    exit 0
fi

echo "board-busybox: building $version into $dir" >&2
start=$(date +%s)
rm -rf "$dir"
mkdir -p "$dir/include"
# musl's headers include the kernel's user headers; the cross compiler's copy serves.
for d in linux asm asm-generic mtd; do ln -s "/usr/arm-linux-gnueabi/include/$d" "$dir/include/$d"; done
flags="-specs=$musl/musl-gcc.specs -march=armv5te -mtune=arm926ej-s -marm -mfloat-abi=soft"
bmake=(make -C "$src" O="$dir" CROSS_COMPILE=arm-linux-gnueabi- "EXTRA_CFLAGS=$flags -isystem $dir/include"
    "EXTRA_LDFLAGS=$flags")
log=$dir/build.log
{
    # busybox's allnoconfig ignores KCONFIG_ALLCONFIG: the fragment goes in afterwards.
    "${bmake[@]}" allnoconfig &&
        awk 'NR == FNR { if (sub(/=.*/, "")) set[$0] = 1; next }
            { name = $1 == "#" ? $2 : $1; sub(/=.*/, "", name) } !(name in set)' \
            "$fragment" "$dir/.config" >"$dir/.config.new" &&
        cat "$fragment" >>"$dir/.config.new" && mv "$dir/.config.new" "$dir/.config" &&
        { { yes '' || true; } | "${bmake[@]}" oldconfig; } && "${bmake[@]}" -j 2 busybox
} >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "board-busybox: build failed, see $log" >&2; exit 1; }
# A fragment line Kconfig dropped (a typo, a missing dependency) would go unnoticed.
missing=$(grep '^CONFIG_' "$fragment" | grep -vxF -f "$dir/.config" || true)
[ -z "$missing" ] || { echo "board-busybox: not in busybox's .config: $missing" >&2; exit 1; }
touch "$dir/done"
echo "board-busybox: built in $(($(date +%s) - start)) s" >&2
echo "$dir/busybox"
