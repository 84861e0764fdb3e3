#!/bin/bash
# boot.sh MODE ARMV5_BUILD WORK: boots the emulated ARM926 board (QEMU versatilepb) on
# one of the project's kernels (scripts/board-kernel.sh), BOARD_KERNEL: 6.1 (the default)
# or 2.6.35, the device's series. The guest has busybox (scripts/board-busybox.sh), the
# ARMv5 build's kelmora and physmem, the board's GPIO controller (gpio-sim/) and lampora.
# WORK/flash.img (flash-ubifs.img for UBIFS) is the 64 MiB NOR flash that holds
# /mnt/conf, with the file system BOARD_FS names: jffs2 (the default, writes through) or
# ubifs (UBIFS on UBI, writes back: only fsync makes data durable).
#   shell     a shell on this terminal (make board); the flash is kept between runs
# The test modes boot with the guest halves of tests/board (tests/board/files) and
# leave the logs in WORK for the host halves there, which run them and judge:
#   checks    the guest checks of tests/board/checks.sh, over two boots of one flash
#   powercut  power cuts while profiles are saved (tests/board/powercut.sh); the
#             environment sets POWERCUT_CUTS (60), POWERCUT_SEED (random), POWERCUT_LANES (2)
# Exit status: 0 when the boots went as asked, 77 when a tool the board needs is
# missing, 1 otherwise.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
mode=$1 build=$2 work=$3 fs=${BOARD_FS:-jffs2} series=${BOARD_KERNEL:-6.1}
fail() { echo "board: $*" >&2; exit 1; }
# For a user a missing tool is an error; a test's host half decides what it means.
unavailable() {
    echo "board: $*" >&2
    [ "$mode" = shell ] && exit 1
    exit 77
}

# The kernels: whether QEMU passes a device tree (2.6.35 boots from ATAGS), the flash's
# MTD name there (/proc/mtd without mtdparts), and the module build's extra arguments
# (2.6.35 has no W=1; its log is checked for warnings all the same).
#       kernel  dtb  flash          module build
table="6.1     yes  34000000.flash W=1
2.6.35  no   armflash.0     -"
read -r _ dtb flash_mtd kbuild_extra < <(awk -v k="$series" '$1 == k' <<<"$table") ||
    fail "BOARD_KERNEL=$series: one of $(cut -d' ' -f1 <<<"$table" | xargs)"
[ "$kbuild_extra" != - ] || kbuild_extra=
PATH=$PATH:/usr/sbin:/sbin # mkfs.ubifs and ubinize

tools=(qemu-system-arm arm-linux-gnueabi-gcc fakeroot cpio timeout)
case $fs in
jffs2) ;;
ubifs) tools+=(mkfs.ubifs ubinize) ;;
*) fail "BOARD_FS=$fs: jffs2 or ubifs" ;;
esac
for tool in "${tools[@]}"; do
    command -v $tool >/dev/null || unavailable "$tool is not installed"
done
[ -f "${XDG_CACHE_HOME:-$HOME/.cache}/board-tools/source/busybox/.unpacked" ] ||
    unavailable "no busybox source (scripts/install-deps.sh board fetches it)"
case $series in
6.1) [ -r /usr/src/linux-source-6.1.tar.xz ] || unavailable "linux-source-6.1 is not installed" ;;
2.6.35)
    src=${BOARD_LINUX_2635:-$top/../shared/linux-2.6.35.6-arm.tar.xz}
    [ -r "$src" ] || unavailable "no 2.6.35 source at $src (BOARD_LINUX_2635 names a tarball or tree)"
    ;;
esac
for p in kelmora physmem; do
    [ -x "$build/$p/$p" ] || fail "no $build/$p/$p: build the armv5 preset first"
