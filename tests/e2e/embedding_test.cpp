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

TEST(Embedding, AnInstallUnderAnEmptyPrefixHasEveryArtifactAndBuildsTheExample) {
    ScratchDir dir;
    const std::string prefix = dir.File("prefix");
    Capture("cmake --install " LUMAGROVE_BUILD_DIR " --prefix " + prefix + " >/dev/null 2>&1");
    const std::string lib = prefix + "/" LUMAGROVE_INSTALL_LIBDIR;
    for (const std::string& artifact :
         {prefix + "/bin/lumagrove-preview", lib + "/lumagrove/lumagrove.so", lib + "/gstreamer-1.0/libgstlumagrove.so",
          lib + "/gstreamer-1.0/lumagrove.so", lib + "/obs-plugins/lumagrove-obs.so",
          lib + "/obs-plugins/lumagrove/lumagrove.so", prefix + "/share/obs/obs-plugins/lumagrove-obs/locale/en-US.ini",
          prefix + "/include/lumagrove/host/visualiser.h", lib + "/liblumagrove_host.a",
          lib + "/pkgconfig/lumagrove-host.pc", lib + "/vlc/plugins/visualization/liblumagrove_vlc_plugin.so",
          lib + "/vlc/plugins/visualization/lumagrove.so"})
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
    // The installed preview host finds the installed plug-in by itself.
    Capture(prefix + "/bin/lumagrove-preview --quiet --size 640x360 --fps 30 --audio " + song + " --out " +
            dir.File("preview"));
    ExpectSameFrames(dir.File("preview"), dir.File("installed"));
}

}  // namespace
