#!/bin/bash
# Installs every Debian package the builds and tests need. Each concern lists its
# packages in scripts/packages/*.list (one per line, "#" comments); a package with an
# ":armel" suffix brings in that foreign architecture first.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(cat "$here"/packages/*.list | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && { echo "install-deps: all ${#wanted[@]} packages present"; exit 0; }
if printf '%s\n' "${missing[@]}" | grep -q ':armel$' && ! dpkg --print-foreign-architectures | grep -qx armel; then
    dpkg --add-architecture armel
fi
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update -qq
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
