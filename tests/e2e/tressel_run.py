"""Runs the built tressel against the virtual tuner in a temporary directory,
for the end-to-end tests written in Python (history and band picture)."""

import os
import signal
import subprocess
import sys
import tempfile

TRESSEL = None  # set from the command line by each test script

# Exit status that CTest reads as "skipped".
SKIP = 77

STANDARDS = {6: "DVB-T", 7: "DVB-T2", 8: "DVB-C", 9: "DVB-C2", 10: "ATSC", 12: "ISDB-T"}


def take_program_argument():
    """The first argument is the program; the rest go to unittest."""
    global TRESSEL
    if len(sys.argv) < 2:
        sys.exit("usage: %s PATH-TO-TRESSEL [unittest arguments]" % sys.argv[0])
    TRESSEL = os.path.abspath(sys.argv.pop(1))


def band_file(transponders):
    """A band file of dicts of record fields; PlpIds as a list."""
    text = "[Timing]\nSweepMs=0\nTuneMs=0\nSignalMs=0\n"
    for i, t in enumerate(transponders):
        text += "[Transponder%d]\n" % i
        for key, value in t.items():
            if key == "PlpIds":
                value = ",".join(str(v) for v in value)
            text += "%s=%s\n" % (key, value)
    return text


def config(options, intervals):
    """A configuration with fast scans over (start, stop) intervals in kHz."""
    text = "[Options]\nDevice=0\nFastScan=1\n"
    for key, value in options.items():
        text += "%s=%s\n" % (key, value)
    text += "[LocInfo]\nLocPos=4000\nLocName=Europe\n"
    for i, (start, stop) in enumerate(intervals):
        text += "[Scan%d]\nStart=%d\nStop=%d\nStep=8\nStd=0\n" % (i, start, stop)
    return text


class Workspace:
    """A temporary directory in which the program runs."""

    def __init__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="tressel-e2e-")
        self.path = self._dir.name

    def close(self):
        self._dir.cleanup()

    def file(self, name):
        return os.path.join(self.path, name)

    def write(self, name, text, mode="w"):
        with open(self.file(name), mode, newline="" if "b" not in mode else None) as f:
            f.write(text)

    def read_bytes(self, name):
        with open(self.file(name), "rb") as f:
            return f.read()

    def _prepare(self, transponders, options, intervals):
        """Writes the band and the configuration; returns the environment."""
        self.write("band.ini", band_file(transponders))
        self.write("Tressel.ini", config(options, intervals))
        env = dict(os.environ)
        env.pop("TRESSEL_TUNER_LIBRARY", None)
        env["TRESSEL_VIRTUAL_BAND"] = self.file("band.ini")
        return env

    def run_until(self, transponders, options, intervals, text):
        """Runs a repeating scan and sends SIGINT once standard output holds
        text; returns (exit status, standard output)."""
        env = self._prepare(transponders, options, intervals)
        process = subprocess.Popen([TRESSEL, "Tressel.ini"], cwd=self.path, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out = b""
        while text.encode() not in out:
            chunk = process.stdout.read1(65536)
            if not chunk:
                break
            out += chunk
        process.send_signal(signal.SIGINT)
        rest, _ = process.communicate(timeout=120)
        return process.returncode, (out + rest).decode("latin-1")

    def run(self, transponders, options, intervals):
        """Runs one scan; returns (exit status, standard output)."""
        env = self._prepare(transponders, options, intervals)
        done = subprocess.run([TRESSEL, "Tressel.ini"], cwd=self.path, env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        return done.returncode, done.stdout.decode("latin-1")
