#!/bin/bash
# Source hygiene: every C and C++ file laid out as .clang-format says, the programs
# clean under the bug-finding checks of .clang-tidy, and the kernel C (the modules) in
# kernel style, clean under checkpatch.pl from Debian's linux-source-6.1.
#   lint.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR holds compile_commands.json)
set -u
src=$1 build=$2
. "$(dirname "$0")/test-env.sh"
for tool in clang-format clang-tidy; do
    command -v $tool >/dev/null || unavailable "$tool not installed"
done
[ -r /usr/src/linux-source-6.1.tar.xz ] || unavailable "linux-source-6.1 not installed"
cd "$src" || exit 1
fail=0
kernel_c=(lampora/lampora.c board/gpio-sim/board-gpio-sim.c)
mapfile -t sources < <(find kelmora physmem lampora tests cmake -name '*.c' -o -name '*.cpp' -o -name '*.h' |
    grep -vxF -f <(printf '%s\n' "${kernel_c[@]}") | sort)
clang-format --dry-run --Werror "${sources[@]}" || { echo "FAIL: clang-format"; fail=1; }
mapfile -t programs < <(printf '%s\n' kelmora/*.cpp physmem/*.cpp | grep -v '_test\.cpp$')
# clang-tidy falls back to its defaults, and passes, when .clang-tidy does not parse.
if clang-tidy -p "$build" --dump-config "${programs[0]}" 2>&1 >/dev/null | grep .; then
    echo "FAIL: .clang-tidy"; fail=1
fi
clang-tidy -p "$build" --quiet "${programs[@]}" 2>/dev/null || { echo "FAIL: clang-tidy"; fail=1; }
checkpatch=$build/checkpatch/linux-source-6.1/scripts/checkpatch.pl
if [ ! -f "$checkpatch" ]; then
    mkdir -p "$build/checkpatch"
    tar -xJf /usr/src/linux-source-6.1.tar.xz -C "$build/checkpatch" \
        linux-source-6.1/scripts/{checkpatch.pl,spelling.txt,const_structs.checkpatch} || exit 1
fi
# lampora logs at the kernel's default level on purpose: a printk without a level.
perl "$checkpatch" --no-tree --quiet --ignore PRINTK_WITHOUT_KERN_LEVEL -f "${kernel_c[@]}" ||
    { echo "FAIL: checkpatch"; fail=1; }
[ $fail = 0 ] && echo "PASS: ${#sources[@]} files formatted, ${#programs[@]} program sources tidy," \
    "${#kernel_c[@]} kernel sources in kernel style"
exit $fail
