#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs the read benchmark: both plug-ins loaded as
# a host loads them, against plcsim in a process of its own, side by side with a minimal socket
# client. Options go to the benchmark, for example: scripts/bench.sh --reads 5000 --only s7
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" -DPLC_BUILD_BENCH=ON >/dev/null
"$root/build/bench/bench_host_read" "$@"
