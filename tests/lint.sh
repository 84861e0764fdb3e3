#!/bin/bash
# Source hygiene: every C and C++ file laid out as .clang-format says, and the programs
# clean under the bug-finding checks of .clang-tidy.
#   lint.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR holds compile_commands.json)
set -u
src=$1 build=$2
for tool in clang-format clang-tidy; do
    if ! command -v $tool >/dev/null; then
        [ "${CI:-}" = true ] && { echo "FAIL: $tool not installed"; exit 1; }
        echo "SKIP: $tool not installed"; exit 77
    fi
done
cd "$src" || exit 1
fail=0
mapfile -t sources < <(find kelmora physmem lampora tests cmake -name '*.c' -o -name '*.cpp' -o -name '*.h' | sort)
clang-format --dry-run --Werror "${sources[@]}" || { echo "FAIL: clang-format"; fail=1; }
mapfile -t programs < <(printf '%s\n' kelmora/*.cpp physmem/*.cpp | grep -v '_test\.cpp$')
# clang-tidy falls back to its defaults, and passes, when .clang-tidy does not parse.
if clang-tidy -p "$build" --dump-config "${programs[0]}" 2>&1 >/dev/null | grep .; then
    echo "FAIL: .clang-tidy"; fail=1
fi
clang-tidy -p "$build" --quiet "${programs[@]}" 2>/dev/null || { echo "FAIL: clang-tidy"; fail=1; }
[ $fail = 0 ] && echo "PASS: ${#sources[@]} files formatted, ${#programs[@]} program sources tidy"
exit $fail
