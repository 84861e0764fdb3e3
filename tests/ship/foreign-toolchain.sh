#!/bin/bash
# foreign-toolchain.sh SOURCE_DIR WORK: configures, builds and installs the project with
# nothing but a build system's kind of toolchain file (foreign-toolchain.cmake, Debian's
# ARM glibc cross compiler) and the usual CMake variables, then checks the install tree.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../test-env.sh"
src=$1 work=$2
command -v arm-linux-gnueabi-g++ >/dev/null || unavailable "arm-linux-gnueabi-g++ is not installed"
command -v qemu-arm >/dev/null || unavailable "qemu-arm is not installed"
rm -rf "$work" && mkdir -p "$work"
if ! { cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$here/foreign-toolchain.cmake" -DCMAKE_INSTALL_PREFIX=/opt/board &&
       cmake --build "$work/build" --target kelmora physmem; } >"$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log"
    fail "the project does not build with a plain toolchain file"
fi
LAUNCHER=qemu-arm bash "$here/install-tree.sh" "$work/build" "$work/install"
