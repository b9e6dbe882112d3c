#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests.
#   scripts/test.sh              native build in build/
#   scripts/test.sh --sanitize   with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

dir="$root/build" opts=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  opts=(-DPLC_SANITIZE=ON -DPLC_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  # Any report fails the run: UBSan aborts on its first finding, ASan on its first error.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"
ctest --test-dir "$dir" --output-on-failure -j2