done
kernel=$("$top/scripts/board-kernel.sh" "$series") || fail "the board's kernel did not build"
busybox=$("$top/scripts/board-busybox.sh") || fail "the board's busybox did not build"
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The module and the board's GPIO controller, cross-built against the board's kernel:
# any warning fails.
cross=(ARCH=arm CROSS_COMPILE=arm-linux-gnueabi- $kbuild_extra)
build_module() { # SRC OUT
    rm -rf "$2"
    mkdir -p "$2"
    cp "$1"/* "$2"/
    if [ -f "$2/Makefile" ]; then
        set -- "$1" "$2" make -C "$2" KDIR="$kernel/build"
    else
        set -- "$1" "$2" make -C "$kernel/build" M="$2"
    fi
    "${@:3}" "${cross[@]}" modules >"$2/build.log" 2>&1 && ! grep -iE 'warning:|error:' "$2/build.log" ||
        { cat "$2/build.log"; fail "the module build of $1 is not clean"; }
}
build_module "$top/lampora" "$work/lampora"
build_module "$top/board/gpio-sim" "$work/gpio-sim"
make -C "$work/lampora" KDIR="$kernel/build" "${cross[@]}" INSTALL_MOD_PATH="$work/staging" \
    modules_install >"$work/lampora/install.log" 2>&1 &&
    [ -n "$(find "$work/staging/lib/modules" -name lampora.ko)" ] ||
    { cat "$work/lampora/install.log"; fail "modules_install did not install lampora.ko"; }

root=$work/root
rm -rf "$root"
modules=$root/lib/modules/$(cat "$kernel/build/include/config/kernel.release")
mkdir -p "$root"/{bin,dev,etc,proc,sys,tmp,guest} "$modules/extra"
cp "$busybox" "$build/kelmora/kelmora" "$build/physmem/physmem" "$root/bin/"
cp "$top/board/init" "$root/init"
cp "$work/gpio-sim/board-gpio-sim.ko" "$work/lampora/lampora.ko" "$modules/extra/"
printf '%s\n' board-gpio-sim lampora >"$root/lib/modules/order"
printf '%s\n' root:x:0:0:root:/:/bin/sh user:x:1000:1000:user:/tmp:/bin/sh \
    nobody:x:65534:65534:nobody:/nonexistent:/bin/sh >"$root/etc/passwd"
printf '%s\n' root:x:0: user:x:1000: nogroup:x:65534: >"$root/etc/group"
cp -r "$top/examples" "$root/examples"
if [ "$mode" != shell ]; then
    # tests/board/files: "HOST-PATH GUEST-PATH" lines, paths from the top of the tree.
    while read -r from to; do
        case $from in '#'* | '') continue ;; esac
        mkdir -p "$root/$(dirname "$to")"
        cp -r "$top/$from" "$root/$to"
    done <"$top/tests/board/files"
fi
# Not a terminal (a script, a here-document): the shell runs what comes on standard input,
# which would otherwise reach the board's serial line before anything reads it.
if [ "$mode" = shell ] && [ ! -t 0 ]; then
    cat >"$root/guest/shell.in"
fi
(cd "$root" && fakeroot sh -c 'mknod dev/console c 5 1 && find . | cpio -o -H newc --quiet') \
    >"$work/initramfs.cpio"

# UBI refuses the whole CFI device (it has several erase regions): UBI and so UBIFS sit on
# one command-line partition covering it, mtd0. The volume "conf" with an empty UBIFS is
# made here, before the first boot; UBI grows it over the flash at its first attach.
if [ "$fs" = ubifs ]; then
    rm -rf "$work/ubi"
    mkdir -p "$work/ubi/empty"
    printf '%s\n' '[conf]' mode=ubi "image=$work/ubi/conf.ubifs" vol_id=0 vol_type=dynamic \
        vol_name=conf vol_flags=autoresize >"$work/ubi/ubi.ini"
    # 256 KiB erase blocks, each losing two 64-byte headers to UBI; byte-writable NOR.
    { mkfs.ubifs -m 1 -e 262016 -c 240 -r "$work/ubi/empty" -o "$work/ubi/conf.ubifs" &&
        ubinize -o "$work/ubi/ubi.img" -p 262144 -m 1 "$work/ubi/ubi.ini"; } >"$work/ubi/log" 2>&1 ||
        { cat "$work/ubi/log"; fail "the UBI image did not build"; }
fi
# blank_flash IMAGE: 64 MiB of erased NOR flash (0xFF), which JFFS2 mounts as empty;
# for UBIFS with the empty volume at its start.
blank_flash() {
    head -c $((64 << 20)) /dev/zero | tr '\0' '\377' >"$1"
    [ "$fs" != ubifs ] || dd if="$work/ubi/ubi.img" of="$1" conv=notrunc status=none
}
flash=$work/flash.img
[ "$fs" = jffs2 ] || flash=$work/flash-$fs.img
qemu=(qemu-system-arm -M versatilepb -m 128 -kernel "$kernel/zImage"
    -initrd "$work/initramfs.cpio" -net none -no-reboot -audiodev none,id=snd -global pl041.audiodev=snd)
[ "$dtb" = no ] || qemu+=(-dtb "$kernel/versatile-pb.dtb")
# lpj skips the delay loop calibration; quiet keeps the console for the guest's lines;
# mem=127M leaves the last MiB of RAM to physmem's checks, where no kernel data lives.
append="console=ttyAMA0 panic=-1 quiet lpj=1000000 mem=127M board.fs=$fs board.kernel=$series"
append+=" mtdparts=$flash_mtd:-(conf)"
[ "$fs" != ubifs ] || append+=" ubi.mtd=0"

# boot RUN FLASH LOG: one boot in the background, serial console to LOG; sets $pid.
boot() {
    : >"$3.raw"
    "${qemu[@]}" -display none -monitor none -serial "file:$3.raw" \
        -drive "if=pflash,format=raw,file=$2" -append "$append board.run=$1" </dev/null >"$3.qemu" 2>&1 &
    pid=$!
}
# await SECONDS: waits for QEMU to end by itself; kills it after SECONDS.
await() {
    local i
    for ((i = 0; i < $1 * 10; i++)); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    if kill -KILL $pid 2>/dev/null; then
        { wait $pid; } 2>/dev/null || true
        echo "FAIL: QEMU did not end within $1 s" >&2
        return 1
    fi
    wait $pid || { echo "FAIL: QEMU ended with status $?" >&2; return 1; }
}
# finish LOG: the log without carriage returns, and without a last line the power cut
# broke off; fails on any kernel fault in it.
finish() {
    tr -d '\r\0' <"$1.raw" >"$1" # 2.6.35's console starts with a NUL
    [ -z "$(tail -c 1 "$1")" ] || sed -i '$d' "$1"
    if grep -E 'Oops|BUG:|Call Trace|Kernel panic' "$1" >&2; then
        echo "FAIL: the kernel reported a fault ($1)" >&2
        return 1
    fi
}

case $mode in
shell)
    [ -f "$flash" ] || blank_flash "$flash"
    exec "${qemu[@]}" -nographic -serial mon:stdio -drive "if=pflash,format=raw,file=$flash" \
        -append "$append board.run=shell"
    ;;
checks)
    blank_flash "$flash"
    fail=0
    for run in checks persist; do
        start=$(date +%s.%N)
        boot "$run" "$flash" "$work/$run.log"
        await 300 || fail=1
        end=$(date +%s.%N)
        finish "$work/$run.log" || fail=1
        cat "$work/$run.log"
        awk -v s="$start" -v e="$end" -v r="$run" 'BEGIN { printf "boot %s: %.1f s\n", r, e - s }'
    done
    exit $fail
    ;;
powercut)
    cuts=${POWERCUT_CUTS:-60} lanes=${POWERCUT_LANES:-2} seed=${POWERCUT_SEED:-$RANDOM}
    per=$(((cuts + lanes - 1) / lanes))
    echo "powercut on $fs: $lanes boards, $per cuts each, seed $seed (replay: POWERCUT_SEED=$seed)"
    # lane N: one board, its own flash; boot, let the saves run a random while, cut.
    # board.boot numbers the boot, so every save of a lane writes a version of its own.
    lane() {
        local n=$1 b log ms
        RANDOM=$((seed * 16 + n))
        blank_flash "$work/flash$n.img"
        for ((b = 0; b <= per; b++)); do
            log=$work/cut$n-$(printf %03d $b).log
            if [ $b = $per ]; then # the last boot only checks
                boot "powercut board.boot=$b board.cut=last" "$work/flash$n.img" "$log"
                await 300 || true
            else
                boot "powercut board.boot=$b" "$work/flash$n.img" "$log"
                for ((i = 0; i < 3000; i++)); do
                    grep -q '^SAVING' "$log.raw" 2>/dev/null || ! kill -0 $pid 2>/dev/null && break
                    sleep 0.1
                done
                ms=$((100 + RANDOM % 1400))
                sleep "$((ms / 1000)).$(printf %03d $((ms % 1000)))"
                kill -KILL $pid 2>/dev/null
                { wait $pid; } 2>/dev/null || true
                echo "board $n boot $b: power cut $ms ms into the saves"
            fi
            finish "$log" || echo "FAULT" >>"$log"
            grep -q '^CUT mount failed' "$log" && blank_flash "$work/flash$n.img"
        done
    }
    rm -f "$work"/cut*.log*
    start=$(date +%s)
    for ((n = 0; n < lanes; n++)); do lane $n & done
    wait
    echo "powercut: $(($(date +%s) - start)) s"
    ;;
*) fail "unknown mode $mode" ;;
esac
