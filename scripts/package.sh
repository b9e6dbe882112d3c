#!/usr/bin/env bash
# Builds the Debian packages of each architecture: one per plug-in, one for the tools and one
# for host authors (headers, value library, pkg-config and CMake files).
#   scripts/package.sh [native|arm64|armhf|all]...      (default: native)
# Installs what is missing (as scripts/setup.sh and scripts/cross-test.sh do), builds in the
# same trees as they do (build/, and build-<arch>/ under $PLC_CROSS_BUILD_ROOT, default the
# checkout), runs cpack there and copies the packages to $PLC_PACKAGE_DIR (default dist/).
# scripts/check-packages.sh checks them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=$(realpath -m "${PLC_CROSS_BUILD_ROOT:-$root}")
out=${PLC_PACKAGE_DIR:-$root/dist}
. "$root/scripts/packages.sh"

targets=()
for arg in "${@:-native}"; do
  case "$arg" in
    native|arm64|armhf) targets+=("$arg") ;;
    all) targets+=(native arm64 armhf) ;;
    *) echo "usage: package.sh [native|arm64|armhf|all]..." >&2; exit 2 ;;
  esac
done

cross=()
for t in "${targets[@]}"; do [ "$t" = native ] || cross+=("$t"); done
"$root/scripts/setup.sh"
install_missing package dpkg-dev file binutils
if [ ${#cross[@]} -gt 0 ]; then
  # shellcheck disable=SC2046
  install_missing package $(cross_packages "${cross[@]}")
fi

mkdir -p "$out"
for t in "${targets[@]}"; do
  if [ "$t" = native ]; then
    dir="$root/build"
    # The prefix the packages install into: CMake's package files then know it.
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
  else
    dir="$build_root/build-$t"
    configure_cross "$root" "$t" "$dir" "$build_root/build-sysroot/$t"
  fi
  echo "== packages for $t from $dir"
  cmake --build "$dir" -j"$(nproc)" >"$dir/package-build.log" 2>&1 || { cat "$dir/package-build.log"; exit 1; }
  rm -rf "$dir/packages"
  (cd "$dir" && cpack -G DEB >"$dir/cpack.log" 2>&1) || { cat "$dir/cpack.log"; exit 1; }
  for deb in "$dir"/packages/*.deb; do
    cp "$deb" "$out/"
    printf '%-48s %8d bytes\n' "$(basename "$deb")" "$(stat -c %s "$deb")"
  done
done
