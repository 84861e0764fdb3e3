#!/bin/bash
# Prints the figures of docs/testing.md as Markdown tables, counted from the tree as it
# is and from the build directories that exist: cases per program, tests per preset and
# label, test code against program code, the ARMv5 sizes against their budgets, and the
# board checks.
#   scripts/test-figures.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

nonblank() { # FILE...: non-blank lines in all of them
    [ $# -eq 0 ] && { echo 0; return; }
    cat -- "$@" | grep -c '[^[:space:]]' || true
}
files() { # PATTERN...: the tracked files, or every file where there is no git
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -- "$@"
    else
        for p in "$@"; do find "${p%%/\**}" -type f 2>/dev/null; done
    fi
}

echo '## Cases'
echo
echo '| program | case folders | case rows |'
echo '|---|---|---|'
for program in $(ls tests/cases | sed 's/\.rows$//' | sort -u); do
    folders=0 rows=0
    [ ! -d "tests/cases/$program" ] ||
        folders=$(find "tests/cases/$program" -mindepth 1 -maxdepth 1 -type d | wc -l)
    [ ! -f "tests/cases/$program.rows" ] || rows=$(grep -c '^name: ' "tests/cases/$program.rows")
    echo "| $program | $folders | $rows |"
done
echo

echo '## Tests per preset and label'
echo
configured=false
for build in build/*; do
    [ -f "$build/CTestTestfile.cmake" ] || continue
    configured=true
    mapfile -t labels < <(ctest --test-dir "$build" --print-labels 2>/dev/null | sed -n 's/^  //p')
    total=$(ctest --test-dir "$build" -N 2>/dev/null | sed -n 's/^Total Tests: //p')
    printf '`%s`:\n\n| label | tests |\n|---|---|\n' "$build"
    for label in "${labels[@]}"; do
        n=$(ctest --test-dir "$build" -N -L "^$label\$" 2>/dev/null | sed -n 's/^Total Tests: //p')
        echo "| $label | $n |"
    done
    echo "| all | $total |"
    echo
done
$configured || { echo 'No configured build under build/: run cmake --preset NAME first.'; echo; }

echo '## Test code and program code'
echo
# Code only: data (expected outputs, lists, inputs) is not counted.
code='\.(sh|py|cpp|h|c|awk|pl|cmake)$|CMakeLists\.txt$|/(setup|verify|during)$'
mapfile -t program_files < <(files 'kelmora/*.cpp' 'kelmora/*.h' 'physmem/*.cpp' 'physmem/*.h' \
    'lampora/*.c' | grep -v '_test\.cpp$' | sort -u)
mapfile -t test_files < <({
    files 'tests/*' | grep -v '^tests/cases/'
    files '*_test.cpp'
    files 'tests/cases/*' | grep -E '/(setup|verify|during)$'
} | grep -E "$code" | sort -u)
program_lines=$(nonblank "${program_files[@]}")
test_lines=$(nonblank "${test_files[@]}")
echo '| code | files | non-blank lines |'
echo '|---|---|---|'
echo "| programs (kelmora/, physmem/, lampora/ without *_test.cpp) | ${#program_files[@]} | $program_lines |"
echo "| tests (tests/ outside the case folders, *_test.cpp, the cases' setup, verify and during) | ${#test_files[@]} | $test_lines |"
echo "| tests per program line | | $(awk -v t="$test_lines" -v p="$program_lines" 'BEGIN { printf "%.2f", t / p }') |"
echo "| tests' share of all code | | $(awk -v t="$test_lines" -v p="$program_lines" 'BEGIN { printf "%d%%", 100 * t / (t + p) }') |"
echo

echo '## ARMv5 sizes'
echo
echo '| program | stripped bytes | budget | of the budget |'
echo '|---|---|---|---|'
while read -r program budget; do
    case $program in '#'* | '') continue ;; esac
    binary=build/armv5/$program/$program
    if [ -f "$binary" ]; then
        size=$(stat -c %s "$binary")
        echo "| $program | $size | $budget | $(awk -v s="$size" -v b="$budget" 'BEGIN { printf "%d%%", 100 * s / b }') |"
    else
        echo "| $program | not built (cmake --build --preset armv5) | $budget | |"
    fi
done <tests/armv5/budget.txt
echo

echo '## Board checks'
echo
echo '| what | count |'
echo '|---|---|'
echo "| checks in tests/board/checks.list, each run on every kernel and flash file system | $(grep -cv '^#' tests/board/checks.list) |"
echo "| kelmora cases copied onto the board (tests/board/files) | $(grep -c '^tests/cases/' tests/board/files) |"
