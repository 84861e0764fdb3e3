#!/bin/bash
# Installs every Debian package the builds and tests need. Each concern lists its
# packages in scripts/packages/*.list (one per line, "#" comments); a package with an
# ":armel" suffix brings in that foreign architecture first. Packages in *.unpack lists
# belong to another machine's root file system (the emulated board's): they are
# downloaded and unpacked under ${XDG_CACHE_HOME:-~/.cache}/board-tools/unpacked/NAME,
# never installed, so the host's own programs stay as they are.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
names() { cat "$here"/packages/*."$1" | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u; }
mapfile -t wanted < <(names list)
mapfile -t unpacked < <(names unpack)
export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -o DPkg::Lock::Timeout=600)
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#wanted[@]} packages present"
else
    if printf '%s\n' "${missing[@]}" "${unpacked[@]}" | grep -q ':armel$' &&
        ! dpkg --print-foreign-architectures | grep -qx armel; then
        dpkg --add-architecture armel
    fi
    "${apt[@]}" update -qq
    "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

cache=${XDG_CACHE_HOME:-$HOME/.cache}/board-tools/unpacked
for p in "${unpacked[@]}"; do
    dir=$cache/${p/:/_}
    [ -f "$dir/.unpacked" ] && continue
    tmp=$(mktemp -d)
    chmod 777 "$tmp" # apt fetches as its own user
    (cd "$tmp" && { "${apt[@]}" download -qq "$p" || { "${apt[@]}" update -qq && "${apt[@]}" download -qq "$p"; }; })
    rm -rf "$dir"
    mkdir -p "$dir"
    dpkg-deb -x "$tmp"/*.deb "$dir"
    rm -rf "$tmp"
    touch "$dir/.unpacked"
    echo "install-deps: $p unpacked into $dir"
done
