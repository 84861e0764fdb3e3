#!/bin/bash
# board-kernel.sh: builds the board's kernel from Debian's linux-source-6.1 for the
# ARM926 (versatile_defconfig plus board/kernel.config) and prints the directory that
# holds zImage, versatile-pb.dtb and build/, the tree modules build against. The build
# takes minutes, so it is kept under ${XDG_CACHE_HOME:-~/.cache}/board-kernel, keyed by
# the source package's version and the fragment's content.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fragment=$root/board/kernel.config
tarball=/usr/src/linux-source-6.1.tar.xz
version=$(dpkg-query -W -f='${Version}' linux-source-6.1 2>/dev/null) && [ -r "$tarball" ] ||
    { echo "board-kernel: linux-source-6.1 is not installed" >&2; exit 1; }
command -v arm-linux-gnueabi-gcc >/dev/null ||
    { echo "board-kernel: arm-linux-gnueabi-gcc is not installed" >&2; exit 1; }
cache=${XDG_CACHE_HOME:-$HOME/.cache}/board-kernel
dir=$cache/$version-$(sha256sum "$fragment" | cut -c1-16)
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
mkdir -p "$dir"
tar -xf "$tarball" -C "$dir"
kmake=(make -C "$dir/linux-source-6.1" O="$dir/build" ARCH=arm CROSS_COMPILE=arm-linux-gnueabi-)
log=$dir/build.log
{
    "${kmake[@]}" versatile_defconfig &&
        cat "$fragment" >>"$dir/build/.config" &&
        "${kmake[@]}" olddefconfig &&
        "${kmake[@]}" -j "$(nproc)" zImage modules dtbs
} >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "board-kernel: build failed, see $log" >&2; exit 1; }
# A fragment line Kconfig dropped (a typo, a missing dependency) would go unnoticed.
missing=$(sed -n 's/^\(CONFIG_[A-Z0-9_]*=.*\)/\1/p; s/^# \(CONFIG_[A-Z0-9_]*\) is not set/\1=n/p' "$fragment" |
    while IFS= read -r line; do
        case $line in
        *=n) ! grep -q "^${line%=n}=" "$dir/build/.config" || echo "$line" ;;
        *) grep -qxF "$line" "$dir/build/.config" || echo "$line" ;;
        esac
    done)
[ -z "$missing" ] || { echo "board-kernel: not in the kernel's .config: $missing" >&2; exit 1; }
cp "$dir/build/arch/arm/boot/zImage" "$dir/build/arch/arm/boot/dts/versatile-pb.dtb" "$dir/"
rm -rf "$dir/linux-source-6.1/Documentation"
touch "$dir/done"
echo "board-kernel: built in $(($(date +%s) - start)) s" >&2
echo "$dir"
