#!/usr/bin/env bash
# Reads ThreadSanitizer's report files and fails when one of them shows a race between two
# accesses that both come from the plug-ins' code (common/, s7/, ppi/).
#   scripts/tsan-reports.sh ROOT REPORT_FILE...
# Qt's own libraries are not instrumented, so TSan cannot see their locking (a queued call, a
# semaphore, a thread's end) and reports races where Qt orders the accesses; those have at most
# one side in our code, and are counted but not failed.
set -euo pipefail
root=$1
shift
[ $# -gt 0 ] || { echo "tsan: no reports"; exit 0; }
awk -v root="$root" '
  function ours(text) { return text ~ ("(\\.\\./|" root "/)(common|s7|ppi)/") }
  /^WARNING: ThreadSanitizer/ { inreport = 1; part = 1; first = ""; second = ""; block = ""; reports++ }
  inreport { block = block $0 "\n" }
  inreport && /^  Previous / { part = 2 }
  inreport && /^  (Location|Mutex|Thread) / { part = 3 }
  inreport && part == 1 { first = first $0 "\n" }
  inreport && part == 2 { second = second $0 "\n" }
  /^SUMMARY: ThreadSanitizer/ {
    if (ours(first) && ours(second)) { printf "%s", block; found++ }
    inreport = 0
  }
  END {
    printf "tsan: %d report(s), %d between accesses of the plug-ins\n", reports, found
    exit found > 0
  }' "$@"
