// Lumagrove embedded by another program: the example (examples/wav_to_png)
// built in the tree and built again against an installed copy of the host
// library found by pkg-config, each drawing the frames lumagrove-preview
// draws; and cmake --install putting every artifact under an empty prefix.
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

void ExpectSameFrames(const std::string& a, const std::string& b) {
    const std::vector<std::string> frames = ListFolder(a);
    ASSERT_EQ(frames, ListFolder(b));
    ASSERT_EQ(frames.size(), 39u);  // 1.3 s at 30 frames a second
    for (const std::string& name : frames)
        ASSERT_EQ(ReadFile(a + "/" + name), ReadFile(b + "/" + name)) << name << " differs";
}

TEST(Embedding, TheExampleDrawsTheFramesOfThePreviewHost) {
    ScratchDir dir;
    const std::string song = WriteSong(dir);
    PreviewFrames(song, dir.File("preview"));
    const std::string run = Capture(std::string(LUMAGROVE_EXAMPLE_PATH) + " " + song + " " + dir.File("example") + " " +
                                    LUMAGROVE_MODULE_PATH + " 2>&1");
    EXPECT_EQ(run, "39 frames in " + dir.File("example") + "\n");
    ExpectSameFrames(dir.File("preview"), dir.File("example"));
    // Bad input is one line and status 2.
    EXPECT_EQ(system((std::string(LUMAGROVE_EXAMPLE_PATH) + " " + dir.File("none.wav") + " " + dir.File("x") +
                      " >/dev/null 2>&1")
                         .c_str()) >>
                  8,
              2);
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

TEST(Embedding, AnInstallUnderAnEmptyPrefixHasEveryArtifactAndBuildsTheExample) {
    ScratchDir dir;
    const std::string prefix = dir.File("prefix");
    Capture("cmake --install " LUMAGROVE_BUILD_DIR " --prefix " + prefix + " >/dev/null 2>&1");
    const std::string lib = prefix + "/" LUMAGROVE_INSTALL_LIBDIR;
    for (const std::string& artifact :
         {prefix + "/bin/lumagrove-preview", lib + "/lumagrove/lumagrove.so", lib + "/gstreamer-1.0/libgstlumagrove.so",
          lib + "/obs-plugins/lumagrove-obs.so", prefix + "/share/obs/obs-plugins/lumagrove-obs/locale/en-US.ini",
          prefix + "/include/lumagrove/host/visualiser.h", lib + "/liblumagrove_host.a",
          lib + "/pkgconfig/lumagrove-host.pc", lib + "/vlc/plugins/visualization/liblumagrove_vlc_plugin.so"})
        EXPECT_TRUE(Exists(artifact)) << artifact;

    // Another program's build: the example's source, the installed library by pkg-config.
    const std::string flags =
        Capture("PKG_CONFIG_PATH=" + lib + "/pkgconfig pkg-config --cflags --libs lumagrove-host");
    ASSERT_NE(flags.find("-llumagrove_host"), std::string::npos) << flags;
    const std::string program = dir.File("wav_to_png");
    const std::string built =
        Capture("c++ -std=c++17 -o " + program + " " LUMAGROVE_SOURCE_DIR "/examples/wav_to_png.cpp " +
                flags.substr(0, flags.find('\n')) + " 2>&1");
    ASSERT_TRUE(Exists(program)) << built;
    const std::string song = WriteSong(dir);
    Capture(program + " " + song + " " + dir.File("installed") + " " + lib + "/lumagrove/lumagrove.so");

    // The C library: the C example built against it with pkg-config and
    // with find_package, each finding the installed plug-in by itself.
    for (const std::string& artifact :
         {lib + "/liblumagrove.so.0", prefix + "/include/lumagrove/lumagrove.h", lib + "/pkgconfig/lumagrove.pc",
          lib + "/cmake/Lumagrove/LumagroveConfig.cmake"})
        EXPECT_TRUE(Exists(artifact)) << artifact;
    // The modules other programs load find the library of their own install.
    for (const std::string& module : {lib + "/vlc/plugins/visualization/liblumagrove_vlc_plugin.so",
                                      lib + "/obs-plugins/lumagrove-obs.so", lib + "/gstreamer-1.0/libgstlumagrove.so"})
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
        ExpectSamePictures(frames, dir.File("installed"));
    }
    // The installed preview host finds the installed plug-in by itself.
    Capture(prefix + "/bin/lumagrove-preview --quiet --size 640x360 --fps 30 --audio " + song + " --out " +
            dir.File("preview"));
    ExpectSameFrames(dir.File("preview"), dir.File("installed"));
}

}  // namespace
