// Lumagrove embedded by another program: the C example (examples/wav_frames.c)
// built in the tree and built again against an installed liblumagrove found
// by pkg-config and by find_package, and the Python one on the installed
// library, each drawing the pictures lumagrove-preview draws; and cmake
// --install putting every artifact under an empty prefix, and nothing of
// the library's insides.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"

namespace {

const int kRate = 44100;

std::string WriteSong(const ScratchDir& dir) {
    const Channel kick = Kicks(kRate, 1.3, 0.2, 0.1);
    const std::string path = dir.File("song.wav");
    WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {kick, kick});
    return path;
}

// The preview host's frames of the example's size and rate.
std::vector<std::string> PreviewFrames(const std::string& song, const std::string& folder) {
    const Outcome run = RunPreview({"--audio", song, "--out", folder, "--size", "640x360", "--fps", "30", "--quiet"});
    EXPECT_EQ(run.status, 0) << run.err;
    return ListFolder(folder);
}

// The same pixels, each frame (PNG files of other encoders differ in their bytes).
void ExpectSamePictures(const std::string& a, const std::string& b) {
    const std::vector<std::string> frames = ListFolder(a);
    ASSERT_EQ(frames, ListFolder(b));
    ASSERT_EQ(frames.size(), 39u);
    for (const std::string& name : frames)
        ASSERT_TRUE(ReadPng(a + "/" + name).rgb == ReadPng(b + "/" + name).rgb) << name << " differs";
}

// The C example, on liblumagrove's C API, beside the library in the build
// (where it finds the plug-in by itself).
TEST(Embedding, TheCExampleDrawsThePicturesOfThePreviewHost) {
    ScratchDir dir;
    const std::string song = WriteSong(dir);
    PreviewFrames(song, dir.File("preview"));
    Capture("mkdir -p " + dir.File("example"));
    const std::string run = Capture(std::string(LUMAGROVE_C_EXAMPLE_PATH) + " " + song + " " + dir.File("example") +
                                    " 2>&1; echo status=$?");
    EXPECT_EQ(run, "39 frames in " + dir.File("example") + "\nstatus=0\n");
    ExpectSamePictures(dir.File("preview"), dir.File("example"));
    const std::string bad = Capture(std::string(LUMAGROVE_C_EXAMPLE_PATH) + " " + LUMAGROVE_MODULE_PATH + " " +
                                    dir.File("x") + " 2>&1; echo status=$?");
    EXPECT_EQ(bad, std::string("wav_frames: ") + LUMAGROVE_MODULE_PATH + " is no WAV file\nstatus=2\n");
}

