"""Lumagrove in the real Kodi (Debian's 20.1), one Kodi a test: the add-on
listed and drawing the star, its blue glow swelling on a click track's
kicks; a pause holding the glows, a seek followed, a second song of another
rate and layout; a plug-in that is missing or not one logged in one line
while Kodi plays on; ten stops and starts without growing. Run as
`kodi_test.py ADDON_DIR SCREENSHOT.png [unittest arguments]`, ADDON_DIR "-"
for the add-on installed in Kodi's own folders."""
import math
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kodi_session import Kodi, blue_glow, wait_for, write_png, write_wav  # noqa: E402

ADDON_DIR = SCREENSHOT = None
STARTED = "Lumagrove: started for"


def kick(t):
    """A 60 Hz kick of 120 ms at each whole second, silence between."""
    at = t % 1.0
    return 0.9 * math.sin(2 * math.pi * 60 * t) * (1 - at / 0.12) if at < 0.12 else 0.0


class KodiTest(unittest.TestCase):
    def setUp(self):
        self.songs = tempfile.mkdtemp(prefix="lumagrove-kodi-songs-")
        self.kodi = None

    def tearDown(self):
        if self.kodi:
            self.kodi.close()
        shutil.rmtree(self.songs, ignore_errors=True)

    def start(self, settings=None, env=None):
        self.kodi = Kodi(ADDON_DIR, settings, env=env)
        self.kodi.enable_addon()
        return self.kodi

    def song(self, name, rate, channels, seconds, sample):
        path = os.path.join(self.songs, name)
        write_wav(path, rate, channels, seconds, sample)
        return path

    def playing(self, kodi, path):
        """Plays `path` with the visualisation shown, once the add-on has drawn."""
        drawn = len(kodi.log_lines("Lumagrove: drawing"))
        kodi.play(path)
        kodi.show_visualisation()
        kodi.wait_log("Lumagrove: drawing", drawn + 1)

    def test_listed_draws_the_star_and_its_blue_glow_swells_on_the_kicks(self):
        kodi = self.start()
        vis = kodi.call("Addons.GetAddons", {"type": "xbmc.player.musicviz", "properties": ["name", "enabled"]})
        self.assertIn({"addonid": "visualization.lumagrove", "name": "Lumagrove", "enabled": True,
                       "type": "xbmc.player.musicviz"}, vis["addons"])
        shot = self.glow_follows_the_kicks(kodi)
        self.assertIn("drawn in Kodi's context", kodi.log_lines(STARTED)[-1])
        write_png(SCREENSHOT, shot)  # the picture of it in Kodi

    def test_in_a_core_profile_it_is_drawn_offscreen_into_kodis_texture(self):
        # Kodi's EGL back end asks for a core profile, where OpenGL 1.1 cannot draw.
        kodi = self.start(env={"KODI_GL_INTERFACE": "EGL"})
        self.assertTrue(any("(Core Profile)" in line for line in kodi.log_lines("GL_VERSION")),
                        kodi.log_lines("GL_VERSION"))
        self.glow_follows_the_kicks(kodi)
        self.assertIn("drawn offscreen into Kodi's texture", kodi.log_lines(STARTED)[-1])

    def glow_follows_the_kicks(self, kodi):
        """Plays a click track: the star's blue glow larger on its kicks than
        between them; a screen on a kick."""
        self.playing(kodi, self.song("kicks.wav", 44100, 2, 60, lambda t, c: kick(t)))
        self.assertIn('"kicks.wav"', kodi.log_lines(STARTED)[-1])
        glows = [blue_glow(kodi.screen()) for _ in range(24)]
        self.assertGreater(max(glows), 0, "no blue glow at all")
        self.assertGreater(max(glows), 1.5 * min(glows) + 10, f"the glow does not follow the kicks: {glows}")
        return wait_for("a screen on a kick",
                        lambda: (lambda s: s if blue_glow(s) >= 0.8 * max(glows) else None)(kodi.screen()))

    def test_a_pause_holds_the_glows_a_seek_is_followed_and_a_second_song_of_another_layout_plays(self):
        kodi = self.start()
        # Silence for 20 s, then a loud bass tone.
        first = self.song("quiet-then-loud.wav", 44100, 2, 40,
                          lambda t, c: 0.0 if t < 20 else 0.8 * math.sin(2 * math.pi * 55 * t))
        self.playing(kodi, first)
        quiet = blue_glow(kodi.screen())
        kodi.call("Player.Seek", {"playerid": 0, "value": {"seconds": 25}})
        wait_for("the tone's glow after the seek", lambda: blue_glow(kodi.screen()) > 4 * quiet + 100)

        # Paused, the picture holds as a paused video does: the tone's glow
        # stays as it was (where the plug-in's would fade if its time ran on).
        kodi.call("Player.PlayPause", {"playerid": 0, "play": False})
        wait_for("the pause", lambda: kodi.player("speed")["speed"] == 0)
        for _ in range(3):  # what was on its way to the screen
            kodi.screen()
        glows, since = [], time.monotonic()
        while time.monotonic() - since < 1.5 or len(glows) < 5:
            glows.append(blue_glow(kodi.screen()))
        self.assertGreater(min(glows), 100, f"no glow held: {glows}")
        self.assertLess(max(glows) - min(glows), 0.02 * max(glows) + 10, f"the glows move while paused: {glows}")
        kodi.call("Player.PlayPause", {"playerid": 0, "play": True})

        # A 48 kHz 5.1 song next: quiet for 5 s, then the bass on the centre
        # and LFE alone. Kodi hands a visualisation its sound as 44.1 kHz
        # stereo whatever the song's (and may keep the add-on running from
        # one song to the next), so the song's own quiet and bass tell it is
        # drawn from.
        second = self.song("surround.wav", 48000, 6, 30,
                           lambda t, c: 0.8 * math.sin(2 * math.pi * 50 * t) if t >= 5 and c in (2, 3) else 0.0)
        kodi.call("Player.Stop", {"playerid": 0})
        wait_for("the first song to stop", lambda: kodi.call("Player.GetActivePlayers") == [])
        kodi.play(second)

        def item():
            return kodi.call("Player.GetItem", {"playerid": 0, "properties": ["file"]})["item"].get("file", "")
        wait_for("the 5.1 song", lambda: item() == second, seen=item)
        # Kodi may go back from the visualisation as a song starts, or, on a
        # busy machine, stop the add-on there and not start it again: opened
        # again then, as a viewer would (a hung add-on stays hung).
        def stopped():
            lines = kodi.log_lines("Lumagrove:")
            return bool(lines) and "Lumagrove: stopped after" in lines[-1]

        def glow():
            if kodi.window()["id"] != 12006 or stopped():
                kodi.call("GUI.ActivateWindow", {"window": "home"})
                kodi.show_visualisation()
            return blue_glow(kodi.screen())

        def state():
            return kodi.window(), kodi.log_lines("Lumagrove:")[-3:]
        wait_for("the surround song's quiet start", lambda: glow() < 2 * quiet + 50, seen=state)
        wait_for("the surround song's bass", lambda: glow() > 4 * quiet + 100, seen=state)

    def test_a_plug_in_missing_or_not_one_is_one_log_line_and_kodi_plays_on(self):
        for plugin in ("/nonexistent/lumagrove.so", "/usr/lib/x86_64-linux-gnu/libz.so.1"):
            with self.subTest(plugin=plugin):
                kodi = self.start({"plugin": plugin})
                song = self.song("tone.wav", 44100, 2, 30, lambda t, c: 0.5 * math.sin(2 * math.pi * 220 * t))
                kodi.play(song)
                kodi.call("GUI.ActivateWindow", {"window": "visualisation"})
                kodi.wait_log("Lumagrove: cannot start")
                # Two seconds of the song after the window was asked for: Kodi
                # has tried the add-on as often as it will, and plays on.
                first = kodi.seconds_played()
                wait_for("the song to play on", lambda: kodi.seconds_played() >= first + 2,
                         seen=kodi.seconds_played)
                lines = kodi.log_lines("Lumagrove: cannot start")
                self.assertEqual(len(lines), 1, lines)
                self.assertIn(plugin, lines[0])
                self.assertTrue(kodi.alive())
                self.assertEqual(kodi.log_lines("Lumagrove: drawing"), [])
                kodi.close()
                self.kodi = None

    def test_ten_stops_and_starts_leak_nothing_that_grows(self):
        kodi = self.start()
        song = self.song("tone.wav", 44100, 2, 30, lambda t, c: 0.5 * math.sin(2 * math.pi * 110 * t))
        resident = []
        for _ in range(10):
            self.playing(kodi, song)
            kodi.call("Player.Stop", {"playerid": 0})
            wait_for("the player to stop", lambda: kodi.call("Player.GetActivePlayers") == [])
            resident.append(kodi.resident_kib())
        self.assertLess(resident[-1] - resident[1], 8 * 1024, f"Kodi grows: {resident} KiB")
        self.assertTrue(kodi.alive())


if __name__ == "__main__":
    ADDON_DIR, SCREENSHOT = None if sys.argv[1] == "-" else sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
