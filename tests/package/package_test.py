"""The Debian packages of `make package`, installed for real with apt-get
and used where a user would find each part: lintian on every package; the
element in GStreamer's registry, the VLC module in VLC's own list (no
VLC_PLUGIN_PATH), the OBS source from OBS's own folder, the add-on in Kodi's
list, the preview host on PATH, the C library through pkg-config and its
CMake package; the pictures equal to the build tree's. Installing the VLC
module alone brings the library and nothing of OBS, Kodi or GStreamer, and
a purge leaves no file behind.

Runs as root, alone (it installs into /usr), and purges the packages at its
end whatever happens. Run as `package_test.py SOURCE_DIR BUILD_DIR PACKAGES_DIR`.
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kodi"))
from kodi_session import write_wav  # noqa: E402

SOURCE = BUILD = PACKAGES = None
# Where a file of the packages could land, listed before and after.
WATCHED = ["/usr", "/etc", "/var/lib/dpkg/info", "/var/lib/dpkg/alternatives"]
# Written anew (same name) by ldconfig, dpkg and VLC's cache as packages come and go.
CHANGING = re.compile(r"^/etc/ld\.so\.cache$|^/var/lib/dpkg/info/format")
# Whose code is GPL hosts', not for a VLC user to pull in.
OTHER_HOSTS = re.compile(r"obs|kodi|gstreamer", re.I)


def run(command, env=None, check=True, cwd=None):
    """`command` (a list, or a string for the shell); its output, stdout and stderr together."""
    done = subprocess.run(command, shell=isinstance(command, str), env=env, cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True)
    if check and done.returncode != 0:
        raise AssertionError("%s: status %d\n%s" % (command, done.returncode, done.stdout[-4000:]))
    return done.stdout


def clean_env(**more):
    """The environment without anything that points a program at the build."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("GST_PLUGIN_PATH", "GST_PLUGIN_SYSTEM_PATH", "VLC_PLUGIN_PATH", "LD_LIBRARY_PATH",
                        "PKG_CONFIG_PATH", "CMAKE_PREFIX_PATH", "LUMAGROVE_OBS_MODULE_FOLDER")}
    env.update(more)
    return env


def files_under(roots):
    found = set()
    for root in roots:
        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                path = os.path.join(folder, name)
                if not CHANGING.search(path):
                    found.add(path)
    return found


def package_names():
    return [run(["dpkg-deb", "-f", deb, "Package"]).strip() for deb in sorted(glob.glob(PACKAGES + "/*.deb"))]


def installed(names):
    status = run(["dpkg-query", "-W", "-f=${Package} ${db:Status-Status}\n"] + names, check=False)
    return [line.split()[0] for line in status.splitlines() if line.endswith(" installed")]


def purge(names):
    if installed(names):
        run(["apt-get", "purge", "-y", "-q"] + names, env=clean_env(DEBIAN_FRONTEND="noninteractive"))


def same_files(test, left, right):
    """Both folders hold the same files, byte for byte."""
    names = sorted(os.listdir(left))
    test.assertGreater(len(names), 10, left)
    test.assertEqual(names, sorted(os.listdir(right)))
    for name in names:
        with open(os.path.join(left, name), "rb") as a, open(os.path.join(right, name), "rb") as b:
            test.assertTrue(a.read() == b.read(), "%s differs from the build tree's" % name)


