#!/bin/bash
# kbuild-test.sh SRC OUT: builds lampora with its own Makefile against Debian's headers,
# checks its module information and that modules_install puts it where the kernel's does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/kernel-env.sh"
src=$1 out=$2/lampora

bash "$here/build-module.sh" "$src" "$out"
ko=$out/lampora.ko
[ -f "$ko" ] || { echo "FAIL: no lampora.ko" >&2; exit 1; }
modinfo "$ko"

fail=0
while IFS=$'\t' read -r field want; do
    case $field in '#'* | '') continue ;; esac
    got=$(modinfo -F "$field" "$ko")
    if [ "$got" != "$want" ]; then
        echo "FAIL: modinfo $field: got '$got', want '$want'" >&2
        fail=1
    fi
done <"$here/modinfo.expected"
vermagic=$(modinfo -F vermagic "$ko")
case $vermagic in
"$headers_release "*) ;;
*) echo "FAIL: vermagic '$vermagic' is not for $headers_release" >&2; fail=1 ;;
esac

staging=$2/staging
rm -rf "$staging"
make -C "$out" KDIR="$KDIR" INSTALL_MOD_PATH="$staging" modules_install >"$out/install.log" 2>&1 ||
    { cat "$out/install.log"; echo "FAIL: modules_install" >&2; fail=1; }
installed=$(find "$staging/lib/modules/$headers_release" -name lampora.ko 2>/dev/null)
if [ -z "$installed" ] || [ "$(modinfo -F name "$installed")" != lampora ]; then
    echo "FAIL: modules_install did not put lampora.ko under $staging/lib/modules" >&2
    fail=1
fi
[ $fail = 0 ] && echo "PASS: kbuild"
exit $fail
