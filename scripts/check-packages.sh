#!/usr/bin/env bash
# Checks the Debian packages that scripts/package.sh made, with dpkg-deb alone: name, version,
# architecture, description, dependencies, the files and their paths, and plug-ins and
# programs for the right machine, stripped, without debug info.
#   scripts/check-packages.sh [native|arm64|armhf|all]...   (default: native; packages in $PLC_PACKAGE_DIR or dist/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${PLC_PACKAGE_DIR:-$root/dist}
. "$root/scripts/packages.sh"
install_missing check-packages dpkg-dev file binutils

archs=()
for arg in "${@:-native}"; do
  case "$arg" in
    native) archs+=("$(dpkg --print-architecture)") ;;
    arm64|armhf) archs+=("$arg") ;;
    all) archs+=("$(dpkg --print-architecture)" arm64 armhf) ;;
    *) echo "usage: check-packages.sh [native|arm64|armhf|all]..." >&2; exit 2 ;;
  esac
done

version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
failures=0
fail() { echo "check-packages: $deb: $*" >&2; failures=$((failures + 1)); }

# What `file` says about an executable or shared object of a Debian architecture.
elf_of() { case "$1" in amd64) echo 'ELF 64-bit LSB .*x86-64' ;; arm64) echo 'ELF 64-bit LSB .*ARM aarch64' ;;
                        armhf) echo 'ELF 32-bit LSB .*ARM, EABI5' ;; *) echo 'ELF' ;; esac; }
multiarch_of() { dpkg-architecture -a "$1" -qDEB_HOST_MULTIARCH 2>/dev/null; }

# check_deb PACKAGE ARCH "REQUIRED DEPENDS" "ALLOWED DEPENDS" FILE...
#   REQUIRED: packages that must be among the dependencies; ALLOWED: the only ones that may be.
check_deb() {
  local name=$1 arch=$2 required=$3 allowed=$4
  shift 4
  deb="$dir/${name}_${version}_${arch}.deb"
  if [ ! -f "$deb" ]; then
    fail "missing"
    return
  fi
  [ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "Package is $(dpkg-deb -f "$deb" Package)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is $(dpkg-deb -f "$deb" Version), not $version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture is $(dpkg-deb -f "$deb" Architecture)"
  # apt show prints a summary line and a long description under it.
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "no long description"

  local deps dep
  deps=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | { grep -v '^$' || true; } | sort -u | tr '\n' ' ')
  for dep in $required; do
    case " $deps" in *" $dep "*) ;; *) fail "does not depend on $dep (Depends: $deps)" ;; esac
  done
  for dep in $deps; do
    case " $allowed " in *" $dep "*) ;; *) fail "depends on $dep, which its files do not need" ;; esac
  done

  local listed expected
  listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
  expected=$(printf '%s\n' "$@" | sort)
  [ "$listed" = "$expected" ] || fail "files are
$listed
expected
$expected"

  local tmp f what
  tmp=$(mktemp -d)
  dpkg-deb -x "$deb" "$tmp"
  for f in "$@"; do
    [ -f "$tmp/$f" ] || continue
    case "$f" in *.h|*.pc|*.cmake) continue ;; esac
    if [ "${f%.a}" != "$f" ]; then
      # A static library: its objects are for $arch and carry no debug info.
      (cd "$tmp" && mkdir -p ar && cd ar && ar x "../$f")
      for o in "$tmp"/ar/*.o; do
        what=$(file -b "$o")
        echo "$what" | grep -Eq "^$(elf_of "$arch")" || fail "$f: $(basename "$o") is not for $arch: $what"
        if readelf -S -W "$o" | grep -Eq '\.z?debug_'; then fail "$f: $(basename "$o") carries debug sections"; fi
      done
      rm -rf "$tmp/ar"
      continue
    fi
    what=$(file -b "$tmp/$f")
    echo "$what" | grep -Eq "^$(elf_of "$arch")" || fail "$f is not for $arch: $what"
    case "$what" in *"not stripped"*|*"with debug_info"*) fail "$f is not stripped: $what" ;; esac
    if readelf -S -W "$tmp/$f" | grep -Eq '\.(z?debug_|gnu_debuglink)'; then
      fail "$f carries debug sections"
    fi
    case "$f" in
      *.so.1) nm -D --defined-only "$tmp/$f" | grep -Eq ' T getSharedLibrary$' \
                || fail "$f does not export getSharedLibrary unmangled" ;;
    esac
  done
  rm -rf "$tmp"
  printf 'check-packages: %-36s %-6s %7d bytes  Depends: %s\n' "$name" "$arch" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Depends)"
}

runtime="libc6 libgcc-s1 libstdc++6"
for arch in "${archs[@]}"; do
  ma=$(multiarch_of "$arch")
  plugins="./usr/lib/$ma/plc-drivers"
  check_deb plc-driver-korvane "$arch" "libqt5core5a libqt5network5" \
            "$runtime libqt5core5a libqt5network5" "$plugins/libKorvane.so.1"
  check_deb plc-driver-pellimor "$arch" "libqt5core5a libqt5network5 libqt5serialport5" \
            "$runtime libqt5core5a libqt5network5 libqt5serialport5" "$plugins/libPellimor.so.1"
  check_deb plc-driver-tools "$arch" "libqt5core5a libqt5network5" \
            "$runtime libqt5core5a libqt5network5 libqt5serialport5" ./usr/bin/drvhost ./usr/bin/plcsim
  dev_lib="./usr/lib/$ma"
  check_deb plc-driver-dev "$arch" "qtbase5-dev" "qtbase5-dev" \
            ./usr/include/plc-drivers/CDriveBaseClass.h ./usr/include/plc-drivers/CLabelVariable.h \
            "$dev_lib/libplc-label-variable.a" "$dev_lib/pkgconfig/plc-drivers.pc" \
            "$dev_lib/cmake/PlcDrivers/PlcDriversConfig.cmake" "$dev_lib/cmake/PlcDrivers/PlcDriversConfigVersion.cmake" \
            "$dev_lib/cmake/PlcDrivers/PlcDriversTargets.cmake" \
            "$dev_lib/cmake/PlcDrivers/PlcDriversTargets-relwithdebinfo.cmake"
done

if [ "$failures" -gt 0 ]; then
  echo "check-packages: $failures problems" >&2
  exit 1
fi
