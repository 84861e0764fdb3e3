#!/bin/bash
# Installs the Debian packages one target needs, and nothing more.
#   scripts/install-deps.sh TARGET          install (root)
#   scripts/install-deps.sh --list TARGET   print the packages and sources, install nothing
# Each concern lists its packages in scripts/packages/*.list (one per line, "#"
# comments); a package with an ":armel" suffix brings in that foreign architecture
# first. Source packages in *.source lists (the emulated board's userland, built by
# scripts/) are fetched and unpacked under ${XDG_CACHE_HOME:-~/.cache}/board-tools/source/NAME;
# apt gets deb-src lines for them when it has none.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The lists each target reads.
declare -A targets=(
    [example]="host armv5"         # build both programs, restore the examples
    [bundle]="host armv5"          # the board bundle
    [board]="host armv5 board"     # the emulated board
    [check]="host armv5 board tests hardening ship" # every preset and its tests
    [bench]="host bench"           # physmem's dump speed against memtool
    [casedata]="casedata"          # the supplicant-written case inputs, regenerated
)
usage() {
    echo "usage: $0 [--list] TARGET, TARGET one of: ${!targets[*]}" >&2
    exit 2
}
list=false
[ "${1:-}" = --list ] && { list=true; shift; }
[ $# = 1 ] && [ -n "${targets[$1]+set}" ] || usage
names() { # SUFFIX: the target's packages of that kind
    local f
    for f in ${targets[$target]}; do
        [ -f "$here/packages/$f.$1" ] && cat "$here/packages/$f.$1"
    done | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u || true
}
target=$1
mapfile -t wanted < <(names list)
mapfile -t sources < <(names source)
if $list; then
    printf '%s\n' "${wanted[@]}"
    [ ${#sources[@]} -eq 0 ] || printf 'source:%s\n' "${sources[@]}"
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=600)
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps $target: all ${#wanted[@]} packages present"
else
    if printf '%s\n' "${missing[@]}" | grep -q ':armel$' &&
        ! dpkg --print-foreign-architectures | grep -qx armel; then
        dpkg --add-architecture armel
    fi
    "${apt[@]}" update -qq
    "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

cache=${XDG_CACHE_HOME:-$HOME/.cache}/board-tools/source
for p in "${sources[@]}"; do
    dir=$cache/$p
    [ -f "$dir/.unpacked" ] && continue
    if ! apt-cache showsrc "$p" >/dev/null 2>&1; then
        # Debian's deb lines, as deb-src, in files of our own.
        src=/etc/apt/sources.list.d/board-tools-src
        for f in /etc/apt/sources.list.d/*.sources; do
            [ "$f" != "$src.sources" ] && grep -q '^URIs: .*debian' "$f" && grep -q '^Types: deb$' "$f" &&
                sed 's/^Types: deb$/Types: deb-src/' "$f"
        done >"$src.sources.new" || true
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' >"$src.list.new" || true
        for f in "$src".{sources,list}; do
            if [ -s "$f.new" ]; then mv "$f.new" "$f"; else rm -f "$f.new"; fi
        done
        "${apt[@]}" update -qq
    fi
    tmp=$(mktemp -d)
    chmod 777 "$tmp" # apt fetches as its own user
    (cd "$tmp" && "${apt[@]}" source -qq "$p" >/dev/null)
    rm -rf "$dir"
    mkdir -p "$cache"
    mv "$(find "$tmp" -mindepth 1 -maxdepth 1 -type d)" "$dir"
    rm -rf "$tmp"
    touch "$dir/.unpacked"
    echo "install-deps $target: the source of $p unpacked into $dir"
done
