#!/usr/bin/env python3
"""End-to-end tests of reclaima-cli: real runs on disk images, checked from outside.

ctest runs one class per test:  python3 -B cli_e2e.py CLASSNAME
From the environment: RECLAIMA_CLI (the program), RECLAIMA_FAULTY_READS (the
preloaded library that fails or slows reads), RECLAIMA_SAMPLE (folder of
sample.img and sample.truth.tsv), RECLAIMA_SCRATCH (a folder to work in),
RECLAIMA_VERSION (the product's version).
Exits 77, which ctest counts as skipped, when every test it ran was skipped.
"""
import collections
import fcntl
import hashlib
import os
import pty
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

CLI = os.environ.get("RECLAIMA_CLI", "")
FAULTY_READS = os.environ.get("RECLAIMA_FAULTY_READS", "")
SAMPLE = os.environ.get("RECLAIMA_SAMPLE", "")
SCRATCH = os.environ.get("RECLAIMA_SCRATCH", tempfile.gettempdir())
VERSION = os.environ.get("RECLAIMA_VERSION", "")

SECTOR = 512
# The catalogue, written out again so the tests do not take the program's word for it.
TYPES = [("JPG", "jpg"), ("PNG", "png"), ("GIF", "gif"), ("RTF", "rtf"), ("RAR", "rar"),
         ("ZIP", "zip"), ("7Z", "7z"), ("RMVB", "rmvb"), ("FLV", "flv")]
LABELS = [label for label, _ in TYPES]
EXTENSIONS = [ext for _, ext in TYPES]
HEADERS = {
    "jpg": bytes.fromhex("FFD8FFE000104A464946"), "png": bytes.fromhex("89504E470D0A1A0A"),
    "gif": b"GIF89a", "rtf": b"{\\rtf", "rar": b"Rar!", "zip": bytes.fromhex("504B030414000000"),
    "7z": bytes.fromhex("377ABCAF271C"), "rmvb": b".RMF", "flv": bytes.fromhex("464C560105000000"),
}
FOOTERS = {"jpg": b"\xff\xd9", "png": bytes.fromhex("49454E44AE426082")}
PROMPT = "提示: "


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


SampleFile = collections.namedtuple("SampleFile", "kind name size digest offset data")


def sample_files():
    """The sample image's bytes, and its files as its truth table lists them."""
    image = read(os.path.join(SAMPLE, "sample.img"), "rb")
    files = []
    for line in read(os.path.join(SAMPLE, "sample.truth.tsv")).splitlines()[1:]:
        kind, name, size, digest, _, offset = line.split("\t")
        size, offset = int(size), int(offset)
        files.append(SampleFile(kind, name, size, digest, offset, image[offset:offset + size]))
    return image, files


