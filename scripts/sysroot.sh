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
if [ -f "$stamp" ] && [ "$(head -n1 "$stamp")" = "$wanted" ] && [ -s "$dir/.plc-shlibs" ]; then
  # One made without its security suite (a broken index that day) is tried anew a day later.
  if [ "$(sed -n 3p "$stamp")" = "whole" ] || [ -z "$(find "$stamp" -mmin +1440)" ]; then
    echo "sysroot: reusing $dir ($(sed -n 2p "$stamp"))"
    exit 0
  fi
fi

# apt_source SUITE: "URI KEYRING" of the first enabled apt source that names SUITE with the
# component main for $arch, from deb822 .sources files and one-line .list files alike.
apt_source() {
  local suite=$1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " suite " ") \
            && (" " comps " ") ~ / main / && (archs == "" || (" " archs " ") ~ (" " arch " "))) {
          split(uris, u, " "); print u[1], (key == "" ? "-" : key); found = 1; exit }
        types = uris = suites = comps = key = enabled = archs = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[^ \t]/ { colon = index($0, ":"); field = tolower(substr($0, 1, colon - 1)); value = substr($0, colon + 1)
        gsub(/^[ \t]+|[ \t]+$/, "", value); gsub(/[ \t]+/, " ", value)
        if (field == "types") types = value; else if (field == "uris") uris = value
        else if (field == "suites") suites = value; else if (field == "components") comps = value
        else if (field == "signed-by") key = value; else if (field == "enabled") enabled = tolower(value)
        else if (field == "architectures") archs = value }
      END { if (!found) flush() }' arch="$arch" "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # deb [options] URI SUITE COMPONENT...
    awk -v suite="$suite" '
      $1 == "deb" { opts = ""; i = 2
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        if ($(i + 1) != suite) next
        if (match(opts, /arch=[^] ]+/) && ("," substr(opts, RSTART + 5, RLENGTH - 5) ",") !~ ("," arch ",")) next
        for (c = i + 2; c <= NF; c++) if ($c == "main") {
          key = "-"; if (match(opts, /signed-by=[^] ]+/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
          print $i, key; exit } }' arch="$arch" "$f"
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
# The suites to try, fullest first: a broken index costs only what it indexes. The main suite
# alone is tried twice, for a mirror in the middle of a sync.
attempts=()
[ ${#extra_lines[@]} -eq 0 ] || attempts+=("$(printf '%s\n' "$main_line" "${extra_lines[@]}")")
[ ${#extra_lines[@]} -lt 2 ] || attempts+=("$(printf '%s\n' "$main_line" "${extra_lines[0]}")")
attempts+=("$main_line" "$main_line")
made=""
for try in "${!attempts[@]}"; do
  mapfile -t lines <<<"${attempts[$try]}"
  if [ "$try" -gt 0 ]; then
    grep -E '^E: ' "$log" | head -n3 >&2 || true
    echo "sysroot: trying again from $(printf '%s\n' "${lines[@]}" | awk '{ print $4 }' | paste -sd, -)" >&2
    [ "${lines[*]}" != "${attempts[$((try - 1))]//$'\n'/ }" ] || sleep 20
  fi
  if make_root "${lines[@]}"; then
    made=$(printf '%s\n' "${lines[@]}" | awk '{ print $4 }' | paste -sd, -)
    break
  fi
done
if [ -z "$made" ]; then
  cat "$log"
  echo "sysroot: making the $arch sysroot failed" >&2
  exit 1
fi
whole="whole"
[ "$(printf '%s\n' "$main_line" "${extra_lines[@]}" | awk '{ print $4 }' | paste -sd, -)" = "$made" ] || whole="partial"
[ "$whole" = whole ] || echo "sysroot: an index for $arch is not whole: $arch sysroot from $made alone" >&2

# qemu-user looks up every path in the sysroot first: device nodes there would shadow the
# machine's own (a pseudo-terminal opened through the sysroot's /dev/ptmx has no /dev/pts entry).
$sudo rm -rf "$dir"/dev "$dir"/proc "$dir"/sys "$dir"/run "$dir"/tmp

# soname -> dependency, from the shlibs file of each package ("libQt5Core 5 libqt5core5a (>= 5.15.1)").
# A dependency named without a version (libstdc++6's, libgcc-s1's) gets the package's own upstream
# version: the binaries were linked against it, and an older one may lack their symbols.
shlibs=$(mktemp)
for deb in "$dir"/var/cache/apt/archives/*.deb; do
  upstream=$(dpkg-deb -f "$deb" Version | sed 's/^[0-9]*://; s/-[^-]*$//')
  dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./shlibs 2>/dev/null \
    | awk -v upstream="$upstream" 'NF >= 3 && $1 !~ /^#/ && $1 !~ /:$/ {
             name = $1; ver = $2; $1 = $2 = ""; sub(/^ +/, "")
             if ($0 !~ /[(|,]/) $0 = $0 " (>= " upstream ")"
             print name ".so." ver, $0; print name "-" ver ".so", $0 }' >>"$shlibs" || true
done
$sudo rm -f "$dir"/var/cache/apt/archives/*.deb
for so in libc.so.6 libstdc++.so.6 libQt5Core.so.5; do
  grep -q "^${so//./\\.} " "$shlibs" || { rm -f "$shlibs"; echo "sysroot: no shlibs entry for $so in $dir" >&2; exit 1; }
done
sort -u "$shlibs" | $sudo tee "$dir/.plc-shlibs" >/dev/null
rm -f "$shlibs"
# Made through sudo, the folder still belongs to whoever builds in it.
[ -z "$sudo" ] || $sudo chown -R "$(id -u):$(id -g)" "$dir"
printf '%s\n%s\n%s\n' "$wanted" "$made" "$whole" >"$stamp"
echo "sysroot: made $dir from $made in $((SECONDS - t0)) s ($(du -sh "$dir" | cut -f1))"
