#!/usr/bin/env bash
# Builds the small disk image that the Windows platform tests open as a raw drive,
# and makes it that drive in the Wine prefix the tests run in.
#
#   make-volume.sh IMAGE SECTORS TAIL JPG_SECTOR JPG_BYTES DRIVE -- WINE-RUN...
#
# IMAGE gets SECTORS whole sectors plus TAIL bytes. Every 4 bytes of sector i hold
# 0x5EC00000 + i, little-endian, so a read shows which sector it came from and no
# sector is blank. A JPG of JPG_BYTES starts at sector JPG_SECTOR. WINE-RUN is the
# emulator command; its --prefix gives the prefix, whose dosdevices/DRIVE:: is
# pointed at the image (Wine opens \\.\DRIVE: through that link).
set -euo pipefail

die() { echo "make-volume: $*" >&2; exit 1; }

[ $# -ge 8 ] && [ "$7" = -- ] || die "usage: $0 IMAGE SECTORS TAIL JPG_SECTOR JPG_BYTES DRIVE -- WINE-RUN..."
image=$1 sectors=$2 tail=$3 jpg_sector=$4 jpg_bytes=$5 drive=${6,,}
shift 7

mkdir -p "$(dirname "$image")"
python3 - "$image.tmp" "$sectors" "$tail" "$jpg_sector" "$jpg_bytes" <<'PY'
import struct, sys

path, sectors, tail, jpg_sector, jpg_bytes = sys.argv[1], *map(int, sys.argv[2:])
SECTOR = 512
image = bytearray()
for i in range(sectors + 1):
    image += struct.pack("<I", 0x5EC00000 + i) * (SECTOR // 4)
del image[sectors * SECTOR + tail:]

# JFIF header, lower-case text (no 0xFF, so no early end marker, and no other
# type's header), then the end-of-image marker.
header, footer = bytes.fromhex("FFD8FFE000104A464946"), b"\xff\xd9"
body_size = jpg_bytes - len(header) - len(footer)
text = b"reclaima test picture, carved from a raw drive under wine. "
body = (text * (body_size // len(text) + 1))[:body_size]
start = jpg_sector * SECTOR
assert body_size > 0 and start + jpg_bytes <= sectors * SECTOR, "the JPG must fit in whole sectors"
image[start:start + jpg_bytes] = header + body + footer
assert image.find(footer) == start + jpg_bytes - len(footer), "a stray end marker"

with open(path, "wb") as f:
    f.write(image)
PY
mv -f "$image.tmp" "$image"

prefix=$("$@" --prefix) || die "no Wine prefix from: $*"
[ -d "$prefix/dosdevices" ] || die "$prefix has no dosdevices folder"
ln -sfn "$(readlink -f "$image")" "$prefix/dosdevices/$drive::"
echo "make-volume: $prefix/dosdevices/$drive:: -> $image ($((sectors * 512 + tail)) bytes)"
