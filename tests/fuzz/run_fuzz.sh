#!/bin/bash
# Runs one fuzz target: first on its regression inputs (corpus/<name>/ here, every one
# a past finding or a hand-made edge), then for a bounded time from seeds made of the
# end-to-end case files.
#   run_fuzz.sh FUZZER NAME CASES_DIR WORK_DIR SECONDS [libFuzzer options...]
set -euo pipefail
fuzzer=$1 name=$2 cases=$3 work=$4 seconds=$5
shift 5
here=$(cd "$(dirname "$0")" && pwd)
seeds=$work/seeds
rm -rf "$seeds" "$work/laid" "$work/rows" && mkdir -p "$seeds" "$work/found"

# Two files as one input: a 16-bit little-endian length, the first file, the second.
pair() { # FIRST SECOND OUT
    perl -0777 -e 'my @f = map { open(my $f, "<", $_) or die "$_: $!"; scalar <$f> // "" } @ARGV;
        print pack("v", length $f[0]), @f' "$1" "$2" >"$3"
}
. "$here/../case.sh"
for c in "$cases"/kelmora/*/; do case_lay "$c" "$work/laid/$(basename "$c")"; done
i=0
for dir in "$work"/laid/*/in; do
    [ -d "$dir" ] || continue
    i=$((i + 1))
    conf=$(find "$dir" -maxdepth 1 -type f -name '*.conf' | head -1)
    case $name in
    line_reader|supplicant) [ -z "$conf" ] || cp "$conf" "$seeds/$i" ;;
    text_profile|binary_patch)
        ext=txt; [ "$name" = binary_patch ] && ext=bin
        profile=$(find "$dir" -maxdepth 1 -type f -name "*.$ext" | head -1)
        [ -n "$conf" ] && [ -n "$profile" ] && pair "$conf" "$profile" "$seeds/$i" ;;
    esac
done
# From physmem's rows, laid out as cases: each row's arguments NUL apart (request), or
# each argument and memory line alone (args).
for row in $([[ $name != physmem_* ]] || sed -n 's/^name: //p' "$cases/physmem.rows"); do
    bash "$here/../run_case.sh" "$cases/physmem.rows" "$row" "$work/rows/$row"
    laid=$work/rows/$row
    if [ "$name" = physmem_args ]; then
        while IFS= read -r word; do
            printf %s "$word" >"$seeds/$row-$((i += 1))"
        done < <(cat "$laid/args" "$laid/mem" 2>/dev/null)
    elif [ -f "$laid/args" ]; then
        perl -0777 -pe 's/\n\z//; y/\n/\0/' "$laid/args" >"$seeds/$row"
    fi
done
seed_count=$(find "$seeds" -type f | wc -l)
[ "$seed_count" -gt 0 ] || { echo "FAIL: no seeds for $name"; exit 1; }
echo "$name: $seed_count seeds"

if [ -d "$here/corpus/$name" ]; then
    find "$here/corpus/$name" -type f -print0 | xargs -0 -r "$fuzzer" >"$work/regressions.log" 2>&1 ||
        { cat "$work/regressions.log"; echo "FAIL: a regression input of $name"; exit 1; }
fi
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/" "$@" "$work/found" "$seeds"
