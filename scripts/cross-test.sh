#!/usr/bin/env bash
# Cross-builds the plug-ins, the simulator, the host program and the tests for the ARM
# targets and runs the whole test suite of each target under qemu-user.
#   scripts/cross-test.sh [arm64|armhf|both]      (default: both)
# Installs what is missing from Debian's packages (cross compilers, qemu-user, mmdebstrap) and
# makes each target's sysroot with its Qt 5 (scripts/sysroot.sh), or reuses it. Builds in
# $PLC_CROSS_BUILD_ROOT/build-<arch>, the sysroots in $PLC_CROSS_BUILD_ROOT/build-sysroot/<arch>
# (default: the checkout).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=$(realpath -m "${PLC_CROSS_BUILD_ROOT:-$root}")

case "${1:-both}" in
  arm64) archs=(arm64) ;;
  armhf) archs=(armhf) ;;
  both) archs=(arm64 armhf) ;;
  *) echo "usage: cross-test.sh [arm64|armhf|both]" >&2; exit 2 ;;
esac

# What `file` says about a shared object of the target.
file_arch_of() { case "$1" in arm64) echo 'ELF 64-bit LSB shared object, ARM aarch64' ;;
                              armhf) echo 'ELF 32-bit LSB shared object, ARM, EABI5' ;; esac; }

# Tests that cannot run under qemu-user, as "ctest name regex|reason". None at present.
# Known limitation: qemu-user 7.2 (Debian 12) refuses clone(CLONE_PIDFD), which QProcess
# uses on Linux, so a test that starts a child process (e.g. $PLCSIM) fails under emulation;
# the suite runs its simulators in threads of the test process instead, and the few test
# functions that need a process of their own skip themselves in a cross build.
excluded=()

# --- packages -----------------------------------------------------------------------------
. "$(dirname "$0")/packages.sh"
# shellcheck disable=SC2046
install_missing cross-test $(cross_packages "${archs[@]}")

# --- per target -----------------------------------------------------------------------------
summary=()
for arch in "${archs[@]}"; do
  triple=$(triple_of "$arch")
  dir="$build_root/build-$arch"
  echo "== cross build for $arch ($triple) in $dir"
  t0=$SECONDS
  configure_cross "$root" "$arch" "$dir" "$build_root/build-sysroot/$arch"
  t_sysroot=$((SECONDS - t0))
  log="$dir/cross-build.log"
  if ! cmake --build "$dir" -j"$(nproc)" >"$log" 2>&1; then
    cat "$log"
    echo "cross-test: $arch build failed" >&2
    exit 1
  fi
  # Warnings that only the target's types (unsigned char, 32-bit long) bring out matter here.
  if grep -q 'warning:' "$log"; then
    grep -A4 'warning:' "$log"
  fi
  t_build=$((SECONDS - t0 - t_sysroot))

  for so in "$dir/s7/libKorvane.so.1" "$dir/ppi/libPellimor.so.1"; do
    what=$(file -b "$so")
    case "$what" in
      "$(file_arch_of "$arch")"*) ;;
      *) echo "cross-test: $so is not a $arch shared object: $what" >&2; exit 1 ;;
    esac
    nm -D --defined-only "$so" | grep -Eq ' T getSharedLibrary$' \
      || { echo "cross-test: $so does not export getSharedLibrary unmangled" >&2; exit 1; }
    echo "$(basename "$so"): ${what%%, BuildID*}; exports getSharedLibrary"
  done

  echo "== tests for $arch under $("$(qemu_of "$arch")" --version | head -1)"
  t1=$SECONDS
  exclude_args=()
  if [ ${#excluded[@]} -gt 0 ]; then
    regex=""
    for entry in "${excluded[@]}"; do
      echo "cross-test: excluded ${entry%%|*}: ${entry#*|}"
      regex="${regex:+$regex|}${entry%%|*}"
    done
    exclude_args=(-E "$regex")
  fi
  ctest --test-dir "$dir" --output-on-failure -j2 "${exclude_args[@]}"
  t_test=$((SECONDS - t1))
  summary+=("$arch: sysroot ${t_sysroot} s, build ${t_build} s, tests ${t_test} s")
done

for line in "${summary[@]}"; do echo "cross-test: $line"; done