def scratch(name):
    """A fresh folder of that name; the last run's is removed, so runs do not pile up."""
    folder = os.path.join(SCRATCH, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def fake_file(kind, size, seed):
    """The type's header, filler holding no zero byte and no header or footer of any
    type, and the type's footer when it has one."""
    rng = random.Random(seed)
    head, foot = HEADERS[kind], FOOTERS.get(kind, b"")
    while True:
        data = head + rng.randbytes(size - len(head) - len(foot)).replace(b"\0", b"\1") + foot
        body = data[1:len(data) - len(foot)] if foot else data[1:]
        if not any(p in body for p in list(HEADERS.values()) + list(FOOTERS.values())):
            return data


def write_image(path, sectors, placements):
    """An image of `sectors` zero sectors with each (sector, bytes) laid in."""
    image = bytearray(sectors * SECTOR)
    for sector, data in placements:
        image[sector * SECTOR:sector * SECTOR + len(data)] = data
    with open(path, "wb") as f:
        f.write(image)


def faulty_env(fail_sectors="", delay_us=0):
    env = {"LD_PRELOAD": FAULTY_READS, "RECLAIMA_FAIL_SECTORS": fail_sectors,
           "RECLAIMA_READ_DELAY_US": str(delay_us)}
    # A sanitizer build wants its runtime first in the preload list; this library is no threat to it.
    asan = os.environ.get("ASAN_OPTIONS", "")
    env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "verify_asan_link_order=0"
    return env


def run_cli(*args, env=None, timeout=60):
    full_env = dict(os.environ)
    full_env.update(env or {})
    done = subprocess.run([CLI, *args], capture_output=True, env=full_env, timeout=timeout,
                          stdin=subprocess.DEVNULL)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def interrupt_cli(folder, *args):
    """Runs the program on a slow source, sends Ctrl-C once it has made three files in
    `folder`, and returns what run_cli does."""
    env = dict(os.environ)
    env.update(faulty_env(delay_us=3000))  # many seconds for a whole image of thousands of sectors
    process = subprocess.Popen([CLI, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and process.poll() is None:
        if os.path.isdir(folder) and len(os.listdir(folder)) >= 3:
            break
        time.sleep(0.02)
    process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=30)
    return process.returncode, out.decode("utf-8"), err.decode("utf-8")


def parse_summary(test, stdout):
    """{label: count}, files and bytes from the summary; fails the test when it is malformed."""
    found = re.search(r"^Found: (.*)$", stdout, re.M)
    test.assertIsNotNone(found, stdout)
    pairs = re.findall(r"([0-9A-Z]+):(\d+)", found.group(1))
    test.assertEqual([label for label, _ in pairs], LABELS, found.group(0))
    recovered = re.search(r"^Recovered: (\d+) files?, .* \((\d+) bytes\), in (.*)/<type>/$", stdout, re.M)
    test.assertIsNotNone(recovered, stdout)
    counts = {label: int(n) for label, n in pairs}
    return counts, int(recovered.group(1)), int(recovered.group(2))


def carved_files(outdir):
    """{extension: {path: bytes}} of every file under outdir/<extension>/."""
    carved = {}
    for ext in EXTENSIONS:
        folder = os.path.join(outdir, ext)
        if os.path.isdir(folder):
            carved[ext] = {}
            for name in sorted(os.listdir(folder)):
                carved[ext][os.path.join(folder, name)] = read(os.path.join(folder, name), "rb")
    return carved


def match_originals(test, originals, carved):
    """Each original (kind, name, bytes) must be a distinct carved file of its kind:
    the whole of it for types with a footer, a prefix of it for the rest, which run on
    to the next header. Returns the carved paths left over."""
    unused = {kind: dict(files) for kind, files in carved.items()}
    for kind, name, data in originals:
        pool = unused.get(kind, {})
        if kind in FOOTERS:
            hit = next((p for p, d in pool.items() if sha256(d) == sha256(data)), None)
        else:
            hit = next((p for p, d in pool.items() if d.startswith(data)), None)
        test.assertIsNotNone(hit, "%s (%s, %d bytes) was not recovered" % (name, kind, len(data)))
        del pool[hit]
    return [p for files in unused.values() for p in files]


class UsageTests(unittest.TestCase):
    def test_bad_arguments_print_usage_on_stderr_with_status_2(self):
        cases = [
            [],
            ["only-one"],
            ["a", "b", "c"],
            ["--bogus", "a", "b"],
            ["a", "b", "-x"],
            ["", "b"],
            [os.fsdecode(b"image\xff.img"), "b"],  # not UTF-8: the engine would open another name
            ["a", "b", "--report"],
            ["--report=", "a", "b"],
            ["--report", "r.xml", "a"],
        ]
        for args in cases:
            with self.subTest(args=args):
                status, out, err = run_cli(*args)
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertTrue(err.startswith("reclaima-cli: "), err)
                self.assertIn("Usage: reclaima-cli", err)

    def test_help_prints_usage_on_stdout_with_status_0(self):
        for flag in ["--help", "-h"]:
            with self.subTest(flag=flag):
                status, out, err = run_cli(flag)
                self.assertEqual((status, err), (0, ""))
                self.assertTrue(out.startswith(
                    "Usage: reclaima-cli [--allow-same-device] [--report FILE] SOURCE OUTDIR"))
                self.assertIn("130", out)

    def test_version_prints_the_products_version(self):
        for args in [["--version"], ["--version", "a", "b"], ["a", "--version"]]:
            with self.subTest(args=args):
                self.assertEqual(run_cli(*args), (0, "reclaima-cli %s\n" % VERSION, ""))


class SourceErrorTests(unittest.TestCase):
    def test_a_source_that_cannot_be_scanned_gives_one_line_and_status_1(self):
        work = scratch("source")
        os.makedirs(os.path.join(work, "folder"))
        cases = [
            (os.path.join(work, "missing.img"), "No such file or directory"),
            (os.path.join(work, "folder"), "not a block device or a disk-image file"),
            ("/dev/null", "not a block device or a disk-image file"),
        ]
        for source, reason in cases:
            with self.subTest(source=source):
                outdir = os.path.join(work, "out")
                status, out, err = run_cli(source, outdir)
                self.assertEqual(status, 1)
                self.assertEqual(out, "")
                self.assertEqual(err, "reclaima-cli: cannot open %s: %s\n" % (source, reason))
                self.assertFalse(os.path.exists(outdir), "OUTDIR made for a scan that never ran")


class OutDirErrorTests(unittest.TestCase):
    def test_an_outdir_that_cannot_be_written_gives_one_line_and_status_1(self):
        work = scratch("outdir")
        image = os.path.join(work, "one.img")
        write_image(image, 4, [(0, fake_file("jpg", 1000, 1))])
        blocker = os.path.join(work, "a-file")
        open(blocker, "w").close()
        # Root passes every permission check: these fail for other reasons.
        cases = [
            (os.path.join(blocker, "out"), "cannot create"),       # parent is a regular file
            (os.path.join(blocker, "deeper", "out"), "cannot create"),
            (blocker, "cannot create"),                           # OUTDIR is a regular file
            ("/proc/self/out", "cannot create"),                  # procfs makes no folders
            ("/proc/self", "cannot write to"),                    # nor files
        ]
        for outdir, what in cases:
            with self.subTest(outdir=outdir):
                status, out, err = run_cli(image, outdir)
                self.assertEqual(status, 1)
                self.assertEqual(out, "")
                self.assertRegex(err, r"^reclaima-cli: %s %s: .+\n$" % (what, re.escape(outdir)))


class TinySourceTests(unittest.TestCase):
    def test_a_source_shorter_than_a_sector_is_an_empty_scan(self):
        work = scratch("tiny")
        header = fake_file("jpg", 400, 2)
        cases = [
            (b"", 0),
            (header, 0),                             # the header is there, but no whole sector
            (header + b"\1" * (SECTOR - 1 - len(header)), 0),
            (header + b"\1" * (SECTOR - len(header)), 1),  # one whole sector is scanned
        ]
        for i, (content, jpgs) in enumerate(cases):
            with self.subTest(length=len(content)):
                image = os.path.join(work, "tiny%d.img" % i)
                with open(image, "wb") as f:
                    f.write(content)
                outdir = os.path.join(work, "out%d" % i)
                status, out, err = run_cli(image, outdir)
                self.assertEqual((status, err), (0, ""))
                counts, files, _ = parse_summary(self, out)
                self.assertEqual(counts, {label: (jpgs if label == "JPG" else 0) for label in LABELS})
                self.assertEqual(files, jpgs)
                self.assertEqual(sorted(os.listdir(outdir)), ["jpg"] if jpgs else [])


def file_hash(path):
    return sha256(read(path, "rb"))


class BadInputTests(unittest.TestCase):
    """Sources no scan should trip over: a clear line or a clean empty scan, never a crash,
    and never a byte written to the source."""

    def test_images_of_awkward_lengths_scan_their_whole_sectors_only(self):
        work = scratch("awkward")
        header = fake_file("gif", 600, 11)
        for length, gifs in [(0, 0), (511, 0), (513, 1)]:
            with self.subTest(length=length):
                image = os.path.join(work, "%d.img" % length)
                with open(image, "wb") as f:
                    f.write(header[:length])
                before = file_hash(image)
                status, out, err = run_cli(image, os.path.join(work, "out%d" % length))
                self.assertEqual((status, err), (0, ""))
                counts, files, written = parse_summary(self, out)
                self.assertEqual((counts["GIF"], files, written), (gifs, gifs, 512 * gifs))
                self.assertEqual(file_hash(image), before)

    def test_a_source_the_user_may_not_read_is_named_with_the_reason(self):
        work = scratch("forbidden")
        os.chmod(work, 0o777)
        image = os.path.join(work, "secret.img")
        write_image(image, 4, [(0, fake_file("jpg", 1000, 12))])
        os.chmod(image, 0o000)
        # Root reads anything: drop to nobody for this run.
        prefix = []
        if os.geteuid() == 0:
            prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]
            probe = subprocess.run(prefix + [CLI, "--help"], capture_output=True)
            if probe.returncode != 0:
                self.skipTest("reclaima-cli cannot run as nobody here: " + probe.stderr.decode(errors="replace"))
        done = subprocess.run(prefix + [CLI, image, os.path.join(work, "out")], capture_output=True, timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr.decode(), "reclaima-cli: cannot open %s: Permission denied\n" % image)
        os.chmod(image, 0o600)

    def test_a_source_that_shrinks_during_the_scan_ends_the_scan_cleanly(self):
        work = scratch("shrinking")
        image = os.path.join(work, "shrinks.img")
        write_image(image, 8192, [(0, fake_file("gif", 3000, 13)), (6000, fake_file("jpg", 2000, 14))])
        outdir = os.path.join(work, "out")
        env = dict(os.environ)
        env.update(faulty_env(delay_us=100))  # four blocks of 1 MiB, 0.2 s each
        cli = subprocess.Popen([CLI, image, outdir], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL, env=env)
        time.sleep(0.25)  # into the second block
        os.truncate(image, 100 * SECTOR)
        shrunk = file_hash(image)
        out, err = cli.communicate(timeout=60)
        self.assertEqual(cli.returncode, 0, err)
        self.assertEqual(err.decode(), "reclaima-cli: %s shrank from %d to %d bytes during the scan; "
                         "what lay past its new end was read as zeros\n" % (image, 8192 * SECTOR, 100 * SECTOR))
        counts, files, _ = parse_summary(self, out.decode())
        self.assertEqual(counts["JPG"], 0)  # it lay past the new end
        self.assertEqual(counts["GIF"], files)
        self.assertEqual(file_hash(image), shrunk)
        self.assertEqual(os.path.getsize(image), 100 * SECTOR)


class UnreadableSectorTests(unittest.TestCase):
    def test_the_scan_reports_each_unreadable_sector_and_goes_on(self):
        work = scratch("unreadable")
        files = [("jpg", "a.jpg", 0, fake_file("jpg", 1500, 3)),
                 ("png", "b.png", 10, fake_file("png", 2000, 4)),
                 ("gif", "c.gif", 16, fake_file("gif", 1000, 5)),
                 ("zip", "d.zip", 22, fake_file("zip", 3000, 6))]
        placements = [(sector, data) for _, _, sector, data in files]
        placements.append((6, b"\7" * 2 * SECTOR))  # data no file claims, unreadable
        image = os.path.join(work, "bad.img")
        write_image(image, 32, placements)
        outdir = os.path.join(work, "out")
        # 6 and 7 lie between files, 19 inside the run-on of the footer-less gif.
        status, out, err = run_cli(image, outdir, env=faulty_env("6-7,19"))
        self.assertEqual(status, 0, err)
        self.assertEqual(err.splitlines(), [PROMPT + "Input/output error"] * 3)
        counts, nfiles, _ = parse_summary(self, out)
        self.assertEqual(counts, {label: int(label in ("JPG", "PNG", "GIF", "ZIP")) for label in LABELS})
        left = match_originals(self, [(k, n, d) for k, n, _, d in files], carved_files(outdir))
        self.assertEqual(left, [])
        self.assertEqual(nfiles, 4)


class WrittenBytesTests(unittest.TestCase):
    def test_blank_sectors_inside_a_file_are_written_and_counted(self):
        work = scratch("written")
        photo = bytearray(fake_file("jpg", 4 * SECTOR - 100, 10))
        photo[SECTOR:3 * SECTOR] = bytes(2 * SECTOR)  # two blank sectors the file holds
        image = os.path.join(work, "gap.img")
        write_image(image, 8, [(0, bytes(photo))])
        outdir = os.path.join(work, "out")
        status, out, err = run_cli(image, outdir)
        self.assertEqual((status, err), (0, ""))
        _, nfiles, written = parse_summary(self, out)
        self.assertEqual([d for d in carved_files(outdir)["jpg"].values()], [bytes(photo)])
        self.assertEqual((nfiles, written), (1, len(photo)))


class ProgressTests(unittest.TestCase):
    """Progress is drawn on stderr only when it is a terminal."""

    def run_on_terminal(self, columns):
        work = scratch("progress")
        image = os.path.join(work, "slow.img")
        write_image(image, 400, [(0, fake_file("jpg", 2000, 7)), (200, fake_file("gif", 900, 8))])
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        env = dict(os.environ)
        env.update(faulty_env(delay_us=2000))  # about a second in all: several redraws
        process = subprocess.Popen([CLI, image, os.path.join(work, "out")], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=slave, env=env)
        os.close(slave)
        drawn = b""
        while True:
            ready, _, _ = select.select([master], [], [], 30)
            if not ready:
                break
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal closes with the program
                break
            if not chunk:
                break
            drawn += chunk
        os.close(master)
        with process.stdout:
            out = process.stdout.read().decode("utf-8")
        self.assertEqual(process.wait(timeout=30), 0)
        return drawn.decode("utf-8"), out

    def test_one_line_redrawn_in_place_then_cleared(self):
        drawn, out = self.run_on_terminal(200)
        lines = [part[:-len("\x1b[K")] for part in drawn.split("\r") if part.endswith("\x1b[K")]
        shown = [line for line in lines if line]
        self.assertGreaterEqual(len(shown), 2, repr(drawn))
        pattern = (r"^ *\d+\.\d%  \d+(\.\d)? (B|KiB) / 200\.0 KiB  \d+\.\d MiB/s  (--|\d.*s) left  " +
                   ", ".join(label + r":\d+" for label in LABELS) + "$")
        for line in shown:
            self.assertRegex(line, pattern)
        self.assertTrue(drawn.endswith("\r\x1b[K"), "the progress line is left on the screen")
        self.assertNotIn("\n", drawn)
        self.assertEqual(parse_summary(self, out)[0]["JPG"], 1)

    def test_a_narrow_terminal_gets_a_cut_line(self):
        drawn, _ = self.run_on_terminal(40)
        lines = [part[:-len("\x1b[K")] for part in drawn.split("\r") if part.endswith("\x1b[K")]
        self.assertTrue(any(lines))
        self.assertTrue(all(len(line) <= 37 for line in lines), lines)  # room for an echoed ^C


class InterruptTests(unittest.TestCase):
    def test_ctrl_c_stops_the_scan_keeps_the_files_and_exits_130(self):
        work = scratch("interrupt")
        image = os.path.join(work, "slow.img")
        originals = [("jpg", "photo%d.jpg" % i, fake_file("jpg", 3000, 100 + i)) for i in range(300)]
        write_image(image, 300 * 8, [(i * 8, data) for i, (_, _, data) in enumerate(originals)])
        outdir = os.path.join(work, "out")
        status, out, err = interrupt_cli(os.path.join(outdir, "jpg"), image, outdir)
        self.assertEqual(status, 130, err)
        self.assertEqual(err, "")
        self.assertIn("(stopped by Ctrl-C)", out)
        counts, nfiles, written = parse_summary(self, out)
        carved = carved_files(outdir)["jpg"]
        self.assertEqual(counts["JPG"], len(carved))
        self.assertEqual(nfiles, len(carved))
        self.assertTrue(3 <= len(carved) < len(originals), len(carved))
        self.assertEqual(written, sum(len(d) for d in carved.values()))
        # Every file is whole but the one open at the stop, which keeps what it holds.
        whole = {sha256(data) for _, _, data in originals}
        partial = [d for d in carved.values() if sha256(d) not in whole]
        self.assertLessEqual(len(partial), 1)
        for data in partial:
            self.assertTrue(any(o.startswith(data) for _, _, o in originals))


class SameDeviceTests(unittest.TestCase):
    """On a loop device with an ext2 filesystem: needs root, losetup, mkfs.ext2 and mount."""

    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0 or not all(shutil.which(t) for t in ("losetup", "mkfs.ext2", "mount")):
            raise unittest.SkipTest("needs root, losetup, mkfs.ext2 and mount")
        cls.work = scratch("samedevice")
        cls.backing = os.path.join(cls.work, "disk.img")
        cls.mount = os.path.join(cls.work, "mnt")
        os.makedirs(cls.mount)
        with open(cls.backing, "wb") as f:
            f.truncate(8 << 20)
        made = subprocess.run(["losetup", "--find", "--show", cls.backing], capture_output=True, text=True)
        if made.returncode != 0:
            raise unittest.SkipTest("no loop device: " + made.stderr.strip())
        cls.loop = made.stdout.strip()
        try:
            subprocess.run(["mkfs.ext2", "-q", "-F", cls.loop], check=True, capture_output=True)
            mounted = subprocess.run(["mount", cls.loop, cls.mount], capture_output=True, text=True)
            if mounted.returncode != 0:
                raise unittest.SkipTest("cannot mount ext2: " + mounted.stderr.strip())
        except BaseException:
            subprocess.run(["losetup", "-d", cls.loop])
            raise
        cls.photo = fake_file("jpg", 6000, 9)
        with open(os.path.join(cls.mount, "photo.jpg"), "wb") as f:
            f.write(cls.photo)
        os.sync()

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["umount", cls.mount])
        subprocess.run(["losetup", "-d", cls.loop])

    def test_refuses_an_outdir_on_the_scanned_device(self):
        for outdir in [os.path.join(self.mount, "out"), os.path.join(self.mount, "a", "b")]:
            with self.subTest(outdir=outdir):
                status, out, err = run_cli(self.loop, outdir)
                self.assertEqual((status, out), (1, ""))
                self.assertEqual(len(err.splitlines()), 1, err)
                self.assertIn("%s is on %s" % (outdir, self.loop), err)
                self.assertIn("overwrite", err)
                self.assertIn("--allow-same-device", err)
                self.assertFalse(os.path.exists(outdir))

    def test_refuses_a_report_on_the_scanned_device(self):
        outdir = os.path.join(scratch("elsewhere"), "out")
        report = os.path.join(self.mount, "report.xml")
        status, out, err = run_cli("--report", report, self.loop, outdir)
        self.assertEqual((status, out), (1, ""))
        self.assertIn("%s is on %s" % (report, self.loop), err)
        self.assertIn("--allow-same-device", err)
        self.assertFalse(os.path.exists(report))
        self.assertFalse(os.path.exists(outdir))

    def test_writes_there_when_allowed(self):
        outdir = os.path.join(self.mount, "allowed")
        status, out, err = run_cli("--allow-same-device", self.loop, outdir)
        self.assertEqual((status, err), (0, ""))
        self.assertGreaterEqual(parse_summary(self, out)[0]["JPG"], 1)
        self.assertIn(sha256(self.photo), {sha256(d) for d in carved_files(outdir)["jpg"].values()})

    def test_an_outdir_on_another_device_needs_no_leave(self):
        outdir = os.path.join(scratch("elsewhere"), "out")
        status, out, err = run_cli(self.loop, outdir)
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(parse_summary(self, out)[0]["JPG"], 1)
        self.assertEqual([sha256(d) for d in carved_files(outdir)["jpg"].values()], [sha256(self.photo)])


