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
