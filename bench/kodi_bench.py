"""lumagrove-kodi-bench: the Kodi add-on in the real Kodi (Debian's, under
Xvfb with Mesa's llvmpipe, as its tests start it), at 1280x720 and
1920x1080:

- its cost per frame, beside the GStreamer element's for frames of the same
  size: Kodi plays a click track for 15 s with LUMAGROVE_KODI_FINISH=1 (each
  frame's drawing finished before and after it is timed) and the add-on says
  its average when it stops; the element is timed by
  `lumagrove-api-cost-bench --element` (the demo's first 5 s, fed as a live
  source feeds it); runs alternated, medians of three;
- the offset from a kick heard to its glow's peak: the sound Kodi sends to
  the null sink recorded from its monitor (each chunk dated as it arrives),
  the screen grabbed over and over (each grab dated at its middle), the
  glows folded on the kicks' one-second period and the peak of their median
  set against the kicks' onset.

Prints a Markdown table. Run as root (the test's namespaces):

  python3 bench/kodi_bench.py BUILD_DIR
"""
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "kodi"))
from kodi_session import Kodi, blue_glow, wait_for, write_wav  # noqa: E402

RATE = 44100
RUNS = 3
PERIOD = 2.5  # seconds from a kick to the next: longer than any offset to be measured


def kick(t):
    at = t % PERIOD
    return 0.9 * math.sin(2 * math.pi * 60 * t) * (1 - at / 0.12) if at < 0.12 else 0.0


class Recorder:
    """The null sink's monitor as mono floats, each sample dated."""

    def __init__(self, env):
        self.process = subprocess.Popen(["parec", "-d", "lumagrove_test.monitor", "--raw", "--format=float32le",
                                         f"--rate={RATE}", "--channels=1", "--latency-msec=5"],
                                        env=env, stdout=subprocess.PIPE, bufsize=0)
        self.data, self.base = bytearray(), None
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while True:
            chunk = self.process.stdout.read(4096)
            if not chunk:
                return
            now = time.monotonic()
            self.data += chunk
            # The sample just read ended now: the earliest such date is the
            # one least delayed by the pipe.
            start = now - len(self.data) / 4 / RATE
            self.base = start if self.base is None else min(self.base, start)

    def onsets(self):
        """Dates at which a kick begins."""
        import array
        samples = array.array("f", bytes(self.data[:len(self.data) // 4 * 4]))
        found, quiet = [], 0
        for i, v in enumerate(samples):
            if abs(v) > 0.05:
                if quiet > RATE // 4:
                    found.append(self.base + i / RATE)
                quiet = 0
            else:
                quiet += 1
        return found

    def close(self):
        self.process.kill()
        self.process.wait()


def kodi_run(addon, song, width, height):
    """(ms a frame, kick-to-glow offset in ms) of one run."""
    kodi = Kodi(addon, width=width, height=height, env={"LUMAGROVE_KODI_FINISH": "1"})
    try:
        kodi.enable_addon()
        recorder = Recorder(kodi.env)
        kodi.play(song)
        kodi.show_visualisation()
        kodi.wait_log("Lumagrove: drawing")
        grabs, end = [], time.monotonic() + 15
        while time.monotonic() < end:
            before = time.monotonic()
            screen = kodi.screen()
            grabs.append(((before + time.monotonic()) / 2, blue_glow(screen)))
        kodi.call("Player.Stop", {"playerid": 0})
        line = kodi.wait_log("Lumagrove: stopped after")[-1]
        recorder.close()
        cost = float(line.split("frames, ")[1].split(" ms")[0])
        onsets = recorder.onsets()
        if not onsets:
            return cost, None
        bins, width = {}, 0.05
        for at, glow in grabs:
            phase = (at - onsets[0]) % PERIOD
            bins.setdefault(int(phase / width), []).append(glow)
        peak = max(bins, key=lambda b: statistics.median(bins[b]))
        offset = (peak + 0.5) * width
        return cost, 1000 * (offset if offset < PERIOD / 2 else offset - PERIOD)
    finally:
        kodi.close()


def element_run(build, width, height):
    out = subprocess.run([os.path.join(build, "lumagrove-api-cost-bench"), "--element", os.path.join(build, "gst"),
                          str(width), str(height)], capture_output=True, text=True, check=True).stdout
    return float(out.strip().splitlines()[-1])


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    addon = os.path.join(build, "kodi", "visualization.lumagrove")
    songs = tempfile.mkdtemp(prefix="lumagrove-kodi-bench-")
    song = os.path.join(songs, "kicks.wav")
    write_wav(song, RATE, 2, 30, lambda t, c: kick(t))
    try:
        table(build, addon, song)
    finally:
        shutil.rmtree(songs, ignore_errors=True)


def table(build, addon, song):
    print("| Size | add-on in Kodi, ms/frame | element, live, ms/frame | add-on / element | kick to glow peak, ms |")
    print("|---|---:|---:|---:|---:|")
    for width, height in ((1280, 720), (1920, 1080)):
        kodi, element, offsets = [], [], []
        for _ in range(RUNS):
            cost, offset = kodi_run(addon, song, width, height)
            kodi.append(cost)
            if offset is not None:
                offsets.append(offset)
            element.append(element_run(build, width, height))
        k, e = statistics.median(kodi), statistics.median(element)
        spread = f"{min(kodi):.2f}-{max(kodi):.2f}"
        off = f"{statistics.median(offsets):+.0f} ({min(offsets):+.0f} to {max(offsets):+.0f})" if offsets else "-"
        print(f"| {width}x{height} | {k:.2f} ({spread}) | {e:.2f} ({min(element):.2f}-{max(element):.2f}) | "
              f"{k / e:.2f} | {off} |", flush=True)


if __name__ == "__main__":
    main()
