# Sourced by the set-up scripts: missing_packages NAME... sets the array `missing` to the
# packages not yet installed. "name:arch" asks for that architecture; a plain name for the
# build machine's (or all). Several architectures of one package print one line each.
missing_packages() {
  missing=()
  local p arch
  for p in "$@"; do
    arch=${p#*:}
    [ "$arch" != "$p" ] || arch=$(dpkg --print-architecture)
    dpkg-query -W -f='${Architecture} ${Status}\n' "$p" 2>/dev/null \
      | grep -Eq "^($arch|all) install ok installed$" || missing+=("$p")
  done
}

# The GNU triple and the emulator of a Debian target architecture.
triple_of() { case "$1" in arm64) echo aarch64-linux-gnu ;; armhf) echo arm-linux-gnueabihf ;; esac; }
qemu_of() { case "$1" in arm64) echo qemu-aarch64 ;; armhf) echo qemu-arm ;; esac; }

# What a cross build for the target architectures ARCH... needs on the build machine: the cross
# compilers (with the target's binutils), the build machine's Qt code generators, mmdebstrap for
# the target's sysroot (scripts/sysroot.sh) and the emulator that runs the tests. The target's
# own libraries live in the sysroot, never on the build machine.
cross_packages() {
  local arch
  echo cmake ninja-build file binutils dpkg-dev qtbase5-dev-tools qemu-user mmdebstrap debian-archive-keyring
  for arch in "$@"; do
    echo "g++-$(triple_of "$arch")"
  done
}

# install_missing WHO NAME...: installs those of the packages that are missing, adding the
# foreign architectures that "name:arch" asks for (the project's scripts ask for none: the
# cross builds take the target's libraries from a sysroot). WHO names the script in its messages.
install_missing() {
  local who=$1 p arch sudo=""
  shift
  missing_packages "$@"
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "$who: installing ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  for p in "${missing[@]}"; do
    arch=${p#*:}
    if [ "$arch" != "$p" ] && [ "$arch" != "$(dpkg --print-architecture)" ]; then
      dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
    fi
  done
  export DEBIAN_FRONTEND=noninteractive
  local apt_log
  apt_log=$(mktemp)
  # A mirror in the middle of a sync serves index files of the wrong size for a while: the
  # update is tried again, and the install goes ahead on what it got (it fails if that is short).
  local try
  for try in 1 2 3; do
    $sudo apt-get update -qq >"$apt_log" 2>&1 && break
    [ "$try" -eq 3 ] || sleep 20
  done
  if ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >>"$apt_log" 2>&1; then
    cat "$apt_log"
    echo "$who: installing packages failed" >&2
    rm -f "$apt_log"
    return 1
  fi
  rm -f "$apt_log"
}

# configure_cross ROOT ARCH DIR SYSROOT: makes or reuses the sysroot of ARCH in SYSROOT and
# configures the cross build tree DIR against it, the same way for the cross tests and the
# packages, so that one tree serves both.
configure_cross() {
  "$1/scripts/sysroot.sh" "$2" "$4"
  # Files unpacked anew keep their packages' dates: a tree built against an older sysroot is
  # built again from nothing, or ninja would keep what was compiled against the old one.
  if [ -f "$3/CMakeCache.txt" ] && [ "$4/.plc-sysroot" -nt "$3/CMakeCache.txt" ]; then
    rm -rf "$3"
  fi
  cmake -S "$1" -B "$3" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_TOOLCHAIN_FILE="$1/cmake/toolchain-$(triple_of "$2").cmake" -DPLC_SYSROOT="$4" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLC_BUILD_BENCH=OFF -DPLC_SANITIZE=OFF >/dev/null
}
