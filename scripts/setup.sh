#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages. Safe to run again: only
# missing packages are installed.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config binutils file
          qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev)

# A package is installed for the build machine (or for all architectures); "name:arch" asks
# for that architecture. Several architectures of one package print one line each.
installed() {
  local arch=${1#*:}
  [ "$arch" = "$1" ] && arch=$(dpkg --print-architecture)
  dpkg-query -W -f='${Architecture} ${Status}\n' "$1" 2>/dev/null | grep -Eq "^($arch|all) install ok installed$"
}
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
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
