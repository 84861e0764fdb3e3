# Sourced by the kernel tests: finds Debian's kernel and headers, and decides what a
# missing tool means (a failure in CI, a skip elsewhere).

. "$(dirname "${BASH_SOURCE[0]}")/../test-env.sh"

# debian_kernel PACKAGE PREFIX: the kernel release that a Debian meta package pulls in.
debian_kernel() {
    dpkg-query -W -f='${Depends}' "$1" 2>/dev/null | tr ',' '\n' |
        sed -n "s/^ *$2-\([^ ]*\).*/\1/p" | head -n 1
}

headers_release=$(debian_kernel linux-headers-amd64 linux-headers)
[ -n "$headers_release" ] || unavailable "linux-headers-amd64 is not installed"
KDIR=/usr/src/linux-headers-$headers_release
[ -f "$KDIR/Makefile" ] || unavailable "no kernel tree at $KDIR"
command -v modinfo >/dev/null || unavailable "modinfo (kmod) is not installed"
