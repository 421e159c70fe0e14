"""A Kodi of the test's own: Debian's Kodi under Xvfb, in a private network
namespace with only loopback up (Kodi looks things up online), with a
PulseAudio daemon and null sink of its own (KODI_AE_SINK=PULSE), a profile
in a scratch HOME whose addons/ folder links the build's add-on, driven
through JSON-RPC on TCP port 9090 and read back from the X screen (xwd) and
Kodi's log. Every wait is for an event (a port, a log line, a player's
state), up to a deadline."""
import json
import os
import shutil
import select
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import wave
import zlib

ADDON_ID = "visualization.lumagrove"
DEADLINE = 120.0  # seconds any one event may take on a busy machine


class KodiError(Exception):
    pass


def wait_for(what, check, deadline=DEADLINE, every=0.1, seen=None):
    """check() until it returns something true; raises naming `what` (and
    what seen() says then)."""
    end = time.monotonic() + deadline
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise KodiError(f"timed out waiting for {what}" + (f" ({seen()})" if seen else ""))
        time.sleep(every)


class Kodi:
    def __init__(self, addon_dir, settings=None, width=1280, height=720, env=None):
        """`addon_dir`: the build's add-on folder (None: the one Kodi finds
        installed); `settings`: the add-on's
        settings ({"plugin": path}) written before Kodi starts."""
        self.root = tempfile.mkdtemp(prefix="lumagrove-kodi-")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "run")
        os.makedirs(os.path.join(self.home, ".kodi", "addons"))
        os.makedirs(os.path.join(self.home, ".kodi", "userdata", "addon_data", ADDON_ID))
        os.makedirs(self.runtime, mode=0o700)
        if addon_dir:  # else the one installed in Kodi's own folders
            os.symlink(os.path.abspath(addon_dir), os.path.join(self.home, ".kodi", "addons", ADDON_ID))
        with open(os.path.join(self.home, ".kodi", "userdata", "advancedsettings.xml"), "w") as f:
            f.write("<advancedsettings version=\"1.0\"><splash>false</splash></advancedsettings>\n")
        if settings:
            with open(os.path.join(self.home, ".kodi", "userdata", "addon_data", ADDON_ID, "settings.xml"), "w") as f:
                f.write("<settings version=\"2\">\n")
                for key, value in settings.items():
                    f.write(f"    <setting id=\"{key}\">{value}</setting>\n")
                f.write("</settings>\n")
        self.log_path = os.path.join(self.home, ".kodi", "temp", "kodi.log")
        self.env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=self.runtime, PULSE_RUNTIME_PATH=self.runtime,
                        KODI_AE_SINK="PULSE")
        self.env.pop("PULSE_SERVER", None)
        self.env.update(env or {})
        self.processes = []
        self.holder = self.relay = None
        self.pending, self.next_id = b"", 0
        try:
            self._start(width, height)
        except BaseException:
            self.close()
            raise

    def _spawn(self, args, name):
        with open(os.path.join(self.root, name + ".out"), "w") as out:
            p = subprocess.Popen(args, env=self.env, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        self.processes.append(p)
        return p

    def _inside(self, args):
        """`args` run in the test's namespaces."""
        return ["nsenter", "-t", str(self.holder.pid), "-n", "-m"] + args

    def _start(self, width, height):
        # A private network namespace with only loopback up, and a private
        # /tmp/.X11-unix: the X server's socket is the test's alone, so an X
        # server another test starts (in a namespace of its own, where the
        # display numbers in use elsewhere look free) cannot take its place.
        self.holder = subprocess.Popen(
            ["unshare", "-n", "-m", "--propagation", "private", "sh", "-c",
             "mkdir -p /tmp/.X11-unix && mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix && "
             "ip link set lo up && echo ready && exec sleep infinity"],
            stdout=subprocess.PIPE, text=True, start_new_session=True)
        self.processes.append(self.holder)
        if self.holder.stdout.readline().strip() != "ready":
            raise KodiError("cannot make the test's namespaces (run as root)")
        # Xvfb on a free display: -displayfd tells which.
        r, w = os.pipe()
        xvfb = subprocess.Popen(self._inside(["Xvfb", "-displayfd", str(w), "-screen", "0",
                                              f"{width}x{height}x24", "-nolisten", "tcp"]),
                                pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        self.processes.append(xvfb)
        os.close(w)
        with os.fdopen(r) as f:
            display = f.readline().strip()
        if not display:
            raise KodiError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display
        self._spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                     "-L", "module-native-protocol-unix", "-L", "module-null-sink sink_name=lumagrove_test",
                     "-L", "module-always-sink"], "pulse")
        wait_for("the sound server", lambda: subprocess.run(["pactl", "info"], env=self.env,
                                                            stdout=subprocess.DEVNULL,
                                                            stderr=subprocess.DEVNULL).returncode == 0)
        self.kodi = self._spawn(self._inside(["kodi", "--standalone", "--windowing=x11"]), "kodi")
        self.kodi_pid = wait_for("kodi.bin", self._kodi_bin)
        self._connect()

    def _kodi_bin(self):
        out = subprocess.run(["pgrep", "-P", str(self.kodi.pid)], capture_output=True, text=True).stdout.split()
        for pid in out:
            try:
                with open(f"/proc/{pid}/comm") as f:
                    if f.read().strip() == "kodi.bin":
                        return int(pid)
            except OSError:
                pass
            # kodi is a script that may start kodi.bin as its child
            for child in subprocess.run(["pgrep", "-P", pid], capture_output=True, text=True).stdout.split():
                with open(f"/proc/{child}/comm") as f:
                    if f.read().strip() == "kodi.bin":
                        return int(child)
        if self.kodi.poll() is not None:
            raise KodiError(f"Kodi ended at its start: {self.output('kodi')[-2000:]}")
        return None

    def _connect(self):
        """The lasting JSON-RPC connection, once Kodi listens."""
        relay = os.path.join(os.path.dirname(os.path.abspath(__file__)), "kodi_relay.py")
        self.relay = subprocess.Popen(self._inside([sys.executable, relay, str(DEADLINE)]), stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, bufsize=0, start_new_session=True)
        self.processes.append(self.relay)
        if self._answer_line(DEADLINE + 10) != "connected":
            raise KodiError(f"Kodi's JSON-RPC does not answer ({self._state()})")

    def _answer_line(self, timeout):
        """The relay's next line, or None when it ends or says nothing in time."""
        end = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = end - time.monotonic()
            if left <= 0 or not select.select([self.relay.stdout], [], [], left)[0]:
                return None
            chunk = os.read(self.relay.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode()

    def _state(self):
        return "Kodi running" if self.alive() else f"Kodi ended ({self.kodi.poll()})"

    def call(self, method, params=None):
        """One JSON-RPC call; its result."""
        self.next_id += 1
        request = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            request["params"] = params
        try:
            self.relay.stdin.write((json.dumps(request) + "\n").encode())
        except OSError:
            raise KodiError(f"{method}: no connection, {self._state()}")
        while True:
            line = self._answer_line(60)
            if line is None:
                raise KodiError(f"{method}: no answer, {self._state()}")
            answer = json.loads(line)
            if answer.get("id") == self.next_id:
                break
        if "error" in answer:
            raise KodiError(f"{method}: {answer['error']}")
        return answer["result"]

    # --- what Kodi says ------------------------------------------------------
    def log(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def log_lines(self, text):
        return [line for line in self.log().splitlines() if text in line]

    def wait_log(self, text, count=1):
        return wait_for(f"{count} log line(s) with {text!r}",
                        lambda: len(self.log_lines(text)) >= count and self.log_lines(text))

    def output(self, name):
        with open(os.path.join(self.root, name + ".out"), errors="replace") as f:
            return f.read()

    def alive(self):
        return self.kodi.poll() is None and os.path.exists(f"/proc/{self.kodi_pid}")

    def resident_kib(self):
        with open(f"/proc/{self.kodi_pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise KodiError("no VmRSS")

    # --- playing ---------------------------------------------------------------
    def enable_addon(self):
        # A first start asks "Would you like to enable this add-on?" of an
        # add-on it finds disabled: enabled here, and the question dismissed.
        wait_for("Kodi's question about the add-on", lambda: self.window()["id"] == 10100, seen=self.window)
        self.call("Addons.SetAddonEnabled", {"addonid": ADDON_ID, "enabled": True})
        def dismissed():
            if self.window()["id"] != 10100:
                return True
            self.call("Input.ExecuteAction", {"action": "back"})
            return False
        wait_for("the question dismissed", dismissed, every=0.5, seen=self.window)
        self.call("Settings.SetSettingValue", {"setting": "musicplayer.visualisation", "value": ADDON_ID})

    def play(self, path):
        self.call("Player.Open", {"item": {"file": path}})
        wait_for("the audio player", lambda: any(p["type"] == "audio" for p in self.call("Player.GetActivePlayers")))

    def player(self, *properties):
        return self.call("Player.GetProperties", {"playerid": 0, "properties": list(properties)})

    def seconds_played(self):
        t = self.player("time")["time"]
        return t["hours"] * 3600 + t["minutes"] * 60 + t["seconds"] + t["milliseconds"] / 1000

    def window(self):
        return self.call("GUI.GetProperties", {"properties": ["currentwindow"]})["currentwindow"]

    def show_visualisation(self):
        # Kodi refuses the window while a dialog is up (a busy one, as a song
        # opens): asked again until it is there.
        def shown():
            window = self.window()["id"]
            if window == 12006:
                return True
            if window == 10100:  # a question of Kodi's left over from its start
                self.call("Input.ExecuteAction", {"action": "back"})
            else:
                self.call("GUI.ActivateWindow", {"window": "visualisation"})
            return False
        wait_for("the visualisation window", shown, every=0.5, seen=self.window)

    def screen(self):
        """The X screen: (width, height, rows of BGRX bytes)."""
        data = subprocess.run(self._inside(["xwd", "-root", "-silent"]), env=self.env, capture_output=True, check=True).stdout
        h = struct.unpack(">25I", data[:100])
        header, width, height, bytes_per_line, colours = h[0], h[4], h[5], h[12], h[19]
        if h[11] != 32:
            raise KodiError(f"xwd gave {h[11]} bits a pixel")
        start = header + colours * 12
        return width, height, [data[start + y * bytes_per_line:start + y * bytes_per_line + width * 4]
                               for y in range(height)]

    def close(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except OSError:
                    pass
                p.wait()
        for pipe in (self.holder and self.holder.stdout, self.relay and self.relay.stdin,
                     self.relay and self.relay.stdout):
            if pipe:
                pipe.close()
        keep = os.environ.get("LUMAGROVE_KODI_LOGS")  # a folder to keep Kodi's logs in
        if keep and os.path.exists(self.log_path):
            os.makedirs(keep, exist_ok=True)
            shutil.copy(self.log_path, os.path.join(keep, f"kodi-{os.path.basename(self.root)}.log"))
            for name in ("kodi.out", "pulse.out"):
                if os.path.exists(os.path.join(self.root, name)):
                    shutil.copy(os.path.join(self.root, name), os.path.join(keep, name))
            for crash in (n for n in os.listdir(self.home) if n.startswith("kodi_crashlog")):
                shutil.copy(os.path.join(self.home, crash), os.path.join(keep, crash))
        shutil.rmtree(self.root, ignore_errors=True)


def blue_glow(screen):
    """Pixels of the blue glow (blue well above red and green), one in every
    4 x 4 of the screen."""
    _, _, rows = screen
    count = 0
    for row in rows[::4]:
        b, g, r = row[0::16], row[1::16], row[2::16]
        count += sum(1 for i in range(len(b)) if b[i] > 96 and b[i] > r[i] + 48 and b[i] > g[i] + 48)
    return count


def write_png(path, screen):
    width, height, rows = screen
    raw = b"".join(b"\0" + bytes(v for i in range(width) for v in (row[4 * i + 2], row[4 * i + 1], row[4 * i]))
                   for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def write_wav(path, rate, channels, seconds, sample):
    """A 16-bit WAV whose sample at time t on channel c is sample(t, c) in [-1, 1]."""
    import array
    frames = array.array("h")
    for i in range(int(rate * seconds)):
        t = i / rate
        for c in range(channels):
            frames.append(int(max(-1.0, min(1.0, sample(t, c))) * 32000))
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(frames.tobytes())
