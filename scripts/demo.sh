#!/usr/bin/env bash
# Installs what is missing, builds, and runs the host program against both plug-ins.
#   scripts/demo.sh                         against the built-in simulator (plcsim)
#   scripts/demo.sh --s7 IP:PORT            against a real S7 PLC (reads only)
#   scripts/demo.sh --ppi CONNECTION_TEXT   against a real PPI station (reads only), e.g. /dev/ttyUSB0,9600,8,1,E
#   --station N sets the PPI station address (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
s7="" ppi="" station=2
while [ $# -gt 0 ]; do
  case "$1" in
    --s7) s7=$2; shift 2 ;;
    --ppi) ppi=$2; shift 2 ;;
    --station) station=$2; shift 2 ;;
    *) echo "usage: demo.sh [--s7 IP:PORT] [--ppi CONNECTION_TEXT] [--station N]" >&2; exit 2 ;;
  esac
done

"$root/scripts/setup.sh"
build="$root/build"
"$root/scripts/build.sh" "$build" >/dev/null
host="$build/tools/drvhost/drvhost"
korvane="$build/s7/libKorvane.so.1"
pellimor="$build/ppi/libPellimor.so.1"

banner() { printf '\n== %s\n' "$*"; }

if [ -n "$s7" ] || [ -n "$ppi" ]; then
  # A real PLC: read a few variables, write nothing.
  if [ -n "$s7" ]; then
    banner "S7 PLC at $s7"
    "$host" "$korvane" --connect "$s7" read M0 UInt8 4 read Q0.0 Bool 8 read I0 UInt8 2 read DB1.DBW0 Int16 2 || true
  fi
  if [ -n "$ppi" ]; then
    banner "PPI station $station at $ppi"
    "$host" "$pellimor" --station "$station" --connect "$ppi" read V0 UInt8 4 read M0 UInt8 2 read I0.0 Bool 8 || true
  fi
  exit 0
fi

work=$(mktemp -d)
sim_log="$work/plcsim.log"
"$build/tools/plcsim/plcsim" --s7-port 0 --ppi-port 0 --ppi-pty "$work/ttyPPI" --station "$station" >"$sim_log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -rf "$work"' EXIT

for _ in $(seq 100); do
  [ "$(grep -c '^plcsim: ' "$sim_log" || true)" -ge 3 ] && break
  kill -0 $sim 2>/dev/null || { cat "$sim_log"; exit 1; }
  sleep 0.1
done
cat "$sim_log"
s7_port=$(sed -n 's/^plcsim: S7 listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$sim_log")
ppi_port=$(sed -n 's/^plcsim: PPI station .* listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$sim_log")

# Some calls below fail on purpose (a write into the inputs, addresses that fit no form); drvhost
# then exits with 1, which is what the demo expects. Anything else stops it.
host_some_fail() { "$host" "$@" || [ $? -eq 1 ]; }

banner "libKorvane.so.1 against plcsim (S7 over ISO-on-TCP, 127.0.0.1:$s7_port)"
host_some_fail "$korvane" --connect "127.0.0.1:$s7_port" \
  write DB5.DBW20 Int16 1234,-2 read DB5.DBW20 Int16 2 \
  write V100 Float 3.25 read V100 Float \
  write M10 UInt8 7,8,9 read M10 UInt8 3 \
  write Q0.3 Bool 1 read Q0.0 Bool 8 \
  write DB5.DBD40 Double 2.5 read DB5.DBD40 Double \
  write DB5.DBD60 Int64 -9000000000 read DB5.DBD60 Int64 \
  write I0.0 Bool 1 read I0 UInt8 \
  read MW10 UInt8 read M1.2.3 Int16 read X5 Int16

banner "libPellimor.so.1 against plcsim (PPI through a TCP gateway, 127.0.0.1:$ppi_port, station $station)"
host_some_fail "$pellimor" --station "$station" --connect "127.0.0.1:$ppi_port" \
  write V200 UInt16 500,600 read V200 UInt16 2 \
  write M4.1 Bool 1 read M4 UInt8 \
  write Q1 Int32 -77 read Q1 Int32 \
  read DB5.DBW20 Int16 2

banner "libPellimor.so.1 against plcsim (PPI on the serial line $work/ttyPPI, station $station)"
"$host" "$pellimor" --station "$station" --connect "$work/ttyPPI,9600,8,1,E" \
  read V200 UInt16 2 write VB300 Int8 -5 read V300 Int8 read V100 Float

banner "Commissioning check: 200 rounds of reads and a write over S7 (drvhost --repeat)"
"$host" "$korvane" --connect "127.0.0.1:$s7_port" --repeat 200 \
  read DB5.DBW20 Int16 2 read V100 Float write M10 UInt8 7,8,9 read I0.0 Bool 8
