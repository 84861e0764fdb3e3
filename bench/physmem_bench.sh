#!/bin/bash
# Dump speed of physmem against memtool md -l, od -tx4 and a printf-per-word loop, all
# on the same 64 MiB image of random words, output to /dev/null; the median of RUNS
# runs (default 5) each. Also checks that physmem's bytes equal the printf loop's.
#   bench/physmem_bench.sh [PHYSMEM]   (default: build/default/physmem/physmem)
# Needs root: physmem always opens /dev/mem, so everything runs in a private mount
# namespace where the image is bind-mounted as /dev/mem. memtool comes from
# scripts/install-deps.sh bench (scripts/packages/bench.list).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(realpath "${1:-$here/../build/default/physmem/physmem}")
runs=${RUNS:-5}

if [ -z "${BENCH_NS:-}" ]; then
    [ "$(id -u)" = 0 ] || { echo "physmem_bench: needs root for a mount namespace" >&2; exit 1; }
    command -v memtool >/dev/null ||
        { echo "physmem_bench: memtool missing, run scripts/install-deps.sh bench" >&2; exit 1; }
    [ -x "$bin" ] || { echo "physmem_bench: no $bin, build first" >&2; exit 1; }
    BENCH_NS=1 exec unshare -m --propagation private bash "$0" "$bin"
fi

size=$((64 << 20))
words=$((size / 4))
work=$(mktemp -d)
mount -t tmpfs -o size=$((size * 2)) benchfs "$work"
head -c "$size" /dev/urandom >"$work/image"
"${CXX:-c++}" -O2 -I "$here/../tests" -o "$work/printf_dump" "$here/printf_dump.cpp"
exec 3>/dev/null # kept open: /dev is replaced below
mount -t tmpfs -o size=1m benchdev /dev
: >/dev/mem
mount --bind "$work/image" /dev/mem

declare -A cmd=(
    [physmem]="$bin 0 $size"
    [memtool]="memtool md -l -s $work/image 0+$size"
    [od]="od -An -v -tx4 $work/image"
    [printf]="$work/printf_dump $work/image"
)
declare -A label=([physmem]="physmem" [memtool]="memtool md -l" [od]="od -An -v -tx4"
    [printf]="printf per word")
tools=(physmem memtool od printf)

want=$($work/printf_dump "$work/image" | md5sum)
got=$("$bin" 0 "$size" | md5sum)
[ "$want" = "$got" ] || { echo "physmem_bench: physmem output differs from printf's" >&2; exit 1; }

declare -A median
for tool in "${tools[@]}"; do
    times=()
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        # shellcheck disable=SC2086 # each command is a word list on purpose
        ${cmd[$tool]} >&3
        times+=($((($(date +%s%N) - start) / 1000)))
    done
    median[$tool]=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
done

echo "64 MiB ($words words), median of $runs runs, output to /dev/null; physmem output"
echo "byte-identical to the printf loop's"
echo
printf '| %-18s | %10s | %14s | %14s |\n' tool "seconds" "words/s" "physmem faster"
printf '|%s|%s|%s|%s|\n' -------------------- ------------ ---------------- ----------------
for tool in "${tools[@]}"; do
    us=${median[$tool]}
    ratio=$(awk -v a="$us" -v b="${median[physmem]}" 'BEGIN { printf "%.2fx", a / b }')
    printf '| %-18s | %10s | %14s | %14s |\n' "${label[$tool]}" \
        "$(awk -v u="$us" 'BEGIN { printf "%.3f", u / 1e6 }')" \
        "$(awk -v u="$us" -v w="$words" 'BEGIN { printf "%.0f", w / (u / 1e6) }')" "$ratio"
done
umount /dev/mem /dev
umount "$work" && rmdir "$work"
