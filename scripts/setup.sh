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
install_missing setup "${packages[@]}"
