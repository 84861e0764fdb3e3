#!/bin/bash
# board-kernel.sh [6.1|2.6.35]: builds one of the board's kernels for the ARM926
# (versatile_defconfig plus a fragment) and prints the directory that holds zImage,
# versatile-pb.dtb (6.1 only: 2.6.35 boots from ATAGS) and build/, the tree modules
# build against. The build takes minutes, so it is kept under
# ${XDG_CACHE_HOME:-~/.cache}/board-kernel, keyed by the source and what changes the build.
#   6.1      (the default) Debian's linux-source-6.1, fragment board/kernel.config
#   2.6.35   the device's series: the tarball or unpacked tree BOARD_LINUX_2635 names
#            (default ../shared/linux-2.6.35.6-arm.tar.xz beside the top of the tree),
#            fragment board/linux-2.6.35/kernel.config, the build fixes for today's
#            compiler, linker and perl in board/linux-2.6.35/*.patch
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
series=${1:-6.1}
die() { echo "board-kernel: $*" >&2; exit 1; }
command -v arm-linux-gnueabi-gcc >/dev/null || die "arm-linux-gnueabi-gcc is not installed"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/board-kernel
case $series in
6.1)
    fragment=$root/board/kernel.config
    source=/usr/src/linux-source-6.1.tar.xz
    version=$(dpkg-query -W -f='${Version}' linux-source-6.1 2>/dev/null) && [ -r "$source" ] ||
        die "linux-source-6.1 is not installed"
    dir=$cache/$version-$(sha256sum "$fragment" | cut -c1-16)
    targets=(zImage modules dtbs)
    oldconfig=olddefconfig
    ;;
2.6.35)
    fragment=$root/board/linux-2.6.35/kernel.config
    source=${BOARD_LINUX_2635:-$root/../shared/linux-2.6.35.6-arm.tar.xz}
    [ -r "$source" ] || die "no 2.6.35 source at $source (set BOARD_LINUX_2635)"
    # A tree is known by its files' sizes and times, a tarball by its content.
    if [ -d "$source" ]; then
        id=$(cd "$source" && find . -type f -printf '%P %s %T@\n' | sort | sha256sum)
    else
        id=$(sha256sum <"$source")
    fi
    version=2.6.35-$(cat "$fragment" "$root"/board/linux-2.6.35/*.patch - <<<"$id" | sha256sum | cut -c1-16)
    dir=$cache/$version
    targets=(zImage modules)
    oldconfig=oldconfig # no olddefconfig yet: every new question gets its default
    ;;
*) die "unknown kernel $series: 6.1 or 2.6.35" ;;
esac
mkdir -p "$cache"
# One build per key, however many runs ask at once.
exec 9>"$dir.lock"
flock 9
if [ -f "$dir/done" ]; then
    echo "$dir"
    exit 0
fi

echo "board-kernel: building $version into $dir (several minutes, once)" >&2
start=$(date +%s)
rm -rf "$dir"
mkdir -p "$dir/src" "$dir/build" # 2.6.35 wants O= to exist
if [ -d "$source" ]; then
    cp -a "$source/." "$dir/src/"
else
    tar -xf "$source" -C "$dir/src" --strip-components=1
fi
log=$dir/build.log
# LOCALVERSION= keeps the release the tree's own (no "+").
kmake=(make -C "$dir/src" O="$dir/build" ARCH=arm CROSS_COMPILE=arm-linux-gnueabi- LOCALVERSION=)
{
    if [ "$series" = 2.6.35 ]; then
        for p in "$root"/board/linux-2.6.35/*.patch; do
            patch -d "$dir/src" -p0 --forward --batch <"$p" || exit
        done
    fi
    "${kmake[@]}" versatile_defconfig &&
        cat "$fragment" >>"$dir/build/.config" &&
        { { yes '' || true; } | "${kmake[@]}" $oldconfig; } &&
        "${kmake[@]}" -j "$(nproc)" "${targets[@]}"
} >"$log" 2>&1 || { tail -n 40 "$log" >&2; die "build failed, see $log"; }
# A fragment line Kconfig dropped (a typo, a missing dependency) would go unnoticed.
missing=$(sed -n 's/^\(CONFIG_[A-Z0-9_]*=.*\)/\1/p; s/^# \(CONFIG_[A-Z0-9_]*\) is not set/\1=n/p' "$fragment" |
    while IFS= read -r line; do
        case $line in
        *=n) ! grep -q "^${line%=n}=" "$dir/build/.config" || echo "$line" ;;
        *) grep -qxF "$line" "$dir/build/.config" || echo "$line" ;;
        esac
    done)
[ -z "$missing" ] || die "not in the kernel's .config: $missing"
cp "$dir/build/arch/arm/boot/zImage" "$dir/"
[ "$series" = 2.6.35 ] || cp "$dir/build/arch/arm/boot/dts/versatile-pb.dtb" "$dir/"
rm -rf "$dir/src/Documentation"
touch "$dir/done"
echo "board-kernel: built in $(($(date +%s) - start)) s" >&2
echo "$dir"