class SampleImageTests(unittest.TestCase):
    """The sample FAT32 image, carved twice into one OUTDIR and checked against its truth table."""

    @classmethod
    def setUpClass(cls):
        cls.image = os.path.join(SAMPLE, "sample.img")
        cls.originals = []
        for f in sample_files()[1]:
            assert sha256(f.data) == f.digest, f.name
            cls.originals.append((f.kind, f.name, f.data))
        per_type = collections.Counter(kind for kind, _, _ in cls.originals)
        cls.expected = {label: per_type[ext] for label, ext in TYPES}
        cls.outdir = os.path.join(scratch("sample"), "recovered")
        cls.first = run_cli(cls.image, cls.outdir)
        cls.after_first = carved_files(cls.outdir)
        cls.second = run_cli(cls.image, cls.outdir)
        cls.after_second = carved_files(cls.outdir)

    def check_run(self, run, files):
        status, out, err = run
        self.assertEqual((status, err), (0, ""), "stderr is not a terminal: nothing but the summary")
        counts, nfiles, written = parse_summary(self, out)
        self.assertEqual(counts, self.expected)
        for label, ext in TYPES:
            self.assertEqual(len(files.get(ext, {})), self.expected[label], ext)
        self.assertTrue(all(files_of_type for files_of_type in files.values()))
        self.assertTrue(all(len(d) > 0 for fs in files.values() for d in fs.values()))
        self.assertEqual(nfiles, sum(self.expected.values()))
        self.assertEqual(written, sum(len(d) for fs in files.values() for d in fs.values()))
        self.assertEqual(match_originals(self, self.originals, files), [])

    def test_first_run_recovers_every_file(self):
        self.check_run(self.first, self.after_first)

    def test_second_run_leaves_the_first_runs_files_alone(self):
        for ext, files in self.after_first.items():
            for path, data in files.items():
                self.assertEqual(self.after_second[ext].get(path), data, path)

    def test_second_run_recovers_every_file_again_beside_them(self):
        new = {ext: {p: d for p, d in files.items() if p not in self.after_first.get(ext, {})}
               for ext, files in self.after_second.items()}
        for label, ext in TYPES:
            self.assertEqual(len(self.after_second.get(ext, {})), 2 * self.expected[label], ext)
        self.check_run(self.second, new)


def main():
    program = unittest.main(module="__main__", exit=False, verbosity=2)
    result = program.result
    if not result.wasSuccessful():
        sys.exit(1)
    # A class skipped in setUpClass counts one skip and no test run.
    if result.skipped and len(result.skipped) >= result.testsRun:
        sys.exit(77)


if __name__ == "__main__":
    main()
