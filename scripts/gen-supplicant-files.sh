#!/bin/bash
# Regenerates the supplicant files of the kelmora cases "real-*" with the supplicant's
# own tools: wpa_passphrase, and wpa_supplicant saving what wpa_cli configured
# (update_config=1, save_config). Needs root and Debian's wpasupplicant; the supplicant
# runs in private network and mount namespaces on a virtual interface with no network.
# Each file becomes in/wpa.conf of its -text and -binary case (a run leaves it as it is);
# their expected summaries and profiles are checked by hand after a regeneration.
#   scripts/gen-supplicant-files.sh
set -euo pipefail
cases=$(cd "$(dirname "$0")/../tests/cases/kelmora" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

store() { # NAME FILE: the case input of both targets
    for target in text binary; do
        mkdir -p "$cases/real-$1-$target/in"
        cp "$2" "$cases/real-$1-$target/in/wpa.conf"
    done
}

# wpa_supplicant saves what wpa_cli set up, one "set_network" argument list per line
# ("+" adds the next network, "! COMMAND ..." runs a wpa_cli command once all are enabled).
saved() { # NAME, then the lines on standard input
    cat >"$work/cli"
    unshare -n -m --propagation private bash -euo pipefail -s "$work" <<'NS'
work=$1
mount -t tmpfs ns-run /run
if ! ip link add wl0 type dummy 2>/dev/null; then
    ip link add wl0 type veth peer name wl1 # kernels without the dummy driver
fi
ip link set wl0 up
printf 'ctrl_interface=/var/run/wpa_supplicant\nupdate_config=1\n' >"$work/wpa.conf"
wpa_supplicant -B -Dwired -iwl0 -c "$work/wpa.conf" -P "$work/pid" -f "$work/log"
for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -S /run/wpa_supplicant/wl0 ] && break
    sleep 0.5
done
cli() { wpa_cli -i wl0 "$@" >"$work/reply" && grep -qv FAIL "$work/reply"; }
id=-1
: >"$work/after"
while read -r line; do
    if [ "$line" = + ]; then
        cli add_network && id=$(cat "$work/reply")
        continue
    fi
    if [ "${line:0:1}" = '!' ]; then
        echo "${line:1}" >>"$work/after"
        continue
    fi
    eval "set -- $line"
    cli set_network "$id" "$@"
done <"$work/cli"
cli enable_network all
while read -r line; do
    eval "set -- $line"
    cli "$@"
done <"$work/after"
cli save_config
cli terminate
NS
    store "$1" "$work/wpa.conf"
}

wpa_passphrase 'Cafe # 2nd floor' 12345678 >"$work/pass8"
store wpa-passphrase-8 "$work/pass8"
wpa_passphrase workshop-lab 'the quick brown fox jumps over the lazy dog # 0123456789 "ok"!!' \
    >"$work/pass63"
store wpa-passphrase-63 "$work/pass63"

saved saved-wpa2 <<'CLI'
+
ssid '"office"'
psk '"correct horse battery"'
key_mgmt WPA-PSK
CLI
saved saved-mixed <<'CLI'
+
ssid '"warehouse"'
psk 00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff
key_mgmt WPA-PSK
proto 'WPA RSN'
pairwise 'CCMP TKIP'
CLI
saved saved-open <<'CLI'
+
ssid '"guest"'
key_mgmt NONE
CLI
saved saved-wep <<'CLI'
+
ssid '"old-printer"'
key_mgmt NONE
auth_alg SHARED
wep_key0 '"abcde"'
wep_tx_keyidx 0
CLI
saved saved-two-networks <<'CLI'
+
ssid '"office"'
psk '"correct horse battery"'
key_mgmt WPA-PSK
+
ssid '"guest"'
key_mgmt NONE
CLI
saved saved-wep-tx-key <<'CLI'
+
ssid '"lab-printer"'
key_mgmt NONE
wep_key0 '"abcde"'
wep_key1 0a1b2c3d4e
wep_tx_keyidx 1
CLI
saved saved-wep-then-open <<'CLI'
+
ssid '"old-printer"'
key_mgmt NONE
auth_alg SHARED
wep_key0 '"abcde"'
+
ssid '"guest"'
key_mgmt NONE
CLI
saved saved-sae <<'CLI'
+
ssid '"home-wpa3"'
key_mgmt SAE
sae_password '"correct horse battery"'
ieee80211w 2
CLI
saved saved-eap <<'CLI'
+
ssid '"office"'
key_mgmt WPA-EAP
eap PEAP
identity '"j.doe"'
password '"correct horse battery"'
phase2 '"auth=MSCHAPV2"'
CLI
saved saved-selected <<'CLI'
+
ssid '"office"'
psk '"correct horse battery"'
key_mgmt WPA-PSK
+
ssid '"home"'
psk '"home sweet home"'
key_mgmt WPA-PSK
+
ssid '"cafe"'
key_mgmt NONE
! select_network 0
CLI