class Packages(unittest.TestCase):
    """One install for the whole class: the tests run in their names' order."""

    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise AssertionError("the package tests install packages into /usr: run them as root")
        cls.debs = sorted(glob.glob(PACKAGES + "/*.deb"))
        if len(cls.debs) != 7:
            raise AssertionError("%s holds %d packages of 7: run make package first" % (PACKAGES, len(cls.debs)))
        cls.names = package_names()
        cls.dir = tempfile.mkdtemp(prefix="lumagrove-package-")
        os.chmod(cls.dir, 0o755)
        purge(cls.names)  # a run cut short before
        cls.song = os.path.join(cls.dir, "song.wav")
        # Kicks twice a second over a quiet saw, louder on the left: the
        # glows move, and a swap of the sides would show.
        write_wav(cls.song, 44100, 2, 1.5,
                  lambda t, c: (0.8 if t % 0.5 < 0.05 else 0.1 * ((t * 440) % 1 - 0.5)) * (1.0 if c == 0 else 0.4))
        # The build tree's pictures, taken while nothing is installed (the
        # build's element and the installed one are both "lumagrove").
        cls.reference = {host: os.path.join(cls.dir, "reference-" + host) for host in ("preview", "c", "gst")}
        for folder in cls.reference.values():
            os.mkdir(folder)
        run([BUILD + "/lumagrove-preview", "--quiet", "--size", "97x55", "--fps", "30", "--audio", cls.song,
             "--out", cls.reference["preview"]])
        run([BUILD + "/wav_frames", cls.song, cls.reference["c"]])
        cls.gst_frames(cls.reference["gst"], clean_env(GST_PLUGIN_PATH=BUILD + "/gst",
                                                       GST_REGISTRY=os.path.join(cls.dir, "build-registry.bin")))
        cls.before = files_under(WATCHED)

    @classmethod
    def tearDownClass(cls):
        purge(cls.names)
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def gst_frames(cls, folder, env):
        run("gst-launch-1.0 -q filesrc location=%s ! wavparse ! lumagrove ! "
            "video/x-raw,width=97,height=55,framerate=30/1 ! videoconvert ! pngenc ! "
            "multifilesink location=%s/frame_%%05d.png" % (cls.song, folder), env=env)

    def test_0_the_windows_zip_and_the_web_tarball_each_hold_one_folder_of_their_version(self):
        version = self.version()
        top = "lumagrove-%s-win32/" % version
        with zipfile.ZipFile(os.path.join(PACKAGES, "lumagrove-%s-win32.zip" % version)) as z:
            names = [n for n in z.namelist() if not n.endswith("/")]
            self.assertEqual(sorted(names), [top + n for n in ("README.txt", "lumagrove-preview.exe", "lumagrove.dll")])
            dll = z.read(top + "lumagrove.dll")
            text = z.read(top + "README.txt").decode()
        pe = struct.unpack_from("<I", dll, 0x3C)[0]
        self.assertEqual((dll[:2], dll[pe:pe + 4], struct.unpack_from("<H", dll, pe + 4)[0]), (b"MZ", b"PE\0\0", 0x14C),
                         "not a 32-bit x86 DLL")
        self.assertIn("Lumagrove %s" % version, text)
        self.assertIn("Copy lumagrove.dll into the folder", text)
        self.assertIn("\r\n", text)  # Notepad's lines
        with tarfile.open(os.path.join(PACKAGES, "lumagrove-web-%s.tar.gz" % version)) as t:
            names = [m.name for m in t.getmembers() if m.isfile()]
        site = "lumagrove-web-%s/" % version
        self.assertEqual([n for n in names if not n.startswith(site)], [])
        self.assertIn(site + "index.html", names)
        self.assertTrue(any(n.endswith(".wasm") for n in names), names)
        self.assertEqual([n for n in names if "/cmake/" in n or "CMake" in n], [], "the build's own files")

    def test_1_lintian_finds_no_error_and_only_the_warnings_the_readme_explains(self):
        report = run(["lintian", "--tag-display-limit", "0"] + self.debs, check=False)
        self.assertEqual([line for line in report.splitlines() if line.startswith("E:")], [], report)
        with open(os.path.join(SOURCE, "README.md")) as f:
            readme = f.read()
        for tag in sorted({line.split()[2] for line in report.splitlines() if line.startswith("W:")}):
            self.assertIn("`%s`" % tag, readme, "lintian's warning %s is not explained in the README" % tag)

    def test_2_each_package_names_its_host_its_version_and_the_licence_of_its_combination(self):
        fields = {}
        for deb in self.debs:
            control = run(["dpkg-deb", "-f", deb, "Package", "Version", "Depends", "Description"])
            name = re.search(r"^Package: (\S+)", control, re.M).group(1)
            fields[name] = control
            copyright_file = run("dpkg-deb --fsys-tarfile %s | tar -xOf - ./usr/share/doc/%s/copyright" % (deb, name))
            with self.subTest(name):
                self.assertIn("Version: " + self.version(), control)
                self.assertIn("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
                              copyright_file)
                self.assertIn("License: MIT", copyright_file)
                # The modules loaded by GPL programs and built with their headers: the GPL's.
                self.assertEqual("GPL-2.0+" in copyright_file, name in ("obs-lumagrove", "kodi-visualization-lumagrove"))
                if name != "liblumagrove0":
                    self.assertRegex(control, r"Depends: .*liblumagrove0 \(= %s\)" % re.escape(self.version()))
        self.assertEqual(sorted(fields), sorted(["liblumagrove0", "liblumagrove-dev", "lumagrove-preview",
                                                 "gstreamer1.0-lumagrove", "obs-lumagrove", "vlc-plugin-lumagrove",
                                                 "kodi-visualization-lumagrove"]))
        self.assertIn("obs-studio (>= 29)", fields["obs-lumagrove"])
        self.assertIn("libobs0", fields["obs-lumagrove"])
        self.assertIn("vlc-plugin-abi-3-0-0f", fields["vlc-plugin-lumagrove"])
        self.assertIn("kodi-api-visualization (>= 4.0.0), kodi-api-visualization (<< 4.1.0)",
                      fields["kodi-visualization-lumagrove"])
        self.assertIn("libgstreamer1.0-0", fields["gstreamer1.0-lumagrove"])

    def test_3_the_vlc_module_alone_brings_the_library_and_nothing_of_the_other_hosts(self):
        # A repository of the packages, seen by apt through folders of its own.
        repo, apt = os.path.join(self.dir, "repo"), os.path.join(self.dir, "apt")
        os.mkdir(repo)
        for deb in self.debs:
            shutil.copy(deb, repo)
        run("dpkg-scanpackages . > Packages", cwd=repo)
        for folder in ("lists/partial", "cache/archives/partial", "parts"):
            os.makedirs(os.path.join(apt, folder))
        with open(os.path.join(apt, "sources.list"), "w") as f:
            f.write("deb [trusted=yes] file:%s ./\n" % repo)
        options = ["-o", "Dir::Etc::SourceList=%s/sources.list" % apt, "-o", "Dir::Etc::SourceParts=%s/parts" % apt,
                   "-o", "Dir::State::Lists=%s/lists" % apt, "-o", "Dir::Cache=%s/cache" % apt]
        run(["apt-get"] + options + ["update", "-q"])
        simulated = run(["apt-get"] + options + ["install", "-s", "vlc-plugin-lumagrove"])
        self.assertEqual(sorted(re.findall(r"^Inst (\S+)", simulated, re.M)),
                         ["liblumagrove0", "vlc-plugin-lumagrove"], simulated)

        def needs(package):  # every package it depends on, however far down
            tree = run(["apt-cache"] + options + ["depends", "--recurse", "--no-recommends", "--no-suggests",
                                                  "--no-conflicts", "--no-breaks", "--no-replaces",
                                                  "--no-enhances", package])
            return {line.strip("<>") for line in tree.splitlines() if not line.startswith(" ")}

        vlc = needs("vlc-plugin-lumagrove")
        self.assertIn("liblumagrove0", vlc)
        self.assertEqual(sorted(p for p in vlc if OTHER_HOSTS.search(p)), [])
        self.assertIn("libobs0", needs("obs-lumagrove"))  # the same question sees another host's

    def test_4_installed_each_program_finds_its_part_and_draws_the_build_trees_pictures(self):
        run(["apt-get", "install", "-y", "-q"] + self.debs, env=clean_env(DEBIAN_FRONTEND="noninteractive"))
        self.assertEqual(sorted(installed(self.names)), sorted(self.names))
        lib = "/usr/lib/" + run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"]).strip()

        with self.subTest("lumagrove-preview"):
            self.assertEqual(run(["lumagrove-preview", "--version"], env=clean_env()),
                             "lumagrove-preview %s\n" % self.version())
            self.assertIn("lumagrove-preview", run(["man", "-P", "cat", "lumagrove-preview"],
                                                   env=clean_env(MANWIDTH="80")))
            frames = os.path.join(self.dir, "preview")
            run(["lumagrove-preview", "--quiet", "--size", "97x55", "--fps", "30", "--audio", self.song,
                 "--out", frames], env=clean_env())
            same_files(self, frames, self.reference["preview"])

        with self.subTest("liblumagrove-dev"):
            flags = run("pkg-config --cflags --libs lumagrove libpng", env=clean_env()).strip()
            program, frames = os.path.join(self.dir, "wav_frames"), os.path.join(self.dir, "c")
            run("cc -std=c99 -o %s %s/examples/wav_frames.c %s" % (program, SOURCE, flags), env=clean_env())
            linked = re.search(r"liblumagrove\.so\.0 => (\S+)", run(["ldd", program])).group(1)
            self.assertEqual(os.path.realpath(linked), os.path.realpath(lib + "/liblumagrove.so.0"))
            os.mkdir(frames)
            run([program, self.song, frames], env=clean_env())
            same_files(self, frames, self.reference["c"])
            cmake = os.path.join(self.dir, "cmake-build")
            run(["cmake", "-S", SOURCE + "/examples/installed", "-B", cmake], env=clean_env())
            run(["cmake", "--build", cmake], env=clean_env())

        with self.subTest("gstreamer1.0-lumagrove"):
            env = clean_env(GST_REGISTRY=os.path.join(self.dir, "registry.bin"))
            inspected = run(["gst-inspect-1.0", "lumagrove"], env=env)
            found = re.search(r"Filename\s+(\S+)", inspected).group(1)
            self.assertEqual(os.path.realpath(found), os.path.realpath(lib + "/gstreamer-1.0/libgstlumagrove.so"))
            frames = os.path.join(self.dir, "gst")
            os.mkdir(frames)
            self.gst_frames(frames, env)
            same_files(self, frames, self.reference["gst"])

        with self.subTest("vlc-plugin-lumagrove"):
            home = os.path.join(self.dir, "vlc-home")
            os.mkdir(home)
            os.chmod(home, 0o777)
            listed = run(["runuser", "-u", "nobody", "--", "env", "HOME=" + home, "vlc", "-I", "dummy", "--list"],
                         env=clean_env())
            self.assertRegex(listed, r"(?m)^\s+lumagrove\s")
            # The pictures VLC shows through the installed module are the preview host's.
            self.ran_one(run([BUILD + "/tests/vlc_tests", "--gtest_filter=Vlc.ThePicturesAreThoseOfThePreviewHost"],
                             env=clean_env(LUMAGROVE_VLC_MODULES="system")))

        with self.subTest("obs-lumagrove"):
            self.ran_one(run([SOURCE + "/tests/obs/isolated.sh", BUILD + "/tests/obs_tests",
                              "--gtest_filter=ObsSource.GlowsFollowTheBeatsOfTheSong"],
                             env=clean_env(LUMAGROVE_OBS_MODULE_FOLDER="system")))

        with self.subTest("kodi-visualization-lumagrove"):
            self.ran_one(run([sys.executable, SOURCE + "/tests/kodi/kodi_test.py", "-", os.path.join(self.dir, "kodi.png"),
                              "KodiTest.test_listed_draws_the_star_and_its_blue_glow_swells_on_the_kicks"],
                             env=clean_env()))

    def test_5_a_purge_of_every_package_leaves_no_file_behind(self):
        self.assertEqual(sorted(installed(self.names)), sorted(self.names), "installed by the test before")
        purge(self.names)
        self.assertEqual(installed(self.names), [])
        after = files_under(WATCHED)
        self.assertEqual(sorted(after - self.before), [], "left behind")
        self.assertEqual(sorted(self.before - after), [], "removed, though not the packages'")

    def ran_one(self, output):
        """A host's own test ran, one test, and passed (gtest's or unittest's report)."""
        self.assertRegex(output, r"\[  PASSED  \] 1 test\.|Ran 1 test in .*\n\nOK", output[-3000:])

    def version(self):
        return run(["dpkg-deb", "-f", self.debs[0], "Version"]).strip()


if __name__ == "__main__":
    SOURCE, BUILD, PACKAGES = (os.path.abspath(p) for p in sys.argv[1:4])
    unittest.main(argv=[sys.argv[0]] + sys.argv[4:], verbosity=2)
