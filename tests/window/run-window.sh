#!/usr/bin/env bash
# Runs a Windows program that drives Reclaima.exe, under Wine on a virtual display of
# its own, with the drives it needs in a Wine prefix of its own.
#
#   run-window.sh [--cli RECLAIMA-CLI] [--pages RECORDER.exe] [--display] [--user] ARCH EXE SAMPLE.img WORKDIR PROGRAM.exe [ARGS...]
#
# ARCH is win32 or win64 (tools/wine-run). EXE is Reclaima.exe. WORKDIR is emptied and
# holds the drives' folders and images. With --cli, reclaima-cli first recovers the
# sample image natively, for PROGRAM to compare with; exit 77 (skipped) if it is absent.
# With --pages, web addresses open with RECORDER.exe, which notes them in
# WORKDIR/pages.log, instead of a browser. With --display the program runs on $DISPLAY
# instead of a virtual display. With --user the prefix gets only the drives a user trying
# the program needs: S: and R:.
#
# The prefix's drives, named to PROGRAM by the environment (see WindowTests.cpp):
#   S: a folder to save into           R: the sample image as a volume (R: is also a folder)
#   W: a 1 GiB volume, one long JPG    Y: the sample image and a folder to save into at once
#   K: a volume that the test writes and cuts short itself, from its image's Z: path
#   H, I, J: volumes of 0, 511 and 513 bytes
#   T: optical, N: network, F: removable, M: RAM disk, all folders without a volume
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
die() { echo "run-window: $*" >&2; exit 1; }

cli="" pages="" own_display=yes user=""
while [ $# -gt 0 ]; do
  case $1 in
    --cli) cli=$2; shift 2 ;;
    --pages) pages=$2; shift 2 ;;
    --display) own_display=""; shift ;;
    --user) user=yes; shift ;;
    *) break ;;
  esac
done
[ $# -ge 5 ] || die "usage: $0 [--cli RECLAIMA-CLI] [--pages RECORDER.exe] [--display] [--user] ARCH EXE SAMPLE.img WORKDIR PROGRAM.exe [ARGS...]"
arch=$1 exe=$2 sample=$3 work=$4
shift 4
[ -f "$exe" ] || die "no program at $exe (build the Reclaima target)"
[ -f "$sample" ] || die "no sample image at $sample"
if [ -n "$cli" ] && [ ! -x "$cli" ]; then
  echo "run-window: SKIPPED: reclaima-cli is not built at $cli (build the native preset first)" >&2
  exit 77
fi

# A prefix of its own: its drive letters and the wineserver killed at the end must not
# touch the other Windows tests, which ctest may run meanwhile.
export RECLAIMA_WINEPREFIX=${RECLAIMA_WINEPREFIX:-$HOME/.cache/reclaima/wine-$arch}-window
wine_run=("$root/tools/wine-run" "$arch")
prefix=$("${wine_run[@]}" --prefix)
export WINEPREFIX=$prefix

winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }

rm -rf "$work"
mkdir -p "$work"

declare -A folders=([s]=save [r]=sample-root) volumes=([r]=$sample)
long=$work/long.img shrink=$work/shrink.img
if [ -z "$user" ]; then
  folders+=([w]=long-root [y]=same [t]=cdrom [n]=network [f]=removable [m]=ramdisk
            [h]=empty-root [i]=short-root [j]=odd-root [k]=shrink-root)
  volumes+=([w]=$long [y]=$sample [h]=$work/empty.img [i]=$work/short.img [j]=$work/odd.img
            [k]=$shrink)
  # Volumes of 0, 511 and 513 bytes: none holds a whole sector but the last one's first.
  : >"$work/empty.img"
  head -c 511 /dev/urandom >"$work/short.img"
  head -c 513 /dev/urandom >"$work/odd.img"
  : >"$shrink"
  # Sector 0 begins a JPG; 64 MiB of text follow, no byte of which ends a JPG or begins
  # any type; then zeros, not stored, up to 1 GiB.
  python3 - "$long" <<'PY'
