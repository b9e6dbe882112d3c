#!/usr/bin/env bash
# Runs the soak program against plcsim --chaos on each medium: random reads and writes through
# the plug-in file, every value returned with result 0 checked against the simulator's memory.
#   scripts/soak.sh [--calls N] [--chaos-rate R] [--seed S] [s7|ppi-tcp|ppi-pty ...]
# Defaults: 2000 calls per medium, 2 % faulty answers, seed 1, all three media (CI). Fails on a
# wrong value or a call longer than its bound. Uses the build in build/ (scripts/test.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
calls=2000 rate=0.02 seed=1 media=()
while [ $# -gt 0 ]; do
  case "$1" in
    --calls) calls=$2; shift 2 ;;
    --chaos-rate) rate=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    s7|ppi-tcp|ppi-pty) media+=("$1"); shift ;;
    *) echo "usage: soak.sh [--calls N] [--chaos-rate R] [--seed S] [s7|ppi-tcp|ppi-pty ...]" >&2; exit 2 ;;
  esac
done
[ ${#media[@]} -gt 0 ] || media=(s7 ppi-tcp ppi-pty)

build="$root/build"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build" >/dev/null

failed=()
for m in "${media[@]}"; do
  plugin="$build/ppi/libPellimor.so.1"
  [ "$m" = s7 ] && plugin="$build/s7/libKorvane.so.1"
  echo "== soak on $m: $calls calls, chaos seed $seed, rate $rate"
  if ! "$build/tools/soak/soak" "$plugin" --plcsim "$build/tools/plcsim/plcsim" --medium "$m" \
         --calls "$calls" --seed "$seed" --chaos "$seed" --chaos-rate "$rate"; then
    failed+=("$m")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "soak: failed on ${failed[*]}" >&2
  exit 1
fi
