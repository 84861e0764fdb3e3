#!/bin/bash
# Checks one device binary: a static 32-bit ARM EABI5 executable for the ARMv5TE CPU,
# within its stripped size budget.
#   check_binary.sh BINARY BUDGET_TXT READELF STRIP
set -u
bin=$1 budget=$2 readelf=$3 strip=$4
name=$(basename "$bin")
fail=0

kind=$(file -b "$bin")
echo "file: $kind"
for want in "ELF 32-bit LSB executable, ARM, EABI5" "statically linked"; do
    case $kind in *"$want"*) ;; *) echo "FAIL: not \"$want\""; fail=1 ;; esac
done

arch=$("$readelf" -A "$bin" | sed -n 's/^ *Tag_CPU_arch: *//p')
echo "Tag_CPU_arch: $arch"
[ "$arch" = v5TE ] || { echo "FAIL: CPU architecture is \"$arch\", not v5TE"; fail=1; }
if "$readelf" -lW "$bin" | grep -q INTERP; then
    echo "FAIL: has a program interpreter"; fail=1
fi

limit=$(awk -v n="$name" '$1 == n { print $2 }' "$budget")
[ -n "$limit" ] || { echo "FAIL: $name has no budget in $budget"; exit 1; }
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
"$strip" -o "$stripped" "$bin" || exit 1
size=$(stat -c %s "$stripped")
echo "stripped size: $size bytes (budget $limit)"
[ "$size" -le "$limit" ] || { echo "FAIL: over budget by $((size - limit)) bytes"; fail=1; }
[ $fail = 0 ] && echo "PASS: $name"
exit $fail
