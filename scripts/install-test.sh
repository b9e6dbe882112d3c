#!/usr/bin/env bash
# Installs the build machine's packages (from scripts/package.sh) into a scratch root with
# dpkg -x, then checks that the installed drvhost loads the installed plug-ins and works
# against the installed plcsim, as on a freshly installed machine.
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
for name in plc-driver-korvane plc-driver-pellimor plc-driver-tools; do
  deb="$dir/${name}_${version}_${arch}.deb"
  [ -f "$deb" ] || { echo "install-test: $deb is missing (run scripts/package.sh)" >&2; exit 1; }
  dpkg -x "$deb" "$scratch"
done
dpkg -x "$dir/plc-driver-dev_${version}_all.deb" "$scratch"

plugins="$scratch/usr/lib/$multiarch/plc-drivers"
echo "install-test: installed into $scratch:"
(cd "$scratch" && find . -type f | sort | sed 's/^/  /')

# The installed headers compile on their own, as a host author includes them.
printf '#include <CDriveBaseClass.h>\nint main() { registerLabelVariableTypes(); return 0; }\n' >"$scratch/host.cpp"
g++ -std=c++17 -fPIC -fsyntax-only -I"$scratch/usr/include/plc-drivers" \
    $(pkg-config --cflags Qt5Core) "$scratch/host.cpp"

bash "$root/tests/host/drvhost_commissioning.sh" "$scratch/usr/bin/drvhost" "$scratch/usr/bin/plcsim" \
     "$plugins/libKorvane.so.1" "$plugins/libPellimor.so.1"
echo "install-test: the installed drvhost, plcsim and plug-ins work"
