#!/usr/bin/env bash
# Builds and runs every test: natively (plain and with sanitizers) and the Windows
# build under Wine. Installs what it needs on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)
run_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  [ "${2:-test}" = build-only ] || ctest --preset "$1" -j "$jobs"
}

run_preset native
run_preset sanitize
run_preset tsan
# About a minute of fuzzing the scan against the carving model (RECLAIMA_FUZZ_SECONDS).
run_preset fuzz

# The product is 32-bit. Where this kernel cannot execute 32-bit programs, 32-bit Wine
# cannot start either: the same tests then run as a 64-bit build under 64-bit Wine.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  run_preset windows
else
  echo "32-bit programs cannot run on this machine: building the 32-bit product, testing the Win32 code as a 64-bit build." >&2
  run_preset windows build-only
  run_preset windows64
fi
