#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages. Safe to run again: only
# missing packages are installed.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config binutils file
          qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
