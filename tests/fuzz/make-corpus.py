#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus into corpus/ beside this script: one small crafted
scan per file, in the input format that ScanCase.h describes. Run it again after
changing a case or the format; the files are kept in the repository."""
import os

# Flags (byte 0).
CLOSES_FAIL, SECOND_SCAN, STOP, PAUSE, STOP_WHILE_PAUSED, EMPTY_RANGE, LARGE_SECTORS, PLAIN = \
    1, 2, 4, 8, 16, 32, 64, 128
# Stamps: the header of type 0-8, or a footer.
JPG, PNG, GIF, RTF, RAR, ZIP, SEVEN_Z, RMVB, FLV, JPG_END, PNG_END = range(11)
COUNTS = {1: 0, 2: 1, 37: 2, 300: 3}


def group(fill="zero", arg=0, count=1, stamps=(), unreadable=False):
    """Sectors alike: fill is zero, byte (arg), random (arg seeds) or copy (of the sector before)."""
    kinds = ["zero", "byte", "random", "copy"]
    op = kinds.index(fill) | COUNTS[count] << 2 | len(stamps) << 4 | (0x80 if unreadable else 0)
    out = bytes([op]) + (bytes([arg]) if fill in ("byte", "random") else b"")
    for what, offset in stamps:
        out += bytes([what, offset & 0xFF, offset >> 8])
    return out


def data(count=1, stamps=(), unreadable=False, fill=0x11):
    return group("byte", fill, count, stamps, unreadable)


def blank(count=1):
    return group("zero", count=count)


def case(*groups, flags=0, limit=1024, room=0, at_event=1, no_folder=0, failing=0,
         first=0, cut=0, clock=()):
    head = bytes([flags, (limit - 1) % 8, room, at_event - 1, no_folder, failing,
                  first | cut << 2, len(clock)])
    for hour, minute, second, millisecond in clock:
        head += bytes([hour, minute, second, millisecond // 4])
    return head + b"".join(groups)


CASES = {
    "header-and-footer-in-one-sector": case(data(stamps=[(JPG, 10), (JPG_END, 100)])),
    "footer-across-two-sectors": case(data(stamps=[(JPG, 0), (JPG_END, 511)]), data(2)),
    "png-to-its-iend": case(data(stamps=[(PNG, 0)]), data(stamps=[(PNG_END, 20)]), data()),
    "header-splits-a-sector": case(data(stamps=[(GIF, 0)]), data(), data(stamps=[(RAR, 100)])),
    "two-types-in-one-sector": case(data(stamps=[(RAR, 0), (RTF, 100)]), data()),
    "new-header-beats-old-footer": case(data(stamps=[(JPG, 0)]), data(stamps=[(JPG_END, 10), (GIF, 200)])),
    "blank-run-below-the-limit": case(data(stamps=[(GIF, 0)]), blank(2), data(), limit=3),
    "blank-run-at-the-limit": case(data(stamps=[(FLV, 0)]), blank(2), blank(), data(), limit=3),
    "blanks-then-header-mid-sector": case(data(stamps=[(ZIP, 0)]), blank(), data(stamps=[(SEVEN_Z, 300)])),
    "unreadable-inside-a-file": case(data(stamps=[(GIF, 0)]), data(unreadable=True), data()),
    "unreadable-does-not-break-a-blank-run":
        case(data(stamps=[(GIF, 0)]), blank(), data(unreadable=True), blank(), data(), limit=2),
    "unreadable-blocks-across-a-file":
        case(data(stamps=[(RMVB, 0)]), data(300, unreadable=True), data(37), data(stamps=[(JPG_END, 0)])),
    "unreadable-run-between-files":
        case(data(stamps=[(JPG, 0), (JPG_END, 300)]), data(300, unreadable=True), data(stamps=[(RAR, 0)])),
    "disk-full-part-way":
        case(data(stamps=[(GIF, 0)]), data(2), data(stamps=[(RAR, 412)]), data(), room=10),
    "closes-fail": case(data(stamps=[(GIF, 0)]), data(stamps=[(RAR, 0)]), flags=CLOSES_FAIL),
    "creations-fail": case(data(stamps=[(GIF, 0)]), data(stamps=[(RAR, 0)]), data(stamps=[(ZIP, 0)]),
                           failing=0b011),
    "type-folder-cannot-be-made": case(data(stamps=[(GIF, 0)]), data(stamps=[(RAR, 0)]),
                                       data(stamps=[(GIF, 0)]), no_folder=1 << GIF),
    "many-files-in-one-millisecond": case(data(stamps=[(GIF, 0)]), group("copy", count=300)),
    "names-that-run-together": case(data(stamps=[(JPG, 0), (JPG_END, 20)]), group("copy", count=2),
                                    flags=SECOND_SCAN, clock=[(13, 4, 5, 8), (1, 34, 5, 8)]),
    "second-scan-into-the-same-folder": case(data(stamps=[(PNG, 0)]), data(37), flags=SECOND_SCAN),
    "stop-mid-file": case(data(stamps=[(GIF, 0)]), data(37), flags=STOP, at_event=5),
    "pause-and-continue": case(data(stamps=[(GIF, 0)]), data(37), flags=PAUSE, at_event=3),
    "stop-while-paused": case(data(stamps=[(FLV, 0)]), data(37), flags=PAUSE | STOP_WHILE_PAUSED, at_event=7),
    "stop-as-a-file-begins": case(data(stamps=[(GIF, 0)]), data(), data(stamps=[(RAR, 0)]), data(),
                                  data(stamps=[(ZIP, 0)]), data(), flags=STOP, at_event=3),
    "large-device-sectors": case(data(stamps=[(GIF, 0)]), data(), data(unreadable=True), data(37),
                                 data(stamps=[(RAR, 30)]), flags=LARGE_SECTORS),
    "plain-path": case(data(stamps=[(GIF, 0)]), data(unreadable=True), data(2), data(stamps=[(RAR, 100)]),
                       data(unreadable=True), data(), flags=PLAIN, room=20),
    # The read ahead fails on the bad sectors of the next block while a create fails here.
    "create-fails-as-the-read-ahead-fails":
        case(data(stamps=[(GIF, 0)]), data(300), data(300), data(300), data(300), data(300), data(300),
             data(37, unreadable=True), flags=SECOND_SCAN, no_folder=1 << GIF),
    "part-of-the-disk": case(data(stamps=[(GIF, 0)]), data(stamps=[(RAR, 0)]), data(2), data(), first=1, cut=2),
    "empty-range": case(data(stamps=[(GIF, 0)]), flags=EMPTY_RANGE),
    "first-beyond-the-end": case(data(stamps=[(GIF, 0)]), data(), first=3, cut=1),
    "random-sectors": case(group("random", 7, 300, [(JPG, 5), (PNG, 900), (FLV, 700)]),
                           group("random", 9, 37, [(RTF, 0)], unreadable=True), limit=2),
}

corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(corpus, exist_ok=True)
for old in os.listdir(corpus):
    os.remove(os.path.join(corpus, old))
for name, content in CASES.items():
    with open(os.path.join(corpus, name), "wb") as f:
        f.write(content)
