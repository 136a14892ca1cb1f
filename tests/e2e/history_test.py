"""The history CSV and the change lines, end to end: the built program scans
the virtual tuner's band and Python's csv module reads the file back."""

import csv
import datetime
import io
import re
import unittest

import tressel_run
from tressel_run import Workspace

COLUMNS = ["time", "pass", "state", "frequency_khz", "standard", "standard_code", "modulation",
           "modulation_code", "bandwidth_khz", "symbol_rate", "code_rate", "code_rate_code", "code_rate_lp",
           "code_rate_lp_code", "fft", "fft_code", "guard_interval", "guard_interval_code", "hierarchy",
           "hierarchy_code", "plp_ids", "rf_level_dbm", "snr_db", "bit_rate"]

# One transponder of every standard, two with pipes, frequencies off the
# 500 kHz raster so that the history shows them unrounded.
BAND = [
    dict(Frequency=306000, Bandwidth=8000, SymbolRate=6900000, Standard=8, Modulation=22, RfLevel=-52,
         Snr=31.4, BitRate=50800000),
    dict(Frequency=314250, Bandwidth=8000, SymbolRate=6875000, Standard=9, Modulation=24, Fec=4,
         GuardInterval=5, PlpIds=[1], RfLevel=-58, Snr=33.0, BitRate=60000000),
    dict(Frequency=474166, Bandwidth=8000, Standard=6, Modulation=20, Fec=2, FecLp=1, TransmissionMode=4,
         GuardInterval=4, Hierarchy=2, RfLevel=-55, Snr=28.1, BitRate=24100000),
    dict(Frequency=490000, Bandwidth=8000, Standard=7, Modulation=22, Fec=13, TransmissionMode=6,
         GuardInterval=7, PlpIds=[0, 1, 5], RfLevel=-48, Snr=30.2, BitRate=40200000),
    dict(Frequency=503000, Bandwidth=6000, Standard=10, Modulation=16, RfLevel=-60, Snr=21.5,
         BitRate=19390000),
    dict(Frequency=521143, Bandwidth=6000, Standard=12, Modulation=20, Fec=3, TransmissionMode=3,
         GuardInterval=3, RfLevel=-62, Snr=19.0, BitRate=18000000),
]
INTERVALS = [(298000, 322000), (466000, 530000)]
OPTIONS = {"History": "watch.csv"}
CHANGE_PREFIXES = ("New transponder", "Lost transponder", "Changed ")


def rows_of(data):
    """The history as Python's csv module reads it: header and dict rows."""
    reader = csv.DictReader(io.StringIO(data.decode("ascii"), newline=""))
    return reader.fieldnames, list(reader)


def change_lines(out):
    return [line for line in out.splitlines() if line.startswith(CHANGE_PREFIXES)]


