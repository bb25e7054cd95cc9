#!/usr/bin/env python3
"""End-to-end tests of reclaima-cli --report: the DFXML record checked against the
recovered files, the source, and the sample image's table of where each file lies.

ctest runs one class per test:  python3 -B report_e2e.py CLASSNAME
The environment is cli_e2e.py's.
"""
import hashlib
import os
import re
import shutil
import subprocess
import time
import unittest
import xml.etree.ElementTree as ElementTree

from cli_e2e import (FOOTERS, SAMPLE, SECTOR, TYPES, carved_files, fake_file, faulty_env,
                     interrupt_cli, main, read, run_cli, sample_files, scratch, sha256,
                     write_image)

DFXML = "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML"
NS = {"d": DFXML, "r": "https://vantobel.example/reclaima/dfxml"}
EXTENSION_OF = dict(TYPES)


def sha1(data):
    return hashlib.sha1(data).hexdigest()


def read_report(test, path):
    """The report's root element; fails the test unless xmllint takes it as well-formed XML."""
    checked = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True)
    test.assertEqual(checked.returncode, 0, checked.stderr)
    root = ElementTree.parse(path).getroot()
    test.assertEqual(root.tag, "{%s}dfxml" % DFXML)
    return root


def file_objects(root):
    """[{name, size, type, sector, offset, runs: [(file_offset, img_offset or None, len)], sha1, failed}]"""
    objects = []
    for fo in root.findall("d:fileobject", NS):
        runs = []
        for run in fo.findall("d:byte_runs/d:byte_run", NS):
            img = run.get("img_offset")
            runs.append((int(run.get("file_offset")), None if img is None else int(img),
                         int(run.get("len")), run.get("fill")))
        objects.append({
            "name": fo.findtext("d:filename", namespaces=NS),
            "size": int(fo.findtext("d:filesize", namespaces=NS)),
            "type": fo.findtext("r:type", namespaces=NS),
            "sector": int(fo.findtext("r:start_sector", namespaces=NS)),
            "offset": int(fo.findtext("r:start_offset", namespaces=NS)),
            "runs": runs,
            "sha1": fo.findtext("d:hashdigest[@type='sha1']", namespaces=NS),
            "failed": fo.find("r:write_failed", NS) is not None,
        })
    return objects


