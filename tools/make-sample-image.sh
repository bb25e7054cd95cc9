#!/usr/bin/env bash
# Builds a small FAT32 disk image full of real files, some of them deleted, plus a
# table of what is where, for the end-to-end tests of the carver.
#
#   tools/make-sample-image.sh OUTDIR   ->  OUTDIR/sample.img, OUTDIR/sample.truth.tsv
#
# The output is byte-for-byte reproducible: every timestamp, seed and id is fixed,
# encoders run single-threaded in their bit-exact modes, and metadata is stripped.
# Every file is checked so that a sector scan finds it where it is and nowhere else.
set -euo pipefail

die() { echo "make-sample-image: $*" >&2; exit 1; }

[ $# -eq 1 ] || die "usage: $0 OUTDIR"
outdir=$1
self=$(readlink -f "${BASH_SOURCE[0]}")
img=$outdir/sample.img
truth=$outdir/sample.truth.tsv

if [ -f "$img" ] && [ -f "$truth" ] && [ "$img" -nt "$self" ] && [ "$truth" -nt "$self" ]; then
  exit 0
fi

for tool in mkfs.vfat mcopy mdel zip 7z ffmpeg ffprobe python3; do
  command -v "$tool" >/dev/null || die "missing tool: $tool (run tools/install-deps.sh)"
done
if command -v magick >/dev/null; then IM=magick
elif command -v convert >/dev/null; then IM=convert
else die "missing tool: ImageMagick (run tools/install-deps.sh)"
fi

# Everything that could leak the clock, the locale, the machine or the user into the output.
export SOURCE_DATE_EPOCH=1577836800          # 2020-01-01 00:00:00 UTC
export TZ=UTC LC_ALL=C
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1  # noise generators draw per thread
export MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null MTOOLS_LOWER_CASE=0
umask 022

mkdir -p "$outdir"
work=$(mktemp -d "${TMPDIR:-/tmp}/sample-image.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/files
mkdir -p "$src"

# ---------------------------------------------------------------------------
# Python helpers: deterministic text, the RTF and RAR writers, and the checks.
cat >"$work/helper.py" <<'PY'
import hashlib, os, struct, sys, zlib

# Header of each type, in the order the carver tries them.
HEADERS = [
    ("jpg", bytes.fromhex("FFD8FFE000104A464946")),
    ("png", bytes.fromhex("89504E470D0A1A0A")),
    ("gif", b"GIF89a"),
    ("rtf", b"{\\rtf"),
    ("rar", b"Rar!"),
    ("zip", bytes.fromhex("504B030414000000")),
    ("7z", bytes.fromhex("377ABCAF271C")),
    ("rmvb", b".RMF"),
    ("flv", bytes.fromhex("464C560105000000")),
]
HEADER = dict(HEADERS)
SECTOR = 512
JPG_END = b"\xff\xd9"
PNG_END = b"IEND\xaeB`\x82"


class Rng:
    """Tiny LCG, so the text does not depend on the Python version."""
    def __init__(self, seed):
        self.s = (seed * 2654435761 + 12345) & 0xFFFFFFFFFFFFFFFF

    def below(self, n):
        self.s = (self.s * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        return (self.s >> 33) % n


WORDS = """the a of and to in is that for on with as by at from this be are was it or
an which not have has but were all their can more one when there been if also into
than other some these so them only its what time may over such about after most
disk sector cluster file table record block header footer volume partition image
backup archive folder photo report meeting budget quarter project schedule review
customer invoice summary draft final version weekly monthly annual figure chart
data value sample measure result test batch server client network storage drive
holiday garden kitchen window river mountain morning evening winter summer city
green quiet careful simple early late small large new old long short clear bright
write read copy move keep check send open close build plan note start finish
""".split()


def text(seed, nbytes, width=76):
    r = Rng(seed)
    out, line, total = [], "", 0
    while total < nbytes:
        n = 6 + r.below(11)
        words = [WORDS[r.below(len(WORDS))] for _ in range(n)]
        sentence = " ".join(words).capitalize() + "."
        for w in sentence.split(" "):
            if line and len(line) + 1 + len(w) > width:
                out.append(line); total += len(line) + 1; line = w
            else:
                line = w if not line else line + " " + w
        if r.below(6) == 0:
            out.append(line); out.append(""); total += len(line) + 2; line = ""
    out.append(line)
    return "\n".join(out) + "\n"


def cmd_text(seed, nbytes, path):
    with open(path, "w", newline="\n") as f:
        f.write(text(int(seed), int(nbytes)))


def cmd_csv(seed, rows, path):
    r = Rng(int(seed))
    lines = ["day,sensor,temperature,humidity,pressure"]
    for i in range(int(rows)):
        lines.append("2019-%02d-%02d,S%02d,%d.%d,%d,%d" % (
            1 + i // 28 % 12, 1 + i % 28, 1 + r.below(12), 10 + r.below(20), r.below(10),
            30 + r.below(60), 980 + r.below(50)))
    with open(path, "w", newline="\n") as f:
        f.write("\r\n".join(lines) + "\r\n")


def cmd_rtf(seed, path):
    r = Rng(int(seed))
    body = [r"{\rtf1\ansi\ansicpg1252\deff0\nouicompat\deflang1033"
            r"{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\froman\fcharset0 Times New Roman;}}",
            r"{\colortbl ;\red31\green73\blue125;\red0\green0\blue0;}",
            r"{\info{\title Meeting notes}{\author Office}}",
            r"\viewkind4\uc1\pard\sa200\sl276\slmult1\cf1\b\f0\fs32 Meeting notes\cf0\b0\fs22\par"]
    for i in range(24):
        para = text(int(seed) * 100 + i, 300 + r.below(400), width=10**9).strip().replace("\n", " ")
        if i % 6 == 0:
            body.append(r"\pard\sa120\b\f0\fs26 Section %d\b0\fs22\par" % (i // 6 + 1))
        style = r"\i " if i % 5 == 4 else ""
        body.append(r"\pard\sa200\f1 %s%s\i0\par" % (style, para))
    body.append("}")
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(body) + "\r\n")


def rar_block(head_type, flags, rest):
    head = struct.pack("<BHH", head_type, flags, 2 + 1 + 2 + 2 + len(rest)) + rest
    return struct.pack("<H", zlib.crc32(head) & 0xFFFF) + head


def cmd_rar(out, name, srcpath):
    """RAR 4.x archive holding one stored file."""
    data = open(srcpath, "rb").read()
    name_b = name.encode("ascii")
    dos_time = ((2020 - 1980) << 25) | (1 << 21) | (1 << 16)   # 2020-01-01 00:00:00
    marker = b"Rar!\x1a\x07\x00"
    main = rar_block(0x73, 0x0000, struct.pack("<HI", 0, 0))
    file_rest = struct.pack("<IIBIIBBHI", len(data), len(data), 2, zlib.crc32(data),
                            dos_time, 20, 0x30, len(name_b), 0x20) + name_b
    fileh = rar_block(0x74, 0x8000, file_rest)   # 0x8000: PACK_SIZE follows the header
    end = rar_block(0x7B, 0x4000, b"")
    assert main[:2] == bytes.fromhex("CF90") and end == bytes.fromhex("C43D7B00400700")
    with open(out, "wb") as f:
        f.write(marker + main + fileh + data + end)


def problems(kind, data):
    """What would make a sector scan misread this file, wherever it starts on a sector."""
    bad = []
    if not data.startswith(HEADER[kind]):
        bad.append("does not start with the %s header %s" % (kind, HEADER[kind].hex()))
    for other, pat in HEADERS:
        i = data.find(pat, 1 if other == kind else 0)
        while i >= 0:
            # A second local header of a zip in its first sector is harmless: same type, same start.
            if not (other == kind and i + len(pat) <= SECTOR):
                bad.append("%s header at byte %d" % (other, i))
                break
            i = data.find(pat, i + 1)
    if kind == "jpg":
        i = data.find(JPG_END)
        if i != len(data) - 2:
            bad.append("first FF D9 at %d, not at the end (%d)" % (i, len(data) - 2))
        elif i // SECTOR != (i + 1) // SECTOR:
            bad.append("final FF D9 straddles a sector boundary")
    if kind == "png":
        i = data.find(b"IEND")
        if i != len(data) - 8 or not data.endswith(PNG_END):
            bad.append("IEND at %d, file does not end with the IEND chunk" % i)
        elif i // SECTOR != (len(data) - 1) // SECTOR:
            bad.append("IEND and its CRC straddle a sector boundary")
    return bad


def cmd_check(kind, path):
    bad = problems(kind, open(path, "rb").read())
    for b in bad:
        print("%s: %s" % (os.path.basename(path), b), file=sys.stderr)
    sys.exit(1 if bad else 0)


def cmd_verify(image, manifest, truth):
    img = open(image, "rb").read()
    entries = []
    for line in open(manifest):
        kind, name, path, deleted = line.rstrip("\n").split("\t")
        data = open(path, "rb").read()
        off = img.find(data)
        if off < 0:
            sys.exit("%s: not stored contiguously in the image" % name)
        if img.find(data, off + 1) >= 0:
            sys.exit("%s: found twice in the image" % name)
        if off % SECTOR:
            sys.exit("%s: starts at %d, not on a sector boundary" % (name, off))
        for b in problems(kind, data):
            sys.exit("%s: %s" % (name, b))
        entries.append((off, kind, name, len(data), hashlib.sha256(data).hexdigest(), deleted))
    entries.sort()
    starts = {off // SECTOR: kind for off, kind, *_ in entries}
    for i, (off, kind, name, size, *_) in enumerate(entries[1:], 1):
        if entries[i - 1][0] + entries[i - 1][3] > off:
            sys.exit("%s overlaps %s" % (name, entries[i - 1][2]))
    # Any header anywhere else (filesystem structures, file data, slack) would start a bogus file.
    for kind, pat in HEADERS:
        i = img.find(pat)
        while i >= 0:
            s = i // SECTOR
            if starts.get(s) != kind or (i + len(pat) - 1) // SECTOR != s:
                sys.exit("stray %s header at image byte %d (sector %d)" % (kind, i, s))
            i = img.find(pat, i + 1)
    # And each start sector must be claimed by its own type first.
    for s, kind in starts.items():
        sec = img[s * SECTOR:(s + 1) * SECTOR]
        first = next(k for k, pat in HEADERS if pat in sec)
        if first != kind:
            sys.exit("sector %d holds a %s but reads as %s" % (s, kind, first))
    with open(truth, "w", newline="\n") as f:
        f.write("type\tname\tsize\tsha256\tdeleted\toffset\n")
        for off, kind, name, size, sha, deleted in entries:
            f.write("%s\t%s\t%d\t%s\t%s\t%d\n" % (kind, name, size, sha, deleted, off))


cmds = {"text": cmd_text, "csv": cmd_csv, "rtf": cmd_rtf, "rar": cmd_rar,
        "check": cmd_check, "verify": cmd_verify}
cmds[sys.argv[1]](*sys.argv[2:])
PY
helper() { python3 "$work/helper.py" "$@"; }

# ---------------------------------------------------------------------------
# File builders. Each takes the output path and a seed; the output must pass the
# sector checks, and if an encoder produces something that does not, the next seed is tried.
ffin=(-hide_banner -loglevel error -nostdin -y)
ffout=(-threads 1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1 -map_chapters -1)
png_opts=(-strip -define 'png:exclude-chunks=date,time')

jpg_plasma()  { "$IM" -seed "$2" -size 1024x768 plasma:fractal -strip -quality 85 "$1"; }
jpg_prog()    { "$IM" -seed "$2" -size 640x480 plasma:tomato-steelblue -blur 0x1 -strip \
                  -quality 85 -interlace Plane "$1"; }
jpg_noise()   { "$IM" -seed "$2" -size 640x400 xc:gray50 +noise Random -strip -quality 85 "$1"; }
jpg_grad()    { "$IM" -seed "$2" -size 800x600 gradient:navy-gold -attenuate 0.3 +noise Gaussian \
                  -strip -quality 85 -sampling-factor 1x1 "$1"; }
png_plasma()  { "$IM" -seed "$2" -size 400x300 plasma:fractal "${png_opts[@]}" "$1"; }
png_logo()    { "$IM" -size 640x200 gradient:white-teal -fill navy -draw "circle 100,100 100,20" \
                  -draw "rectangle 220,60 600,140" "${png_opts[@]}" "$1"; }
png_swirl()   { "$IM" -seed "$2" -size 256x256 plasma:gold-purple -swirl 180 -colors 200 \
                  "${png_opts[@]}" "$1"; }
gif_still()   { "$IM" -seed "$2" -size 320x240 plasma:fractal -colors 64 -strip "$1"; }
gif_anim()    { "$IM" -seed "$2" -delay 20 -size 160x120 plasma:red-yellow plasma:green-blue \
                  plasma:fractal plasma:white-black -colors 32 -loop 0 -strip "$1"; }
rtf_notes()   { helper rtf "$2" "$1"; }
rar_manual()  { helper text "$2" 20000 "$work/manual.txt"; touch -d "@$SOURCE_DATE_EPOCH" "$work/manual.txt"
                helper rar "$1" manual.txt "$work/manual.txt"; }
zip_docs()    {
  local d=$work/zip; rm -rf "$d"; mkdir -p "$d"
  # A short first entry keeps the next local header inside the first sector.
  printf 'Quarterly reports, one paragraph per week.\nSee report.txt for the figures.\n%s' \
    "$(helper text "$2" 300 /dev/stdout)" >"$d/readme.txt"
  helper text $(( $2 + 1 )) 300000 "$d/report.txt"
  chmod 644 "$d"/*; touch -d "@$SOURCE_DATE_EPOCH" "$d"/*
  rm -f "$1"; (cd "$d" && zip -q -X -D "$1" readme.txt report.txt)
}
sevenz_backup() {
  local d=$work/7z; rm -rf "$d"; mkdir -p "$d"
  helper text "$2" 120000 "$d/journal.txt"
  helper csv "$2" 3000 "$d/sensors.csv"
  chmod 644 "$d"/*; touch -d "@$SOURCE_DATE_EPOCH" "$d"/*
  rm -f "$1"; (cd "$d" && 7z a -t7z -mx=5 -mmt=1 -mtm=off -mtc=off -mta=off -bd "$1" journal.txt sensors.csv >/dev/null)
}
flv_clip()    { ffmpeg "${ffin[@]}" -f lavfi -i "testsrc=size=320x240:rate=25:duration=2" \
                  -f lavfi -i "sine=frequency=$(( 400 + $2 )):sample_rate=44100:duration=2" \
                  "${ffout[@]}" -c:v flv -b:v 400k -c:a libmp3lame -b:a 64k -f flv "$1"; }
rmvb_clip()   { ffmpeg "${ffin[@]}" -f lavfi -i "testsrc2=size=176x144:rate=15:duration=2" \
                  -f lavfi -i "sine=frequency=$(( 300 + $2 )):sample_rate=44100:duration=2" \
                  "${ffout[@]}" -c:v rv20 -b:v 200k -c:a ac3_fixed -b:a 96k -f rm "$1"; }

manifest=$work/manifest.tsv
: >"$manifest"
copy_order=()

# add TYPE NAME BUILDER SEED DELETED
add() {
  local kind=$1 name=$2 builder=$3 seed=$4 deleted=$5 out=$src/$2 try
  for try in 0 1 2 3 4; do
    "$builder" "$out" $(( seed + try * 7 ))
    if helper check "$kind" "$out"; then
      [ "$try" -eq 0 ] || echo "make-sample-image: $name needed seed $(( seed + try * 7 ))" >&2
      chmod 644 "$out"; touch -d "@$SOURCE_DATE_EPOCH" "$out"
      printf '%s\t%s\t%s\t%s\n' "$kind" "$name" "$out" "$deleted" >>"$manifest"
      copy_order+=("$name")
      return
    fi
  done
  die "$name: no seed gave a file that scans cleanly"
}

# Written in this order, so the types are interleaved on disk.
add jpg  holiday.jpg  jpg_plasma    11 no
add rtf  notes.rtf    rtf_notes     3  no
add png  logo.png     png_logo      0  no
add zip  reports.zip  zip_docs      5  yes
add jpg  sunset.jpg   jpg_prog      12 yes
add gif  banner.gif   gif_still     31 no
add 7z   backup.7z    sevenz_backup 8  no
add flv  clip.flv     flv_clip      40 yes
add png  texture.png  png_plasma    21 yes
add rar  manual.rar   rar_manual    9  no
add jpg  noise.jpg    jpg_noise     13 no
add rmvb movie.rmvb   rmvb_clip     30 no
add gif  spinner.gif  gif_anim      41 no
add jpg  scan.jpg     jpg_grad      14 no
add png  swirl.png    png_swirl     22 no

# Make sure each file really is what its name says, read back by an independent reader.
7z t "$src/reports.zip" >/dev/null || die "reports.zip does not test"
7z t "$src/backup.7z"   >/dev/null || die "backup.7z does not test"
7z t "$src/manual.rar"  >/dev/null || die "manual.rar does not test"
for f in clip.flv movie.rmvb; do
  streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$src/$f" | sort | tr '\n' ' ')
  [ "$streams" = "audio video " ] || die "$f: expected audio and video, got: $streams"
done
[ "$(head -c 6 "$src/notes.rtf")" = "{\\rtf1" ] || die "notes.rtf: bad start"

# ---------------------------------------------------------------------------
# The image: a fresh FAT32 volume (512-byte clusters, so FAT32 fits in 48 MiB and
# every file starts on a sector), files written in order so each lands contiguously.
# --invariant stops mkfs stamping the label entry with the current time; the -i after it
# then replaces the fixed id it would also pick.
tmpimg=$work/sample.img
mkfs.vfat -F 32 -C --invariant -i 12345678 -n SAMPLE -S 512 -s 1 "$tmpimg" 49152 >/dev/null
for name in "${copy_order[@]}"; do
  mcopy -m -i "$tmpimg" "$src/$name" "::$name"
done
while IFS=$'\t' read -r _ name _ deleted; do
  if [ "$deleted" = yes ]; then mdel -i "$tmpimg" "::$name"; fi
done <"$manifest"

helper verify "$tmpimg" "$manifest" "$work/sample.truth.tsv"

mv -f "$tmpimg" "$img.tmp" && mv -f "$img.tmp" "$img"
mv -f "$work/sample.truth.tsv" "$truth"