class HistoryFile(unittest.TestCase):
    def setUp(self):
        self.ws = Workspace()
        self.addCleanup(self.ws.close)

    def run_ok(self, band, options=OPTIONS):
        status, out = self.ws.run(band, options, INTERVALS)
        self.assertEqual(status, 0, out)
        return out

    def test_every_standard_and_pipes_read_back_by_csv(self):
        out = self.run_ok(BAND)
        self.assertEqual(change_lines(out), [])  # the first pass has nothing to compare with
        data = self.ws.read_bytes("watch.csv")
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "every line ends in CR LF")
        header, rows = rows_of(data)
        self.assertEqual(header, COLUMNS)
        self.assertEqual(len(rows), len(BAND))
        for row, t in zip(rows, BAND):
            with self.subTest(frequency=t["Frequency"]):
                when = datetime.datetime.fromisoformat(row["time"])
                self.assertIsNotNone(when.utcoffset())
                self.assertRegex(row["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
                self.assertEqual(row["pass"], "1")
                self.assertEqual(row["state"], "found")
                self.assertEqual(int(row["frequency_khz"]), t["Frequency"])
                self.assertEqual(int(row["standard_code"]), t["Standard"])
                self.assertEqual(row["standard"], tressel_run.STANDARDS[t["Standard"]])
                self.assertEqual(int(row["modulation_code"]), t["Modulation"])
                self.assertEqual(int(row["bandwidth_khz"]), t["Bandwidth"])
                self.assertEqual(int(row["symbol_rate"]), t.get("SymbolRate", 0))
                self.assertEqual(int(row["code_rate_code"]), t.get("Fec", 0))
                self.assertEqual(int(row["code_rate_lp_code"]), t.get("FecLp", 0))
                self.assertEqual(int(row["fft_code"]), t.get("TransmissionMode", 0))
                self.assertEqual(int(row["guard_interval_code"]), t.get("GuardInterval", 0))
                self.assertEqual(int(row["hierarchy_code"]), t.get("Hierarchy", 0))
                self.assertEqual([int(p) for p in row["plp_ids"].split()], t.get("PlpIds", []))
                self.assertEqual(int(row["rf_level_dbm"]), t["RfLevel"])
                self.assertAlmostEqual(float(row["snr_db"]), t["Snr"], places=6)
                self.assertEqual(int(row["bit_rate"]), t["BitRate"])
        by_freq = {int(r["frequency_khz"]): r for r in rows}
        self.assertEqual((by_freq[474166]["modulation"], by_freq[474166]["code_rate"],
                          by_freq[474166]["code_rate_lp"], by_freq[474166]["fft"],
                          by_freq[474166]["guard_interval"], by_freq[474166]["hierarchy"]),
                         ("64QAM", "2/3", "1/2", "8K FFT", "1/4", "2"))
        self.assertEqual(by_freq[490000]["plp_ids"], "0 1 5")
        self.assertEqual(by_freq[503000]["modulation"], "8VSB")

    def test_two_runs_append_with_lost_rows_and_change_lines(self):
        self.run_ok(BAND)
        second = [dict(t) for t in BAND if t["Frequency"] != 503000]
        second[2].update(Modulation=18, Snr=22.0)          # 474.166: 16QAM, 6.1 dB down
        second[3].update(PlpIds=[0, 1], RfLevel=-53)       # 490: a pipe gone, 5 dB weaker
        second.append(dict(Frequency=527000, Bandwidth=8000, Standard=6, Modulation=22, RfLevel=-50,
                           Snr=27.0, BitRate=30000000))
        out = self.run_ok(second)
        self.assertEqual(change_lines(out), [
            "Changed 474.166 MHz modulation: 64QAM -> 16QAM",
            "Changed 474.166 MHz SNR: 28.1 -> 22.0 dB",
            "Changed 490.000 MHz PLP IDs: 0 1 5 -> 0 1",
            "Changed 490.000 MHz RF level: -48 -> -53 dBm",
            "Lost transponder 503.000 MHz ATSC 8VSB",
            "New transponder 527.000 MHz DVB-T 256QAM, SNR 27.0 dB, RF level -50 dBm",
        ])
        # The change lines follow the pass's total and come before the files.
        lines = out.splitlines()
        first_change = lines.index("Changed 474.166 MHz modulation: 64QAM -> 16QAM")
        self.assertEqual(lines[first_change - 1], "Total tranponders found = 6")
        self.assertTrue(lines[first_change + 6].startswith("Report detailed transponder info to"))

        data = self.ws.read_bytes("watch.csv")
        self.assertEqual(data.count(b"time,pass,state"), 1, "one header for both runs")
        header, rows = rows_of(data)
        first_time = rows[0]["time"]
        run1 = [r for r in rows if r["time"] == first_time]
        run2 = [r for r in rows if r["time"] != first_time]
        self.assertEqual(len(run1), 6)
        self.assertEqual(len({r["time"] for r in run2}), 1)
        self.assertEqual([r["state"] for r in run2], ["found"] * 6 + ["lost"])
        lost = run2[-1]
        self.assertEqual((lost["frequency_khz"], lost["standard"], lost["rf_level_dbm"], lost["snr_db"],
                          lost["bit_rate"]), ("503000", "ATSC", "", "", ""))

        # The same band again: not one change line, and no lost rows.
        out = self.run_ok(second)
        self.assertEqual(change_lines(out), [])
        header, rows = rows_of(self.ws.read_bytes("watch.csv"))
        self.assertEqual(len(rows), 6 + 7 + 6)

    def test_pass_without_transponders_loses_them_all(self):
        self.run_ok(BAND[:2])
        out = self.run_ok([])
        self.assertIn("Transponders not found !\nLost transponder 306.000 MHz DVB-C 256QAM\n"
                      "Lost transponder 314.250 MHz DVB-C2 1024QAM\n", out)
        header, rows = rows_of(self.ws.read_bytes("watch.csv"))
        self.assertEqual([r["state"] for r in rows], ["found", "found", "lost", "lost"])

    def test_damaged_history_is_skipped_and_the_history_goes_on(self):
        self.run_ok(BAND)
        with open(self.ws.file("watch.csv"), "ab") as f:
            f.write(b"2026-01-01T00:00:00.000+00:00,9,found,garbage\r\n\xff\xfe,,,\r\n")
        out = self.run_ok(BAND)
        self.assertIn("Cannot read the last pass of history watch.csv: nothing to compare\n", out)
        self.assertEqual(change_lines(out), [])
        out = self.run_ok(BAND[1:])
        self.assertIn("History watch.csv: 2 unreadable lines skipped\n", out)
        self.assertEqual(change_lines(out), ["Lost transponder 306.000 MHz DVB-C 256QAM"])

    def test_cut_last_row_is_ended_before_the_next_pass(self):
        self.run_ok(BAND)
        data = self.ws.read_bytes("watch.csv")
        self.ws.write("watch.csv", data[:-30], "wb")  # a crash in the middle of the last row
        self.run_ok(BAND)
        header, rows = rows_of(self.ws.read_bytes("watch.csv"))
        self.assertEqual(len(rows), 12)
        self.assertEqual(sum(1 for r in rows if None in r.values()), 1, "only the cut row is short")
        out = self.run_ok(BAND)
        self.assertEqual(change_lines(out), [])
        self.assertNotIn("Cannot read", out)

    def test_foreign_file_is_left_alone(self):
        foreign = b"name,phone\r\nAnne,555-0100\r\n"
        self.ws.write("watch.csv", foreign, "wb")
        out = self.run_ok(BAND)
        self.assertIn("History watch.csv is not a Tressel history: not compared, not written\n", out)
        self.assertEqual(self.ws.read_bytes("watch.csv"), foreign)
        self.assertIn("Store transponder info in 4000.ini ...\n", out)

    def test_unwritable_history_gets_one_line(self):
        out = self.run_ok(BAND, {"History": "no-such-dir/watch.csv"})
        self.assertEqual(re.findall(r".*history.*", out), ["Cannot append to history no-such-dir/watch.csv !"])
        self.assertIn("Store transponder info in 4000.ini ...\n", out)

    def test_repeating_run_keeps_one_history_and_a_picture_per_pass(self):
        # Loop=2 as overnight, stopped by the user once the third pass began.
        status, out = self.ws.run_until(BAND, {"History": "watch.csv", "BandPicture": 1, "Loop": 2}, INTERVALS,
                                        "---------- Pass 3 ----------")
        self.assertEqual(status, 0, out)
        passes = out.count("Total Scan Time")
        self.assertGreaterEqual(passes, 3)
        self.assertEqual(out.count("Draw band picture to 4000.svg ..."), passes)
        # Where the abort cut the last pass short, what lies beyond was not
        # scanned: it is carried over, never lost.
        self.assertEqual(change_lines(out), [])
        header, rows = rows_of(self.ws.read_bytes("watch.csv"))
        self.assertEqual([r["pass"] for r in rows], [str(p // 6 + 1) for p in range(6 * passes)])
        self.assertEqual([r["state"] for r in rows[:-6]], ["found"] * 6 * (passes - 1))
        last = rows[-6:]
        self.assertEqual(sorted(set(r["state"] for r in last)) in (["found"], ["found", "unscanned"],
                                                                    ["unscanned"]), True, last)
        self.assertEqual([r["snr_db"] for r in sorted(last, key=lambda r: int(r["frequency_khz"]))],
                         [r["snr_db"] for r in rows[:6]])
        times = [r["time"] for r in rows]
        self.assertEqual(times, sorted(times))
        self.assertIn("SNR over the last %d passes" % passes, self.ws.read_bytes("4000.svg").decode())
        # The next run compares with the last measured values, not with gaps.
        out = self.run_ok(BAND)
        self.assertEqual(change_lines(out), [])

    def test_keys_absent_write_nothing_new(self):
        out = self.run_ok(BAND, {})
        self.assertEqual(sorted(f for f in __import__("os").listdir(self.ws.path)),
                         ["4000.ini", "4000.txt", "Tressel.ini", "band.ini"])
        expected_tail = ("Total tranponders found = 6\n"
                         "Report detailed transponder info to 4000.txt ...\n"
                         "Store transponder info in 4000.ini ...\n\n\n")
        self.assertTrue(out.endswith(expected_tail), out)


if __name__ == "__main__":
    tressel_run.take_program_argument()
    unittest.main()
