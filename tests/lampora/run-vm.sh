#!/bin/bash
# run-vm.sh LAMPORA_KO PHYSMEM WORKDIR: boots Debian's kernel under QEMU (TCG) with an
# initramfs of busybox, the LED driver and triggers, a simulated GPIO controller,
# lampora.ko and physmem; the guest's /init runs the checks and prints PASS or FAIL.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/kernel-env.sh"
lampora_ko=$1 physmem=$2 work=$3

# Every check the guest must pass, as /init names them.
checks=(
    "modules loaded"
    "kernel log holds the three lines in order"
    "LEDs READY, LINK and Reserve exist"
    "triggers heartbeat, none, gpio"
    "LINK and Reserve start off (lines 37 and 38 high)"
    "LINK is active low on GPIO 37"
    "READY's line 36 toggles under heartbeat"
    "rmmod lampora is refused and the LEDs stay"
    "physmem reads 16 bytes of BIOS ROM at 0xf0000"
    "physmem writes a word of VGA text memory at 0xb8000"
    "physmem read of RAM at 16 MiB is refused"
)

release=$(debian_kernel linux-image-amd64 linux-image)
[ -n "$release" ] || unavailable "linux-image-amd64 is not installed"
[ "$release" = "$headers_release" ] ||
    unavailable "linux-image ($release) and linux-headers ($headers_release) differ"
kernel=/boot/vmlinuz-$release
[ -r "$kernel" ] || unavailable "cannot read $kernel"
for tool in qemu-system-x86_64 fakeroot cpio timeout; do
    command -v $tool >/dev/null || unavailable "$tool is not installed"
done
dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q 'install ok installed' ||
    unavailable "busybox-static is not installed"
[ -f "$lampora_ko" ] || { echo "FAIL: no $lampora_ko (the kbuild test makes it)" >&2; exit 1; }
[ -x "$physmem" ] || { echo "FAIL: no physmem program at $physmem" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
bash "$here/build-module.sh" "$here/gpio-sim" "$work/gpio-sim"

root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules}
cp /bin/busybox "$root/bin/busybox"
cp "$physmem" "$root/bin/physmem"
cp "$here/vm/init" "$root/init"
cp "$here/expected.log" "$root/expected.log"
chmod 755 "$root/init"
{
    cp "$work/gpio-sim/board-gpio-sim.ko" "$root/modules/"
    echo board-gpio-sim.ko
    for m in leds-gpio ledtrig-heartbeat ledtrig-gpio; do
        modprobe --show-depends -S "$release" "$m" | awk '$1 == "insmod" { print $2 }'
    done | awk '!seen[$0]++' | while read -r path; do
        cp "$path" "$root/modules/"
        basename "$path"
    done
    cp "$lampora_ko" "$root/modules/"
    echo lampora.ko
} >"$root/modules/order"
echo "guest modules: $(tr '\n' ' ' <"$root/modules/order")"
(cd "$root" && fakeroot sh -c 'mknod dev/console c 5 1 && find . | cpio -o -H newc --quiet') \
    >"$work/initramfs.cpio"

raw=$work/serial.raw
log=$work/serial.log
start=$(date +%s.%N)
status=0
timeout 300 qemu-system-x86_64 -accel tcg -m 512 -no-reboot -display none -monitor none \
    -net none -serial "file:$raw" -kernel "$kernel" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 panic=-1 quiet" </dev/null || status=$?
end=$(date +%s.%N)
tr -d '\r' <"$raw" >"$log"
cat "$log"
awk -v s="$start" -v e="$end" 'BEGIN { printf "boot cycle: %.1f s\n", e - s }'

fail=0
[ $status = 0 ] || { echo "FAIL: qemu ended with status $status" >&2; fail=1; }
if grep -E 'Oops|BUG:|Call Trace|Kernel panic' "$log" >&2; then
    echo "FAIL: the kernel reported a fault" >&2
    fail=1
fi
if grep '^FAIL' "$log" >&2; then
    fail=1
fi
for c in "${checks[@]}"; do
    grep -qxF "PASS: $c" "$log" || { echo "FAIL: no PASS for '$c'" >&2; fail=1; }
done
[ $fail = 0 ] && echo "PASS: all ${#checks[@]} guest checks"
exit $fail
