#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet, with apt-get (through
# sudo for an ordinary user). Quiet, and quick when everything is already there.
set -euo pipefail

missing=()
for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -gt 0 ] || exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "Installing these packages needs root: run this again as root, or install them" >&2
        echo "with: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *" tshark "* ]]; then
    # tshark asks whether non-root users may capture; the answer does not matter here.
    echo "wireshark-common wireshark-common/install-setuid boolean false" |
        "${sudo_cmd[@]}" debconf-set-selections
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