TEST(Embedding, AnInstallUnderAnEmptyPrefixHasEveryArtifactAndBuildsTheExamples) {
    ScratchDir dir;
    const std::string prefix = dir.File("prefix");
    Capture("cmake --install " LUMAGROVE_BUILD_DIR " --prefix " + prefix + " >/dev/null 2>&1");
    const std::string lib = prefix + "/" LUMAGROVE_INSTALL_LIBDIR;
    for (const std::string& artifact :
         {prefix + "/bin/lumagrove-preview", lib + "/lumagrove/lumagrove.so", lib + "/gstreamer-1.0/libgstlumagrove.so",
          lib + "/obs-plugins/lumagrove-obs.so", prefix + "/share/obs/obs-plugins/lumagrove-obs/locale/en-US.ini",
          lib + "/vlc/plugins/visualization/liblumagrove_vlc_plugin.so"})
        EXPECT_TRUE(Exists(artifact)) << artifact;
    // The library's insides stay inside it.
    for (const std::string& internal :
         {prefix + "/include/lumagrove/host", lib + "/liblumagrove_host.a", lib + "/pkgconfig/lumagrove-host.pc"})
        EXPECT_FALSE(Exists(internal)) << internal;
    const std::string song = WriteSong(dir);
    PreviewFrames(song, dir.File("reference"));  // the build's own preview host

    // The C library: the C example built against it with pkg-config and
    // with find_package, each finding the installed plug-in by itself.
    for (const std::string& artifact :
         {lib + "/liblumagrove.so.0", prefix + "/include/lumagrove/lumagrove.h", lib + "/pkgconfig/lumagrove.pc",
          lib + "/cmake/Lumagrove/LumagroveConfig.cmake"})
        EXPECT_TRUE(Exists(artifact)) << artifact;
    // The modules other programs load find the library of their own install.
    std::vector<std::string> modules = {lib + "/vlc/plugins/visualization/liblumagrove_vlc_plugin.so",
                                        lib + "/obs-plugins/lumagrove-obs.so",
                                        lib + "/gstreamer-1.0/libgstlumagrove.so"};
#ifdef LUMAGROVE_KODI_LIBRARY
    // Kodi's add-on: its library with the plug-in beside it, its description
    // and resources where Kodi reads an installed add-on's.
    const std::string kodiLib = lib + "/kodi/addons/visualization.lumagrove/";
    const std::string kodiData = prefix + "/share/kodi/addons/visualization.lumagrove/";
    for (const std::string& artifact : {kodiLib + LUMAGROVE_KODI_LIBRARY, kodiLib + "lumagrove.so",
                                        kodiData + "addon.xml", kodiData + "resources/settings.xml",
                                        kodiData + "resources/icon.png", kodiData + "resources/screenshot-01.png"})
        EXPECT_TRUE(Exists(artifact)) << artifact;
    modules.push_back(kodiLib + LUMAGROVE_KODI_LIBRARY);
#endif
    for (const std::string& module : modules)
        EXPECT_EQ(Capture("realpath -e $(ldd " + module + " | sed -n 's/.*liblumagrove.so.0 => \\(.*\\) (.*/\\1/p')"),
                  Capture("realpath -e " + lib + "/liblumagrove.so.0"))
            << module;
    const std::string cflags =
        Capture("PKG_CONFIG_PATH=" + lib + "/pkgconfig pkg-config --cflags --libs lumagrove libpng");
    const std::string byPkgConfig = dir.File("wav_frames_pc"), cmakeBuild = dir.File("cmake-build");
    const std::string builtC =
        Capture("cc -std=c99 -o " + byPkgConfig + " " LUMAGROVE_SOURCE_DIR "/examples/wav_frames.c " +
                cflags.substr(0, cflags.find('\n')) + " -Wl,-rpath," + lib + " 2>&1");
    ASSERT_TRUE(Exists(byPkgConfig)) << builtC;
    const std::string configured =
        Capture("cmake -S " LUMAGROVE_SOURCE_DIR "/examples/installed -B " + cmakeBuild +
                " -DCMAKE_PREFIX_PATH=" + prefix + " 2>&1 && cmake --build " + cmakeBuild + " 2>&1");
    ASSERT_TRUE(Exists(cmakeBuild + "/wav_frames")) << configured;
    // And from Python, through ctypes alone, the installed library named.
    const std::string python =
        "python3 " LUMAGROVE_SOURCE_DIR "/examples/wav_frames.py " + song + " {} " + lib + "/liblumagrove.so.0";
    for (const std::string& program :
         {byPkgConfig + " " + song + " {}", cmakeBuild + "/wav_frames " + song + " {}", python}) {
        SCOPED_TRACE(program);
        const std::string frames = dir.File("frames-" + std::to_string(program.size()));
        Capture("mkdir -p " + frames);
        std::string command = program;
        command.replace(command.find("{}"), 2, frames);
        EXPECT_EQ(Capture(command + " 2>&1"), "39 frames in " + frames + "\n");
        ExpectSamePictures(frames, dir.File("reference"));
    }
    // The installed preview host finds the installed plug-in by itself.
    Capture(prefix + "/bin/lumagrove-preview --quiet --size 640x360 --fps 30 --audio " + song + " --out " +
            dir.File("preview"));
    ExpectSamePictures(dir.File("preview"), dir.File("reference"));
}

}  // namespace
