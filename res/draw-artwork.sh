#!/usr/bin/env bash
# Draws the program's icon and banner with ImageMagick and writes them in the exact
# formats the resources need: Reclaima.ico (one 48x48 image, 32 bits with alpha) and
# Banner.bmp (600x100, 24 bits, uncompressed, 2834 pixels per metre). Run it from
# anywhere; it replaces both files beside itself and checks their headers.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

latin=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
chinese=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
blue='#1f5fbf'
orange='#f28a1e'

# Icon: a white four-pointed star on a blue square with softly rounded corners.
convert -size 48x48 xc:none \
  -fill "$blue" -draw 'roundrectangle 1,1 46,46 7,7' \
  -fill white -draw 'polygon 24,5 28.5,19.5 43,24 28.5,28.5 24,43 19.5,28.5 5,24 19.5,19.5' \
  "$work/icon.png"
convert "$work/icon.png" -depth 8 "rgba:$work/icon.rgba"

# Banner: a horizontal band of blue, white and orange, the name in large blue letters
# across it and the slogan at the lower right.
convert -size 600x100 xc:white \
  \( -size 600x62 gradient:"#c9dcf7"-white \) -geometry +0+0 -composite \
  -fill "$blue" -draw 'rectangle 0,62 600,69' \
  -fill white -draw 'rectangle 0,69 600,74' \
  -fill "$orange" -draw 'rectangle 0,74 600,81' \
  -font "$latin" -pointsize 54 -fill white -stroke white -strokewidth 6 \
  -annotate +22+66 'Reclaima' \
  -fill "$blue" -stroke none -annotate +22+66 'Reclaima' \
  -font "$chinese" -pointsize 15 -fill '#333333' -gravity southeast \
  -annotate +12+2 '找回误删、误格式化的照片、文档和压缩包' \
  "$work/banner.png"
convert "$work/banner.png" -depth 8 "rgb:$work/banner.rgb"

python3 - "$work" "$here" <<'PY'
import struct, sys
work, here = sys.argv[1], sys.argv[2]

def bottom_up(data, width, height, channels):
    row = width * channels
    return b"".join(data[y * row:(y + 1) * row] for y in reversed(range(height)))

# Icon: ICONDIR, one ICONDIRENTRY, then a BITMAPINFOHEADER of twice the height
# (colour plus mask), BGRA rows bottom-up and an all-clear AND mask.
size = 48
rgba = open(f"{work}/icon.rgba", "rb").read()
assert len(rgba) == size * size * 4
bgra = bytearray()
for i in range(0, len(rgba), 4):
    r, g, b, a = rgba[i:i + 4]
    bgra += bytes((b, g, r, a))
pixels = bottom_up(bytes(bgra), size, size, 4)
mask = bytes(((size + 31) // 32 * 4) * size)
header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
image = header + pixels + mask
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image
open(f"{here}/Reclaima.ico", "wb").write(icon)

# Banner: BITMAPFILEHEADER and BITMAPINFOHEADER (BI_RGB, 2834 px/m), BGR rows bottom-up,
# each padded to four bytes.
width, height = 600, 100
rgb = open(f"{work}/banner.rgb", "rb").read()
assert len(rgb) == width * height * 3
pad = (-width * 3) % 4
rows = []
for y in reversed(range(height)):
    line = rgb[y * width * 3:(y + 1) * width * 3]
    rows.append(b"".join(bytes((line[x + 2], line[x + 1], line[x])) for x in range(0, len(line), 3)) + bytes(pad))
bits = b"".join(rows)
info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 2834, 2834, 0, 0)
open(f"{here}/Banner.bmp", "wb").write(struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 54) + info + bits)

# Read both back and check what the resources rely on.
icon = open(f"{here}/Reclaima.ico", "rb").read()
reserved, kind, count = struct.unpack_from("<HHH", icon, 0)
w, h, colours, _, planes, bpp, length, offset = struct.unpack_from("<BBBBHHII", icon, 6)
assert (reserved, kind, count, w, h, planes, bpp) == (0, 1, 1, 48, 48, 1, 32), "icon header"
ih = struct.unpack_from("<IiiHHI", icon, offset)
assert ih == (40, 48, 96, 1, 32, 0), "icon image header"
alphas = {icon[offset + 40 + i + 3] for i in range(0, 48 * 48 * 4, 4)}
assert 0 in alphas and 255 in alphas, "icon alpha"

bmp = open(f"{here}/Banner.bmp", "rb").read()
magic, filesize, _, _, dataoff = struct.unpack_from("<2sIHHI", bmp, 0)
bh = struct.unpack_from("<IiiHHIIiiII", bmp, 14)
assert magic == b"BM" and filesize == len(bmp) and dataoff == 54, "bitmap file header"
assert bh[:6] == (40, 600, 100, 1, 24, 0) and bh[7:9] == (2834, 2834), "bitmap info header"
print("Reclaima.ico: 48x48, 32 bits with alpha; Banner.bmp: 600x100, 24 bits, BI_RGB, 2834 px/m")
PY
