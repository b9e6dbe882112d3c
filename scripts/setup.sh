#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages. Safe to run again: only
# missing packages are installed.
#   scripts/setup.sh          the build and the tests
#   scripts/setup.sh --fuzz   and clang with libFuzzer and the sanitizer runtimes (scripts/fuzz.sh)
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config binutils file
          qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev)
if [ "${1:-}" = "--fuzz" ]; then
  # clang 14 is Debian 12's; libFuzzer comes with its runtime libraries, only recommended by it.
  packages+=(clang libclang-rt-14-dev)
fi

. "$(dirname "$0")/packages.sh"
missing_packages "${packages[@]}"
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