import sys
SECTOR, TEXT_SECTORS, VOLUME = 512, 131072, 1 << 30
with open(sys.argv[1], "wb") as f:
    for i in range(TEXT_SECTORS):
        line = b"sector %010d of a long picture\n" % i
        data = (line * (SECTOR // len(line) + 1))[:SECTOR]
        if i == 0:
            data = bytes.fromhex("FFD8FFE000104A464946") + data[10:]
        f.write(data)
    f.truncate(VOLUME)
PY
fi

# Links left by an earlier run of the other kind go first.
for letter in s r w y t n f m h i j k; do rm -f "$prefix/dosdevices/$letter:" "$prefix/dosdevices/$letter::"; done
for letter in "${!folders[@]}"; do
  mkdir -p "$work/${folders[$letter]}"
  ln -sfn "$(readlink -f "$work/${folders[$letter]}")" "$prefix/dosdevices/$letter:"
done
for letter in "${!volumes[@]}"; do
  ln -sfn "$(readlink -f "${volumes[$letter]}")" "$prefix/dosdevices/$letter::"
done
cat >"$work/drives.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"t:"="cdrom"
"n:"="network"
"f:"="floppy"
"m:"="ramdisk"
REG
# Web addresses open with the recorder, or as in a fresh prefix.
opener='"C:\windows\system32\winebrowser.exe" "%1"'
if [ -n "$pages" ]; then
  opener=$(printf '"%s" "%%1"' "$(winpath "$pages")")
  export RECLAIMA_PAGES_LOG
  RECLAIMA_PAGES_LOG=$(winpath "$work")\\pages.log
fi
opener=$(printf '%s' "$opener" | sed 's/\\/\\\\/g; s/"/\\"/g')
for scheme in http https; do
  printf '\n[HKEY_CLASSES_ROOT\\%s\\shell\\open\\command]\n@="%s"\n' "$scheme" "$opener"
done >>"$work/drives.reg"
DISPLAY= "${wine_run[@]}" regedit /S "$(winpath "$work/drives.reg")"
# Drive types are read when the wineserver starts.
wineserver -k 2>/dev/null || true
wineserver -w

xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ -n "$own_display" ]; then
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; die "Xvfb did not start"; }
    sleep 0.1
  done
  [ -s "$work/display" ] || die "Xvfb gave no display number"
  export DISPLAY=:$(head -n 1 "$work/display")
fi
[ -n "${DISPLAY:-}" ] || die "no display"

if [ -n "$cli" ]; then
  "$cli" "$sample" "$work/cli-out" >"$work/cli.log" 2>&1 || { cat "$work/cli.log" >&2; die "reclaima-cli failed"; }
  export RECLAIMA_CLI_OUT
  RECLAIMA_CLI_OUT=$(winpath "$work/cli-out")
fi

export RECLAIMA_EXE RECLAIMA_LONG_IMAGE RECLAIMA_SHRINK_IMAGE
RECLAIMA_EXE=$(winpath "$exe")
RECLAIMA_LONG_IMAGE=$([ -e "$long" ] && winpath "$long" || true)
RECLAIMA_SHRINK_IMAGE=$([ -e "$shrink" ] && winpath "$shrink" || true)
export RECLAIMA_SAVE_DRIVE=S RECLAIMA_SAMPLE_DRIVE=R RECLAIMA_LONG_DRIVE=W RECLAIMA_SAME_DRIVE=Y
export RECLAIMA_EMPTY_DRIVE=H RECLAIMA_SHORT_DRIVE=I RECLAIMA_ODD_DRIVE=J RECLAIMA_SHRINK_DRIVE=K
# The scan's closing page must not start a browser.
export WINEDLLOVERRIDES=winebrowser.exe=d
program=$1
shift
status=0
"${wine_run[@]}" "$program" "$@" || status=$?
exit "$status"
