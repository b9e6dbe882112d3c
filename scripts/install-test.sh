#!/usr/bin/env bash
# Installs the build machine's packages (from scripts/package.sh) into a scratch root with
# dpkg -x, then checks that the installed drvhost loads the installed plug-ins and works
# against the installed plcsim, as on a freshly installed machine, and that a host program
# compiles and links against the installed -dev package through pkg-config and through CMake,
# and runs with the installed plug-in against the installed plcsim.
#   scripts/install-test.sh          (packages in $PLC_PACKAGE_DIR or dist/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${PLC_PACKAGE_DIR:-$root/dist}
"$root/scripts/setup.sh"
. "$root/scripts/packages.sh"
install_missing install-test dpkg-dev
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for name in plc-driver-korvane plc-driver-pellimor plc-driver-tools plc-driver-dev; do
  deb="$dir/${name}_${version}_${arch}.deb"
  [ -f "$deb" ] || { echo "install-test: $deb is missing (run scripts/package.sh)" >&2; exit 1; }
  dpkg -x "$deb" "$scratch"
done

plugins="$scratch/usr/lib/$multiarch/plc-drivers"
echo "install-test: installed into $scratch:"
(cd "$scratch" && find . -type f | sort | sed 's/^/  /')

# A host program against the -dev package: once through pkg-config, once through CMake.
host_src="$root/tests/install"
export PKG_CONFIG_PATH="$scratch/usr/lib/$multiarch/pkgconfig"
plugin_dir=$(pkg-config --variable=plugindir plc-drivers)
[ "$(realpath -m "$plugin_dir")" = "$(realpath -m "$plugins")" ] \
  || { echo "install-test: pkg-config names $plugin_dir as the plug-in folder, not $plugins" >&2; exit 1; }
# shellcheck disable=SC2046
g++ -std=c++17 -o "$scratch/host-pkgconfig" "$host_src/host.cpp" -DPLC_PLUGIN_DIR="\"$plugin_dir\"" \
    $(pkg-config --cflags --libs plc-drivers)
cmake -S "$host_src" -B "$scratch/host-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/usr" >/dev/null
cmake --build "$scratch/host-cmake" >/dev/null

mkfifo "$scratch/plcsim.fifo"
"$scratch/usr/bin/plcsim" --s7-port 0 >"$scratch/plcsim.fifo" 2>"$scratch/plcsim.err" &
sim=$!
trap '[ -z "$sim" ] || { kill "$sim"; wait "$sim"; } 2>/dev/null || true; rm -rf "$scratch"' EXIT
exec 3<"$scratch/plcsim.fifo"
line=""
IFS= read -r -t 60 line <&3 || true
s7_port=${line#plcsim: S7 listening on 127.0.0.1:}
case "$s7_port" in
  ''|*[!0-9]*) cat "$scratch/plcsim.err" >&2; echo "install-test: plcsim did not start" >&2; exit 1 ;;
esac
# Both name the plug-in folder beside the package files they were found in: the scratch root's.
timeout 60 "$scratch/host-pkgconfig" "$s7_port" \
  || { echo "install-test: the host built through pkg-config failed" >&2; exit 1; }
timeout 60 "$scratch/host-cmake/host" "$s7_port" \
  || { echo "install-test: the host built through CMake failed" >&2; exit 1; }
kill "$sim" 2>/dev/null
wait "$sim" 2>/dev/null || true
sim=""
exec 3<&-

bash "$root/tests/host/drvhost_commissioning.sh" "$scratch/usr/bin/drvhost" "$scratch/usr/bin/plcsim" \
     "$plugins/libKorvane.so.1" "$plugins/libPellimor.so.1"
echo "install-test: the installed drvhost, plcsim and plug-ins work"
