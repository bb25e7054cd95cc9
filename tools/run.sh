#!/usr/bin/env bash
# Builds everything and opens Reclaima.exe under Wine, with the sample disk image as
# drive R: and an empty folder as drive S: to save into. Without a display it starts a
# virtual one and saves screenshots of the window instead.
#   tools/run.sh                          the window
#   tools/run.sh --cli [SOURCE [OUTDIR]]  recovery with reclaima-cli
# SOURCE defaults to the sample disk image (made on first use); OUTDIR to a new folder
# under build/recovered. Installs what it needs on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh >&2

# Where this kernel cannot execute 32-bit programs, 32-bit Wine cannot start either:
# the window then runs as the 64-bit build under 64-bit Wine.
presets=(native windows)
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  arch=win32 windows=windows
else
  arch=win64 windows=windows64
  presets+=(windows64)
fi
jobs=$(nproc)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
echo "Built: build/native/cli/reclaima-cli (Linux) and build/windows/ui/Reclaima.exe (32-bit Windows)." >&2

if [ "${1:-}" = --cli ]; then
  shift
  if [ $# -ge 1 ]; then
    source=$1
  else
    tools/make-sample-image.sh build/sample >&2
    source=build/sample/sample.img
  fi
  outdir=${2:-build/recovered/$(date +%Y%m%d-%H%M%S)}
  exec build/native/cli/reclaima-cli "$source" "$outdir"
fi
[ $# -eq 0 ] || { echo "usage: $0 [--cli [SOURCE [OUTDIR]]]" >&2; exit 2; }

tools/make-sample-image.sh build/sample >&2
work=build/recovered/window-$(date +%Y%m%d-%H%M%S)
exe=build/$windows/ui/Reclaima.exe
if [ -n "${DISPLAY:-}" ]; then
  echo "Choose R: (the sample image), browse to S: ($work/save), press 开始." >&2
  exec tests/window/run-window.sh --user --display "$arch" "$exe" build/sample/sample.img "$work" "$exe"
fi

shots=build/screenshots
mkdir -p "$shots"
shots_windows=Z:$(readlink -f "$shots" | tr / '\\')
tests/window/run-window.sh --user "$arch" "$exe" build/sample/sample.img "$work" \
  "build/$windows/tests/window/reclaima_window_shot.exe" \
  "$shots_windows\\main-window.bmp" "$shots_windows\\main-window-scanning.bmp"
for shot in main-window main-window-scanning; do
  convert "$shots/$shot.bmp" "$shots/$shot.png" && rm -f "$shots/$shot.bmp"
done
echo "No display: screenshots of the window are in $shots/ (main-window.png, main-window-scanning.png)." >&2
