#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, ASan and UBSan (in build-fuzz/) and runs each
# one for a bounded time over a working copy of its committed corpus, with the dictionary.
# Fails on the first finding (an invariant broken, a sanitizer report, a crash, a leak).
#   scripts/fuzz.sh [--seconds S] [TARGET...]     default: 50 s each, every target (CI)
#   scripts/fuzz.sh --campaign [--seconds S] ...  a long local campaign: 1800 s each by default,
#                                                 at the lowest priority
#   --runs N                                      stop a target after N executions (or S seconds)
# Prints the executions of each target. Findings are written to build-fuzz/findings/; new
# corpus entries stay in build-fuzz/corpus/ (merge the useful ones into tests/fuzz/corpus/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=50 campaign=0 runs=-1 targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --campaign) campaign=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    -*) echo "usage: fuzz.sh [--campaign] [--seconds S] [--runs N] [TARGET...]" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ "$campaign" = 1 ] && [ "$seconds" = 50 ]; then
  seconds=1800
fi

"$root/scripts/setup.sh" --fuzz
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DPLC_FUZZ=ON -DPLC_BUILD_TESTS=OFF \
  -DPLC_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$root"/tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
nice=()
[ "$campaign" = 1 ] && nice=(nice -n 19)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/findings"

failed=() summary=()
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  cp -n "$root/tests/fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  log="$build/findings/$t.log"
  echo "== fuzz_$t for ${seconds} s"
  if "${nice[@]}" "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -runs="$runs" -timeout=10 -rss_limit_mb=2048 \
       -dict="$root/tests/fuzz/plc.dict" -artifact_prefix="$build/findings/$t-" -print_final_stats=1 \
       "$corpus" >"$log" 2>&1; then
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    summary+=("$t: ${executed:-?} executions in ${secs:-?} s")
  else
    grep -E -A2 'invariant broken|ERROR|runtime error' "$log" | head -20
    echo "fuzz: fuzz_$t found a fault; reproducer: $(ls -t "$build/findings/$t-"* 2>/dev/null | head -1)" >&2
    summary+=("$t: FINDING")
    failed+=("$t")
  fi
done
for line in "${summary[@]}"; do echo "fuzz: $line"; done
[ ${#failed[@]} -eq 0 ]