def check_against_files(test, objects, outdir, image):
    """Every recovered file listed once, and each listing true to the file and to the source."""
    carved = {os.path.relpath(path, outdir): data
              for files in carved_files(outdir).values() for path, data in files.items()}
    names = [o["name"] for o in objects]
    test.assertEqual(len(names), len(set(names)), "a file listed twice")
    test.assertEqual(sorted(names), sorted(carved))
    for o in objects:
        with test.subTest(file=o["name"]):
            data = carved[o["name"]]
            test.assertFalse(o["failed"])
            test.assertEqual(o["size"], len(data))
            test.assertEqual(o["sha1"], sha1(data))
            test.assertEqual(o["name"].split("/")[0], EXTENSION_OF[o["type"]])
            test.assertEqual(o["sector"], o["offset"] // SECTOR)
            test.assertEqual(o["runs"][0][1], o["offset"], "the first run starts at the header")
            at = 0
            for file_offset, img_offset, length, fill in o["runs"]:
                test.assertEqual(file_offset, at, "runs must follow one another")
                test.assertGreater(length, 0)
                if img_offset is None:
                    test.assertEqual(fill, "0")
                    expected = bytes(length)
                else:
                    test.assertIsNone(fill)
                    expected = image[img_offset:img_offset + length]
                test.assertEqual(data[at:at + length], expected)
                at += length
            test.assertEqual(at, o["size"])


class ReportSampleTests(unittest.TestCase):
    """The sample FAT32 image carved with a report."""

    @classmethod
    def setUpClass(cls):
        cls.image_path = os.path.join(SAMPLE, "sample.img")
        cls.image, cls.truth = sample_files()
        work = scratch("report-sample")
        cls.outdir = os.path.join(work, "recovered")
        cls.report = os.path.join(work, "report.xml")
        cls.outcome = run_cli("--report", cls.report, cls.image_path, cls.outdir)

    def setUp(self):
        self.assertEqual(self.outcome[0], 0, self.outcome[2])
        self.root = read_report(self, self.report)
        self.objects = file_objects(self.root)

    def test_every_recovered_file_is_listed_once_and_truly(self):
        check_against_files(self, self.objects, self.outdir, self.image)

    def test_each_file_of_the_image_is_listed_where_it_lies(self):
        at = {o["offset"]: o for o in self.objects}
        self.assertEqual(len(self.objects), len(self.truth))
        for kind, name, size, digest, offset, original in self.truth:
            with self.subTest(file=name):
                o = at.get(offset)
                self.assertIsNotNone(o, "%s at %s not in the report" % (name, offset))
                self.assertEqual(EXTENSION_OF[o["type"]], kind)
                self.assertEqual(sha256(original), digest)
                data = read(os.path.join(self.outdir, o["name"]), "rb")
                # The types without a footer run on to the next header.
                if kind in FOOTERS:
                    self.assertEqual(o["size"], size)
                else:
                    self.assertGreaterEqual(o["size"], size)
                self.assertEqual(data[:size], original)

    def test_the_head_names_the_source_and_the_times(self):
        source = self.root.find("d:source", NS)
        self.assertEqual(source.findtext("d:image_filename", namespaces=NS), self.image_path)
        self.assertEqual(int(source.findtext("d:image_size", namespaces=NS)), len(self.image))
        creator = self.root.find("d:creator", NS)
        self.assertEqual(creator.findtext("d:program", namespaces=NS), "reclaima-cli")
        self.assertEqual(creator.findtext("d:version", namespaces=NS), os.environ["RECLAIMA_VERSION"])
        start = creator.findtext("d:execution_environment/d:start_time", namespaces=NS)
        end = self.root.findtext("r:end_time", namespaces=NS)
        for stamp in (start, end):
            time.strptime(stamp, "%Y-%m-%dT%H:%M:%SZ")
        self.assertLessEqual(start, end)
        self.assertEqual(self.root.findtext("r:outcome", namespaces=NS), "completed")


class ReportRunsTests(unittest.TestCase):
    def test_a_blank_gap_and_an_unreadable_sector_show_in_the_runs(self):
        work = scratch("report-runs")
        photo = bytearray(fake_file("jpg", 6 * SECTOR - 50, 20))
        photo[SECTOR:2 * SECTOR] = bytes(SECTOR)          # sector 1 blank: kept as zeros
        rar = fake_file("rar", 700, 21)
        image_path = os.path.join(work, "runs.img")
        write_image(image_path, 12, [(0, bytes(photo)), (8, rar)])
        image = read(image_path, "rb")
        outdir = os.path.join(work, "out")
        report = os.path.join(work, "runs & gaps.xml")
        status, _, err = run_cli("--report=" + report, image_path, outdir, env=faulty_env("3"))
        self.assertEqual(status, 0, err)
        objects = file_objects(read_report(self, report))
        self.assertEqual([(o["type"], o["sector"], o["offset"]) for o in objects],
                         [("JPG", 0, 0), ("RAR", 8, 8 * SECTOR)])
        self.assertEqual(objects[0]["runs"], [
            (0, 0, SECTOR, None),
            (SECTOR, None, SECTOR, "0"),                                  # the blank sector
            (2 * SECTOR, 2 * SECTOR, SECTOR, None),
            (3 * SECTOR, None, SECTOR, "0"),                              # the unreadable one
            (4 * SECTOR, 4 * SECTOR, len(photo) - 4 * SECTOR, None),
        ])
        check_against_files(self, objects, outdir, image)

    def test_an_existing_report_is_kept_and_nothing_is_scanned(self):
        work = scratch("report-exists")
        image = os.path.join(work, "one.img")
        write_image(image, 4, [(0, fake_file("jpg", 1000, 22))])
        report = os.path.join(work, "report.xml")
        with open(report, "w") as f:
            f.write("an earlier record")
        cases = [(report, "File exists"), (os.path.join(work, "no", "such", "r.xml"), "No such file")]
        for path, reason in cases:
            with self.subTest(report=path):
                outdir = os.path.join(work, "out")
                status, out, err = run_cli("--report", path, image, outdir)
                self.assertEqual((status, out), (1, ""))
                self.assertRegex(err, r"^reclaima-cli: cannot create %s: %s" % (re.escape(path), reason))
                self.assertEqual(carved_files(outdir), {})
        self.assertEqual(read(report), "an earlier record")


class ReportInterruptTests(unittest.TestCase):
    def test_after_ctrl_c_the_report_is_whole_and_lists_what_was_kept(self):
        work = scratch("report-interrupt")
        image_path = os.path.join(work, "slow.img")
        originals = [fake_file("gif", 3000, 200 + i) for i in range(300)]
        write_image(image_path, 300 * 8, [(i * 8, data) for i, data in enumerate(originals)])
        image = read(image_path, "rb")
        outdir = os.path.join(work, "out")
        report = os.path.join(work, "report.xml")
        status, _, err = interrupt_cli(os.path.join(outdir, "gif"), "--report", report,
                                       image_path, outdir)
        self.assertEqual(status, 130, err)
        root = read_report(self, report)
        self.assertEqual(root.findtext("r:outcome", namespaces=NS), "stopped")
        objects = file_objects(root)
        self.assertTrue(3 <= len(objects) < len(originals), len(objects))
        check_against_files(self, objects, outdir, image)


if __name__ == "__main__":
    if not shutil.which("xmllint"):
        raise SystemExit("xmllint is missing: run tools/install-deps.sh")
    main()
