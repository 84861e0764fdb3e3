#!/bin/bash
# Runs one fuzz target: first on its regression inputs (corpus/<name>/ here, every one
# a past finding or a hand-made edge), then for a bounded time from seeds made of the
# end-to-end case files.
#   run_fuzz.sh FUZZER NAME CASES_DIR WORK_DIR SECONDS [libFuzzer options...]
set -euo pipefail
fuzzer=$1 name=$2 cases=$3 work=$4 seconds=$5
shift 5
here=$(cd "$(dirname "$0")" && pwd)
regressions=$here/corpus/$name
seeds=$work/seeds
rm -rf "$seeds" && mkdir -p "$seeds" "$work/found"

# Two files as one input: a 16-bit little-endian length, the first file, the second.
pair() { # first second out
    local n
    n=$(stat -c %s "$1")
    printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8 & 255)))" >"$3"
    cat "$1" "$2" >>"$3"
}
i=0
for dir in "$cases"/kelmora/*/in; do
    [ -d "$dir" ] || continue
    i=$((i + 1))
    conf=$(find "$dir" -maxdepth 1 -type f -name '*.conf' | head -1)
    case $name in
    line_reader|supplicant)
        [ -n "$conf" ] && cp "$conf" "$seeds/$i" ;;
    text_profile|binary_patch)
        ext=txt; [ "$name" = binary_patch ] && ext=bin
        profile=$(find "$dir" -maxdepth 1 -type f -name "*.$ext" | head -1)
        [ -n "$conf" ] && [ -n "$profile" ] && pair "$conf" "$profile" "$seeds/$i" ;;
    esac
done
# From physmem's rows: each row's words, NUL apart (request), or each word and memory
# line alone (args).
[[ $name != physmem_* ]] || perl -ne '
    BEGIN { ($seeds, $alone) = (shift, shift eq "physmem_args"); }
    $row++ if /^name: /;
    next unless /^(args|mem):(?: (.*))?$/ and ($alone or $1 eq "args");
    my ($seed, $word) = ($alone ? "$seeds/$row-$1-$." : "$seeds/$row", $2 // "");
    $word =~ s/\\x(..)/chr hex $1/ge;
    $word =~ s/\\t/\t/g;
    open(my $out, ">>", $seed) or die "$seed: $!";
    print $out ($alone || !$words{$row}++ ? "" : "\0"), $word;' "$seeds" "$name" "$cases/physmem.rows"
seed_count=$(find "$seeds" -type f | wc -l)
[ "$seed_count" -gt 0 ] || { echo "FAIL: no seeds for $name"; exit 1; }
echo "$name: $seed_count seeds"

if [ -d "$regressions" ]; then
    find "$regressions" -type f -print0 | xargs -0 -r "$fuzzer" >"$work/regressions.log" 2>&1 ||
        { cat "$work/regressions.log"; echo "FAIL: a regression input of $name"; exit 1; }
fi
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/" "$@" "$work/found" "$seeds"
