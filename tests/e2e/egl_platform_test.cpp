// The offscreen context's EGL platforms, end to end: Mesa's software device
// and its surfaceless platform draw the same frames, and a bad choice is
// refused in one line.
#include <gtest/gtest.h>

#include "tests/support/expect_error_line.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"

namespace {

TEST(EglPlatform, DeviceAndSurfacelessDrawByteIdenticalFrames) {
    ScratchDir dir;
    const std::string song = dir.File("song.wav");
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {Sine(60, 0.8, 44100, 1.0), Sine(3000, 0.3, 44100, 1.0)});
    for (const char* platform : {"device", "surfaceless"}) {
        const Outcome run =
            RunPreview({"--audio", song, "--out", dir.File(platform), "--size", "97x61", "--fps", "8", "--quiet"},
                       {std::string("LUMAGROVE_EGL=") + platform});
        ASSERT_EQ(run.status, 0) << platform << ": " << run.err;
    }
    const std::vector<std::string> names = ListFolder(dir.File("device"));
    ASSERT_EQ(names.size(), 8u);
    ASSERT_EQ(names, ListFolder(dir.File("surfaceless")));
    for (const std::string& name : names)
        EXPECT_EQ(ReadFile(dir.File("device/" + name)), ReadFile(dir.File("surfaceless/" + name))) << name;
    EXPECT_GT(ReadPng(dir.File("device/" + names[4])).Brightness(), 1.0) << "the frames are not blank";
}

TEST(EglPlatform, AnUnknownPlatformIsOneLineWithStatus2AndNoOutput) {
    ScratchDir dir;
    const Outcome run = RunPreview(
        {"--levels-out", dir.File("levels.csv"), "--sheet", dir.File("sheet.png"), "--duration", "0.5", "--quiet"},
        {"LUMAGROVE_EGL=nonsense"});
    EXPECT_EQ(run.status, 2);
    ExpectOneLine(run, "LUMAGROVE_EGL=nonsense");
    EXPECT_TRUE(ListFolder(dir.path()).empty());
}

}  // namespace
