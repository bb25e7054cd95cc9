#!/usr/bin/env bash
# Builds everything and recovers files with the command-line front end.
#   tools/run.sh [SOURCE [OUTDIR]]
# SOURCE defaults to the sample disk image (made on first use); OUTDIR to a new
# folder under build/recovered. Installs what it needs on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh >&2

jobs=$(nproc)
for preset in native windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
echo "Built: build/native/cli/reclaima-cli (Linux) and the 32-bit Windows engine in build/windows." >&2

if [ $# -ge 1 ]; then
  source=$1
else
  tools/make-sample-image.sh build/sample >&2
  source=build/sample/sample.img
fi
outdir=${2:-build/recovered/$(date +%Y%m%d-%H%M%S)}
exec build/native/cli/reclaima-cli "$source" "$outdir"
