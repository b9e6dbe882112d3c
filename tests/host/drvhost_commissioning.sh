#!/usr/bin/env bash
# drvhost as an integrator runs it: the real program and plug-in files against plcsim in a
# process of its own, checking what a person reads (the summary's rows, the values, the error
# lines) and the exit status. Used by ctest on the build tree and by scripts/install-test.sh on
# the installed packages.
#   drvhost_commissioning.sh DRVHOST PLCSIM LIBKORVANE LIBPELLIMOR
# PLC_EMULATOR (e.g. "qemu-aarch64 -L /path/to/sysroot") runs the programs of a cross build.
set -uo pipefail
drvhost=$1 plcsim=$2 korvane=$3 pellimor=$4
read -r -a emu <<<"${PLC_EMULATOR:-}"

work=$(mktemp -d)
sim=""
cleanup() {
  [ -z "$sim" ] || { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# host NAME ARGS...: runs drvhost, output in $work/NAME.out and .err, exit status in $status.
host() {
  local name=$1
  shift
  "${emu[@]}" "$drvhost" "$@" >"$work/$name.out" 2>"$work/$name.err"
  status=$?
}

# row NAME "read DB1.DBW0 Int16 x2" CALLS "RESULTS": the summary's row of that operation has
# CALLS calls, exactly those result counts, and min <= median <= max.
row() {
  local name=$1 label=$2 calls=$3 results=$4 got
  got=$(awk -v label="$label" '
    /^summary / { inSummary = 1; next }
    inSummary && $1 " " $2 " " $3 " " $4 == label {
      r = $9; for (i = 10; i <= NF; i++) r = r " " $i
      print $5 "|" r "|" (($6 + 0 <= $7 + 0 && $7 + 0 <= $8 + 0) ? "ordered" : "min/median/max out of order")
    }' "$work/$name.out")
  [ "$got" = "$calls|$results|ordered" ] \
    || fail "$name: row '$label' is '$got', expected '$calls|$results|ordered'"
}

expect_status() {
  [ "$status" -eq "$2" ] || fail "$1: exit status $status, expected $2"
}

expect_line() {
  grep -Eq "$2" "$work/$1.out" || fail "$1: no line matching '$2'"
}

# --- the simulator ---------------------------------------------------------------------------
mkfifo "$work/sim.fifo"
"${emu[@]}" "$plcsim" --s7-port 0 --ppi-port 0 >"$work/sim.fifo" 2>"$work/sim.err" &
sim=$!
exec 3<"$work/sim.fifo"
s7_port="" ppi_port=""
for _ in 1 2; do
  IFS= read -r -t 60 line <&3 || break
  case "$line" in
    "plcsim: S7 listening on 127.0.0.1:"*) s7_port=${line##*:} ;;
    "plcsim: PPI station "*" listening on 127.0.0.1:"*) ppi_port=${line##*:} ;;
  esac
done
if [ -z "$s7_port" ] || [ -z "$ppi_port" ]; then
  cat "$work/sim.err" >&2
  echo "FAIL: plcsim did not start" >&2
  exit 1
fi

# --- S7: good variables, a fault block and an address that fits no form -------------------------
# DB 60006 answers with an error in the S7 header (code 7); M1.2.3 is refused unsent (code 3).
host s7 "$korvane" --connect "127.0.0.1:$s7_port" --repeat 50 \
  write DB1.DBW0 Int16 1234,-2 read DB1.DBW0 Int16 2 read DB60006.DBW0 Int16 read M1.2.3 UInt8
expect_status s7 1
row s7 "write DB1.DBW0 Int16 x2" 50 "0 ok: 50"
row s7 "read DB1.DBW0 Int16 x2" 50 "0 ok: 50"
row s7 "read DB60006.DBW0 Int16 x1" 50 "7 wrong answer: 50"
row s7 "read M1.2.3 UInt8 x1" 50 "3 no known area: 50"
expect_line s7 '^summary  50 rounds in '
expect_line s7 '^100 of 200 calls failed$'
expect_line s7 '^read +DB1\.DBW0 +Int16 +x2 +-> 0 ok +1234,-2$'
# The PLC's reason behind a 7, as a person reads it, on the call's own line.
expect_line s7 '^read +DB60006\.DBW0 +Int16 +x1 +-> 7 wrong answer \(PLC: 0x81/0x04 function not allowed, PUT/GET access may be off in the PLC\)'
if grep -q $'\r' "$work/s7.out"; then fail "s7: a progress line although the output is not a terminal"; fi

# Every call succeeds: exit status 0. The pause between rounds does not change the counts.
host s7ok "$korvane" --connect "127.0.0.1:$s7_port" --repeat 20 --interval 5 \
  read DB1.DBW0 Int16 2 read I0.0 Bool 8
expect_status s7ok 0
row s7ok "read DB1.DBW0 Int16 x2" 20 "0 ok: 20"
row s7ok "read I0.0 Bool x8" 20 "0 ok: 20"
expect_line s7ok '^summary  20 rounds in .*, interval 5 ms$'
expect_line s7ok '^all 40 calls succeeded$'

# --- PPI through the gateway: DB 9010 answers with an error item (code 7), DB 9007 never -------
host ppi "$pellimor" --station 2 --connect "127.0.0.1:$ppi_port" --repeat 30 \
  write V10 UInt8 1,2,3 read V10 UInt8 3 read DB9010.DBW0 Int16
expect_status ppi 1
row ppi "write V10 UInt8 x3" 30 "0 ok: 30"
row ppi "read V10 UInt8 x3" 30 "0 ok: 30"
row ppi "read DB9010.DBW0 Int16 x1" 30 "7 wrong answer: 30"
expect_line ppi '^30 of 90 calls failed$'
expect_line ppi '^read +V10 +UInt8 +x3 +-> 0 ok +1,2,3$'
# The PPI station carries the same S7 jobs: its reason is named as well.
expect_line ppi '^read +DB9010\.DBW0 +Int16 +x1 +-> 7 wrong answer \(PLC: 0x0A object does not exist'

# --- the seeded timers and counters as a person reads them; a read of PQ is refused unsent ------
host s7areas "$korvane" --connect "127.0.0.1:$s7_port" read T5 Int32 read C5 Int16 read PQW256 Int16
expect_line s7areas '^read +T5 +Int32 +x1 +-> 0 ok +5000$'
expect_line s7areas '^read +C5 +Int16 +x1 +-> 0 ok +42$'
expect_line s7areas '^read +PQW256 +Int16 +x1 +-> 3 '
host ppiareas "$pellimor" --station 2 --connect "127.0.0.1:$ppi_port" read T37 Int32 read C5 Int16 write T37 Int32 100
expect_line ppiareas '^read +T37 +Int32 +x1 +-> 0 ok +15000$'
expect_line ppiareas '^read +C5 +Int16 +x1 +-> 0 ok +-3$'
expect_line ppiareas '^write +T37 +Int32 +x1 +-> 3 '
# Text and time tags: the seeded texts, a write and its read back, a text longer than declared.
host s7texts "$korvane" --connect "127.0.0.1:$s7_port,charset=windows-1252" read 'DB7.STRING24[10]' String \
  read DB7.DT60 String read DB7.S5TIME90 String write 'DB7.STRING0[10]' String 'Recipe B|x' \
  read 'DB7.STRING0[10]' String 2 write 'DB7.STRING0[4]' String 'Recipe B' read DB7.STRING92 String
expect_line s7texts '^read +DB7\.STRING24\[10\] +String +x1 +-> 0 ok +Größe €$'
expect_line s7texts '^read +DB7\.DT60 +String +x1 +-> 0 ok +2026-12-09T23:04:05\.123$'
expect_line s7texts '^read +DB7\.S5TIME90 +String +x1 +-> 0 ok +S5T#12s500ms$'
expect_line s7texts '^read +DB7\.STRING0\[10\] +String +x2 +-> 0 ok +Recipe B\|x$'
expect_line s7texts '^write +DB7\.STRING0\[4\] +String +x1 +-> 4 '
expect_line s7texts '^read +DB7\.STRING92 +String +x1 +-> 7 '
host ppitexts "$pellimor" --station 2 --connect "127.0.0.1:$ppi_port" read VSTRING4000 String \
  write 'VSTRING4000[20]' String 你好 read VSTRING4000 String read VDT4032 String
expect_line ppitexts '^read +VSTRING4000 +String +x1 +-> 0 ok +Hello$'
expect_line ppitexts '^read +VSTRING4000 +String +x1 +-> 0 ok +你好$'
expect_line ppitexts '^read +VDT4032 +String +x1 +-> 0 ok +2026-12-09T23:04:05\.123$'

host ppisilent "$pellimor" --station 2 --connect "127.0.0.1:$ppi_port" --repeat 2 read DB9007.DBW0 Int16
expect_status ppisilent 1
row ppisilent "read DB9007.DBW0 Int16 x1" 2 "8 no answer: 2"

# --- on a terminal a progress line shows the rounds --------------------------------------------
if command -v script >/dev/null; then
  printf -v cmd '%q ' "${emu[@]}" "$drvhost" "$korvane" --connect "127.0.0.1:$s7_port" --repeat 3 read M0 UInt8
  script -qec "$cmd" /dev/null >"$work/tty.out" 2>&1 </dev/null
  grep -q $'\rround 3 of 3, 0 calls failed' "$work/tty.out" || fail "tty: no progress line on a terminal"
  grep -q '^all 3 calls succeeded' "$work/tty.out" || fail "tty: no summary"
fi

# --- Ctrl-C ends a long run and still prints the summary of the rounds so far ----------------------
mkfifo "$work/interrupt.fifo"
"${emu[@]}" "$drvhost" "$korvane" --connect "127.0.0.1:$s7_port" --repeat 1000 --interval 50 read M0 UInt8 \
  >"$work/interrupt.fifo" 2>/dev/null &
host_pid=$!
exec 4<"$work/interrupt.fifo"
sent=""
while IFS= read -r -t 60 line <&4; do
  echo "$line" >>"$work/interrupt.out"
  # The first round's line says the link works: interrupt from there on.
  case "$line" in "read "*"-> 0 ok"*) [ -n "$sent" ] || { kill -INT "$host_pid"; sent=1; } ;; esac
done
exec 4<&-
wait "$host_pid"
status=$?
expect_status interrupt 130
expect_line interrupt '^summary  [0-9]+ of 1000 rounds \(interrupted\) in '
expect_line interrupt '^all [0-9]+ calls succeeded$'
expect_line interrupt '^release +-> 0$'

# --- mistakes: one line on stderr, nothing sent ---------------------------------------------------
host badopt "$korvane" --connect "127.0.0.1:$s7_port" --frobnicate read M0 UInt8
expect_status badopt 2
[ "$(cat "$work/badopt.err")" = "drvhost: unknown option '--frobnicate' (drvhost --help shows how to call it)" ] \
  || fail "badopt: stderr is '$(cat "$work/badopt.err")'"
[ ! -s "$work/badopt.out" ] || fail "badopt: printed more than the error"

host badtype "$korvane" --connect "127.0.0.1:$s7_port" read M0 Int17
expect_status badtype 2
[ "$(wc -l <"$work/badtype.err")" -eq 1 ] && grep -q "^drvhost: unknown type 'Int17' (one of Bool Int8 " "$work/badtype.err" \
  || fail "badtype: stderr is '$(cat "$work/badtype.err")'"

host badrepeat "$korvane" --repeat 0 read M0 UInt8
expect_status badrepeat 2
[ "$(cat "$work/badrepeat.err")" = "drvhost: --repeat wants a whole number from 1 to 1000000, not '0'" ] \
  || fail "badrepeat: stderr is '$(cat "$work/badrepeat.err")'"

host noplugin "$work/no-such-plugin.so.1" --connect "127.0.0.1:$s7_port" read M0 UInt8
expect_status noplugin 3

host help --help
expect_status help 0
for option in --connect --station --repeat --interval --debug --help "Examples:"; do
  grep -q -- "$option" "$work/help.out" || fail "help: does not mention $option"
done

if [ "$failures" -gt 0 ]; then
  for f in "$work"/*.out; do echo "--- $(basename "$f")"; cat "$f"; done >&2
  exit 1
fi
echo "drvhost commissioning checks passed"
