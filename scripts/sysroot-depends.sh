#!/usr/bin/env bash
# Prints the Debian Depends of target binaries against the sysroot that scripts/sysroot.sh
# made: for every library a binary needs, the dependency that its package's shlibs file names.
#   scripts/sysroot-depends.sh SYSROOT FILE...
set -euo pipefail
sysroot=${1:?usage: sysroot-depends.sh SYSROOT FILE...}
shift
table="$sysroot/.plc-shlibs"
[ -f "$table" ] || { echo "sysroot-depends: $table is missing (scripts/sysroot.sh makes it)" >&2; exit 1; }
needed=$(for f in "$@"; do readelf -d -W "$f" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'; done | sort -u)
for so in $needed; do
  dep=$(awk -v so="$so" '$1 == so { $1 = ""; sub(/^ +/, ""); print; exit }' "$table")
  [ -n "$dep" ] || { echo "sysroot-depends: no package of $sysroot ships $so" >&2; exit 1; }
  echo "$dep"
done | sort -u | paste -sd, - | sed 's/,/, /g'
