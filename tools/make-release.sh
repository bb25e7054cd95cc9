#!/usr/bin/env bash
# Makes the release folder: the Windows zip, the Debian package of reclaima-cli, and
# SHA256SUMS over both.
#   tools/make-release.sh [DIST]     (DIST defaults to dist/)
# Each package comes from its own preset's build (native, windows) through CPack, which
# names it with the project's version. Installs what it needs on first use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(realpath -m "${1:-$root/dist}")  # a DIST given is taken from where the script was called
cd "$root"
die() { echo "make-release: $*" >&2; exit 1; }

tools/install-deps.sh >&2
mkdir -p "$dist"
staging=$root/build/release
jobs=$(nproc)
packages=()

# package PRESET TARGET...: builds what the package holds and moves the package to DIST.
package() {
  local preset=$1 name
  shift
  cmake --preset "$preset" >/dev/null
  [ -f "build/$preset/package-name.txt" ] ||
    die "the $preset build makes no package (windows: no window program, target Reclaima)"
  name=$(cat "build/$preset/package-name.txt")
  cmake --build --preset "$preset" -j "$jobs" --target "$@" >/dev/null
  rm -rf "${staging:?}/$preset"
  (cd "build/$preset" && cpack -B "$staging/$preset" >/dev/null)
  [ -f "$staging/$preset/$name" ] || die "CPack made no $name"
  mv -f "$staging/$preset/$name" "$dist/"
  packages+=("$name")
}

package windows Reclaima
package native reclaima-cli reclaima_man_page
(cd "$dist" && sha256sum "${packages[@]}" >SHA256SUMS)
echo "Made in $dist: ${packages[*]} SHA256SUMS" >&2
