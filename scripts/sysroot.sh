#!/usr/bin/env bash
# Makes the root file system of a target board that a cross build compiles, links and runs its
# tests against: the target's C library, libstdc++ and Qt 5, unpacked from Debian's packages
# into a folder. Nothing is installed on the build machine, and no foreign architecture is
# added to it, so the target's libraries never have to match the build machine's versions.
#   scripts/sysroot.sh ARCH DIR        (ARCH: arm64 or armhf)
# A folder made from the same list of packages and the same Debian release is reused as it
# is; remove it to make it anew (with today's security updates, say).
# The packages come from the suites that the machine's apt sources name: the release's main
# suite always, its updates and security suites when their index for ARCH is whole.
# Beside the files, DIR/.plc-shlibs lists "soname dependency" for every library of the
# sysroot, from its package's shlibs file: scripts/sysroot-depends.sh computes the Depends
# of the target's Debian packages from it.
set -euo pipefail
arch=${1:?usage: sysroot.sh ARCH DIR}
dir=${2:?usage: sysroot.sh ARCH DIR}

packages=(libc6-dev libstdc++-12-dev qtbase5-dev libqt5serialport5-dev)
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
stamp="$dir/.plc-sysroot"
wanted="$arch $codename ${packages[*]}"
if [ -f "$stamp" ] && [ "$(head -n1 "$stamp")" = "$wanted" ] && [ -f "$dir/.plc-shlibs" ]; then
  echo "sysroot: reusing $dir ($(sed -n 2p "$stamp"))"
  exit 0
fi

# apt_source SUITE: "URI KEYRING" of the first enabled apt source that names SUITE with the
# component main, from deb822 .sources files and one-line .list files alike.
apt_source() {
  local suite=$1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " suite " ") \
            && (" " comps " ") ~ / main /) { split(uris, u, " "); print u[1], (key == "" ? "-" : key); found = 1; exit }
        types = uris = suites = comps = key = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      { field = tolower($1); sub(/:$/, "", field); $1 = ""; sub(/^ +/, "")
        if (field == "types") types = $0; else if (field == "uris") uris = $0
        else if (field == "suites") suites = $0; else if (field == "components") comps = $0
        else if (field == "signed-by") key = $0; else if (field == "enabled") enabled = tolower($0) }
      END { if (!found) flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # deb [options] URI SUITE COMPONENT...
    awk -v suite="$suite" '
      $1 == "deb" { opts = ""; i = 2
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        if ($(i + 1) != suite) next
        for (c = i + 2; c <= NF; c++) if ($c == "main") {
          key = "-"; if (match(opts, /signed-by=[^] ]+/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
          print $i, key; exit } }' "$f"
  done
}

# source_line SUITE: the sources.list line mmdebstrap takes, or nothing when no source names SUITE.
source_line() {
  local uri key
  read -r uri key < <(apt_source "$1" | head -n1) || return 0
  [ -n "${uri:-}" ] || return 0
  [ "$key" != "-" ] || key=/usr/share/keyrings/debian-archive-keyring.gpg
  echo "deb [signed-by=$key] $uri $1 main"
}

main_line=$(source_line "$codename")
[ -n "$main_line" ] || { echo "sysroot: no apt source names the suite $codename with main" >&2; exit 1; }
extra_lines=()
for suite in "$codename-updates" "$codename-security"; do
  line=$(source_line "$suite")
  [ -z "$line" ] || extra_lines+=("$line")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# make_root LINE...: unpacks the packages from the suites of those sources into $dir.
make_root() {
  $sudo rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  # extract: the packages' files only, no maintainer scripts, so no emulator is needed. The
  # downloaded packages are kept until their shlibs files have been read.
  $sudo mmdebstrap --variant=extract --architectures="$arch" --include="$(IFS=,; echo "${packages[*]}")" \
    --skip=cleanup/apt/cache "$codename" "$dir" "$@" >"$log" 2>&1
}

t0=$SECONDS
suites="$codename"
if [ ${#extra_lines[@]} -gt 0 ] && make_root "$main_line" "${extra_lines[@]}"; then
  suites="$codename with $(printf '%s\n' "${extra_lines[@]}" | awk '{ print $4 }' | paste -sd, -)"
else
  if [ ${#extra_lines[@]} -gt 0 ]; then
    # A mirror whose index for this architecture does not match its release file (in the
    # middle of a sync, or broken for days) would otherwise stop every cross build.
    grep -E '^(E|W): ' "$log" | grep -v 'skipping mounting' | head -n5 || true
    echo "sysroot: an updates or security index for $arch is not whole: $arch sysroot from $codename alone" >&2
  fi
  if ! make_root "$main_line"; then
    cat "$log"
    echo "sysroot: making the $arch sysroot failed" >&2
    exit 1
  fi
fi

# qemu-user looks up every path in the sysroot first: device nodes there would shadow the
# machine's own (a pseudo-terminal opened through the sysroot's /dev/ptmx has no /dev/pts entry).
$sudo rm -rf "$dir"/dev "$dir"/proc "$dir"/sys "$dir"/run "$dir"/tmp

# soname -> dependency, from the shlibs file of each package ("libQt5Core 5 libqt5core5a (>= 5.15.1)").
shlibs=$(mktemp)
for deb in "$dir"/var/cache/apt/archives/*.deb; do
  dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./shlibs 2>/dev/null \
    | awk 'NF >= 3 && $1 !~ /^#/ && $1 !~ /:$/ {
             name = $1; ver = $2; $1 = $2 = ""; sub(/^ +/, "")
             print name ".so." ver, $0; print name "-" ver ".so", $0 }' >>"$shlibs" || true
done
$sudo rm -f "$dir"/var/cache/apt/archives/*.deb
sort -u "$shlibs" | $sudo tee "$dir/.plc-shlibs" >/dev/null
rm -f "$shlibs"
printf '%s\n%s\n' "$wanted" "$suites" | $sudo tee "$stamp" >/dev/null
echo "sysroot: made $dir from $suites in $((SECONDS - t0)) s ($(du -sh "$dir" | cut -f1))"
