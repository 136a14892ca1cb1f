"""The band picture, end to end: the built program writes it beside the
report, Python's XML parser reads it, and headless Chromium renders it; the
screenshot is then read back pixel by pixel to find the bars.

Without Chromium (Debian's chromium package) the rendering cases are skipped
and the script exits with 77, which CTest shows as skipped."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zlib

import tressel_run
from tressel_run import Workspace

SVG = "{http://www.w3.org/2000/svg}"
COLOURS = {6: (0x1f, 0x77, 0xb4), 7: (0x2c, 0xa0, 0x2c), 8: (0xff, 0x7f, 0x0e), 9: (0xd6, 0x27, 0x28),
           10: (0x94, 0x67, 0xbd), 12: (0x8c, 0x56, 0x4b)}
CHROMIUM = shutil.which("chromium")
SKIP_TEXT = "chromium is not installed (Debian package chromium): the rendering cases are skipped"

TWO = [
    dict(Frequency=474166, Bandwidth=8000, Standard=6, Modulation=20, RfLevel=-55, Snr=28.0, BitRate=1),
    dict(Frequency=490000, Bandwidth=8000, Standard=7, Modulation=22, PlpIds=[0, 1], RfLevel=-48, Snr=14.0,
         BitRate=1),
]
TWO_INTERVALS = [(466000, 498000)]


def many(n):
    """n transponders 8 MHz apart, standards in turn, SNR from 8 to 37 dB."""
    standards = sorted(COLOURS)
    return [dict(Frequency=50000 + 8000 * i, Bandwidth=8000, Standard=standards[i % len(standards)],
                 Modulation=20, RfLevel=-50, Snr=8 + (i * 7) % 30, BitRate=1) for i in range(n)]


def decode_png(data):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour, interlace)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xff
            elif kind == 2:
                line[i] = (line[i] + up) & 0xff
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xff
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xff
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def standard_at(pixel):
    for standard, colour in COLOURS.items():
        if all(abs(a - b) <= 6 for a, b in zip(pixel, colour)):
            return standard
    return None


def coloured_runs(row):
    """The standards of the runs of bar colour along one pixel row, left to right."""
    runs, current, length = [], None, 0
    for pixel in row + [(255, 255, 255)]:
        standard = standard_at(pixel)
        if standard == current:
            length += 1
            continue
        if current is not None and length >= 2:
            runs.append(current)
        current, length = standard, 1
    return runs


def render(svg_path, width, height):
    with tempfile.TemporaryDirectory(prefix="tressel-chromium-") as profile:
        png = os.path.join(profile, "shot.png")
        subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update", "--disable-sync",
                        "--hide-scrollbars", "--user-data-dir=" + os.path.join(profile, "user"),
                        "--screenshot=" + png, "--window-size=%d,%d" % (width, height),
                        "file://" + os.path.abspath(svg_path)],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        with open(png, "rb") as f:
            return decode_png(f.read())


class BandPicture(unittest.TestCase):
    def setUp(self):
        self.ws = Workspace()
        self.addCleanup(self.ws.close)

    def picture(self, band, intervals, options, name="4000.svg", runs=1):
        for _ in range(runs):
            status, out = self.ws.run(band, options, intervals)
            self.assertEqual(status, 0, out)
        self.assertIn("Draw band picture to %s ...\n" % name, out)
        self.assertNotIn("error !", out)
        root = ET.parse(self.ws.file(name)).getroot()  # well-formed XML, or this raises
        self.assertEqual(root.tag, SVG + "svg")
        return root, out

    def bars(self, root):
        """The bars: rects whose fill is a standard's colour, with their tooltips."""
        fills = {"#%02x%02x%02x" % c: s for s, c in COLOURS.items()}
        found = []
        for rect in root.iter(SVG + "rect"):
            title = rect.find(SVG + "title")
            if rect.get("fill") in fills and title is not None:
                found.append((fills[rect.get("fill")], rect, title.text))
        return found

    def baseline(self, root):
        """The y of the frequency axis: the widest horizontal dark line."""
        lines = [l for l in root.iter(SVG + "line") if l.get("stroke") == "#444444" and l.get("y1") == l.get("y2")]
        axis = max(lines, key=lambda l: float(l.get("x2")) - float(l.get("x1")))
        return int(float(axis.get("y1")))

    def test_two_transponders_with_history(self):
        root, out = self.picture(TWO, TWO_INTERVALS, {"History": "h.csv", "BandPicture": 1}, runs=2)
        bars = self.bars(root)
        self.assertEqual([b[0] for b in bars], [6, 7])
        self.assertEqual(bars[0][2], "474.166 MHz DVB-T 64QAM, SNR 28.0 dB, RF level -55 dBm")
        texts = [t.text or "" for t in root.iter(SVG + "text")]
        self.assertIn("474.166 64QAM", texts)
        self.assertIn("490.000 256QAM", texts)
        self.assertIn("Frequency (MHz)", texts)
        self.assertTrue(any(t.startswith("DVB-T2 (1)") for t in texts), texts)
        self.assertTrue(any(t.startswith("SNR over the last 2 passes") for t in texts), texts)
        # One cell per transponder and pass in the SNR panel.
        cells = [r for r in root.iter(SVG + "rect") if (r.findtext(SVG + "title") or "").count(": ") == 1
                 and "MHz, SNR" in r.findtext(SVG + "title")]
        self.assertEqual(len(cells), 4)

        if CHROMIUM is None:
            return
        width, height = int(float(root.get("width"))), int(float(root.get("height")))
        w, h, rows = render(self.ws.file("4000.svg"), width, height)
        base = self.baseline(root)
        self.assertEqual(coloured_runs(rows[base - 1]), [6, 7])
        # Each bar as high as its SNR: 28 dB twice 14 dB.
        heights = []
        for standard, rect, _ in bars:
            x = int(float(rect.get("x"))) + int(float(rect.get("width"))) // 2
            heights.append(sum(1 for y in range(base) if standard_at(rows[y][x]) == standard))
        self.assertAlmostEqual(heights[0] / heights[1], 2.0, delta=0.05)

    def test_two_hundred_transponders(self):
        band = many(200)
        root, out = self.picture(band, [(46000, 1650000)], {"BandPicture": 1, "Loop": 0})
        self.assertEqual(len(self.bars(root)), 200)
        labels = [t for t in root.iter(SVG + "text") if "rotate(-90)" in (t.get("transform") or "")
                  and "QAM" in (t.text or "")]
        self.assertEqual(len(labels), 200)
        # Labels keep at least a line's height apart, so that each can be read.
        xs = sorted(float(t.get("transform").split("(")[1].split()[0]) for t in labels)
        self.assertGreaterEqual(min(b - a for a, b in zip(xs, xs[1:])), 12)

        if CHROMIUM is None:
            return
        width, height = int(float(root.get("width"))), int(float(root.get("height")))
        w, h, rows = render(self.ws.file("4000.svg"), width, height)
        self.assertEqual((w, h), (width, height))
        self.assertEqual(coloured_runs(rows[self.baseline(root) - 1]), [t["Standard"] for t in band])

    def test_picture_lies_beside_the_report(self):
        ws = self.ws
        os.mkdir(ws.file("r"))
        root, out = self.picture(TWO, TWO_INTERVALS, {"BandPicture": 1, "Loop": 0, "ReportDir": "r"}, "r/4000.svg")
        self.assertEqual(sorted(os.listdir(ws.file("r"))), ["4000.svg", "4000.txt"])

    def test_picture_that_cannot_be_written_gets_error(self):
        status, out = self.ws.run(TWO, {"BandPicture": 1, "ReportDir": "missing"}, TWO_INTERVALS)
        self.assertEqual(status, 0)
        self.assertIn("Draw band picture to missing/4000.svg ...\nerror !\nStore transponder info", out)


if __name__ == "__main__":
    tressel_run.take_program_argument()
    result = unittest.main(exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    if CHROMIUM is None:
        print(SKIP_TEXT)
        sys.exit(tressel_run.SKIP)
