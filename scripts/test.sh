#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests.
#   scripts/test.sh              native build in build/
#   scripts/test.sh --sanitize   with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   scripts/test.sh --tsan       the tests that drive the plug-ins from several threads, with
#                                ThreadSanitizer, in build-tsan/ (only what they need is built)
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
if [ "${1:-}" = "--tsan" ]; then
  dir="$root/build-tsan"
  thread_tests=(tst_host_usage tst_plugin_load)
  # A race between two accesses of the plug-ins' code fails the run (scripts/tsan-reports.sh).
  rm -rf "$dir/tsan" && mkdir -p "$dir/tsan"
  export TSAN_OPTIONS="exitcode=0:log_path=$dir/tsan/report"
  cmake -S "$root" -B "$dir" -G Ninja -DPLC_TSAN=ON -DPLC_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "${thread_tests[@]}"
  ctest --test-dir "$dir" --output-on-failure -j2 -R "^($(IFS='|'; echo "${thread_tests[*]}"))\$"
  shopt -s nullglob
  exec "$root/scripts/tsan-reports.sh" "$root" "$dir"/tsan/report*
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"
ctest --test-dir "$dir" --output-on-failure -j2
