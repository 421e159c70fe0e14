// The live window, end to end under a virtual X display (Xvfb): it draws,
// follows a resize, and ends on request or with the song.
#include <gtest/gtest.h>
#include <signal.h>

#include <string.h>

#include <chrono>
#include <sstream>
#include <thread>

#include <X11/keysym.h>

#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"

namespace {

// Centre of the lit pixels of a screenshot, and how many there are.
struct Light {
    double x = 0, y = 0;
    int count = 0;
};
Light FindLight(const Picture& p) {
    Light light;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* c = p.At(x, y);
            if (c[0] + c[1] + c[2] > 150) {
                light.x += x;
                light.y += y;
                ++light.count;
            }
        }
    if (light.count) {
        light.x /= light.count;
        light.y /= light.count;
    }
    return light;
}

// Rows of a levels CSV after its header: each frame's time.
std::vector<double> FrameTimes(const std::string& csv) {
    std::stringstream lines(ReadFile(csv));
    std::vector<double> times;
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        if (!line.empty()) times.push_back(atof(line.c_str()));
    return times;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(PreviewWindow, DrawsFollowsAResizeAndEndsOnRequest) {
    ScratchDir dir;
    const std::string song = dir.File("tone.wav");
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, {Sine(70, 0.8, 48000, 30), Sine(5000, 0.5, 48000, 30)});
    const std::string csv = dir.File("levels.csv");
    VirtualDisplay display(640, 480);
    // No sound device here: the window says so once and runs on its own clock.
    PreviewProcess preview({"--window", "--audio", song, "--size", "320x240", "--levels-out", csv},
                           {"DISPLAY=" + display.name(), "SDL_AUDIODRIVER=no-such-device"});

    // The window appears centred on the screen with the star in its middle.
    Light before;
    ASSERT_TRUE(WaitUntil([&] { return (before = FindLight(display.Screenshot())).count >= 200; }))
        << "waited for the star";
    EXPECT_NEAR(before.x, 320, 40);
    EXPECT_NEAR(before.y, 240, 40);

    // Growing the window from its top-left corner moves the picture's middle
    // with the new centre: the frames are drawn at the new size.
    ASSERT_TRUE(display.ResizeWindow(320, 240, 480, 360));
    Light after;
    EXPECT_TRUE(WaitUntil([&] {
        after = FindLight(display.Screenshot());
        return after.count > 200 && after.x > 360;
    })) << "waited for the star to move with the window's new centre";
    EXPECT_NEAR(after.x, 160 + 240, 40);
    EXPECT_NEAR(after.y, 120 + 180, 40);

    preview.Signal(SIGTERM);
    const Outcome run = preview.Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind("lumagrove-preview: no audio device", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    const std::vector<double> times = FrameTimes(csv);
    EXPECT_GE(times.size(), 2u) << "a row for each frame drawn: the star before and after the resize";
    for (size_t i = 1; i < times.size(); ++i) ASSERT_GE(times[i], times[i - 1]) << "row " << i;
}

TEST(PreviewWindow, PlaysTheSongAndEndsWithIt) {
    ScratchDir dir;
    const std::string song = dir.File("short.wav");
    const Channel left = Sine(70, 0.8, 48000, 1.0), right = Sine(3000, 0.25, 48000, 1.0);
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, {left, right});
    const std::string csv = dir.File("levels.csv"), played = dir.File("played.raw");
    VirtualDisplay display(320, 240);
    // SDL's "disk" sound device plays at the song's pace into a file.
    PreviewProcess preview({"--window", "--audio", song, "--size", "160x120", "--fps", "30", "--levels-out", csv},
                           {"DISPLAY=" + display.name(), "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + played});
    const Outcome run = preview.Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    // What was played is the song, left and right in place, after whatever
    // silence the device played before the song began.
    const std::string sound = ReadFile(played);
    std::vector<float> samples(sound.size() / sizeof(float));
    memcpy(samples.data(), sound.data(), samples.size() * sizeof(float));
    size_t start = 0;
    while (start < samples.size() && samples[start] == 0.0f) ++start;
    start = start / 2 - 1;  // both sides start at 0: the song begins one frame before the first sound
    ASSERT_GE(samples.size(), (start + left.size()) * 2);
    for (size_t i = 0; i < left.size(); i += 997) {
        ASSERT_FLOAT_EQ(samples[2 * (start + i)], left[i]) << "frame " << i;
        ASSERT_FLOAT_EQ(samples[2 * (start + i) + 1], right[i]) << "frame " << i;
    }
    // The frames followed it to its end.
    const std::vector<double> times = FrameTimes(csv);
    ASSERT_GT(times.size(), 5u);
    EXPECT_LE(times.back(), 1.0);
    EXPECT_GT(times.back(), 0.9);
}

// --fullscreen covers the screen whatever --size says: the star is drawn
// about twice as large, around the screen's centre.
TEST(PreviewWindow, FullscreenCoversTheScreen) {
    ScratchDir dir;
    const std::string song = dir.File("tone.wav");
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, {Sine(70, 0.8, 48000, 30), Sine(70, 0.8, 48000, 30)});
    Light windowed, full;
    for (bool fullscreen : {false, true}) {
        VirtualDisplay display(640, 480);
        std::vector<std::string> args = {"--window", "--audio", song, "--size", "240x180"};
        if (fullscreen) args.push_back("--fullscreen");
        PreviewProcess preview(args, {"DISPLAY=" + display.name(), "SDL_AUDIODRIVER=no-such-device"});
        Light& light = fullscreen ? full : windowed;
        ASSERT_TRUE(WaitUntil([&] { return (light = FindLight(display.Screenshot())).count >= 200; }))
            << "waited for the star";
        Pause(300);
        light = FindLight(display.Screenshot());
        preview.Signal(SIGTERM);
        const Outcome run = preview.Wait();
        EXPECT_EQ(run.status, 0) << run.err;
    }
    ASSERT_GT(windowed.count, 100);
    EXPECT_GT(full.count, 1.6 * windowed.count);
    EXPECT_NEAR(full.x, 320, 40);
    EXPECT_NEAR(full.y, 240, 40);
}

// Space pauses a song and resumes it: while paused the frames keep the time
// they had, and then it runs on from there.
TEST(PreviewWindow, SpacePausesAndResumesTheSong) {
    ScratchDir dir;
    const std::string song = dir.File("tone.wav");
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, {Sine(70, 0.8, 48000, 30), Sine(70, 0.8, 48000, 30)});
    const std::string csv = dir.File("levels.csv");
    VirtualDisplay display(640, 480);
    PreviewProcess preview({"--window", "--audio", song, "--size", "200x150", "--fps", "20", "--levels-out", csv},
                           {"DISPLAY=" + display.name(), "SDL_AUDIODRIVER=no-such-device"});
    ASSERT_TRUE(WaitUntil([&] { return FindLight(display.Screenshot()).count >= 100; })) << "waited for the star";
    Pause(500);
    ASSERT_TRUE(display.PressKey(200, 150, XK_space));
    Pause(1000);
    ASSERT_TRUE(display.PressKey(200, 150, XK_space));
    Pause(500);
    preview.Signal(SIGTERM);
    ASSERT_EQ(preview.Wait().status, 0);
    // The longest run of frames at one time is the pause: most of a second
    // at 20 frames a second; before and after it time moves.
    const std::vector<double> times = FrameTimes(csv);
    size_t longest = 0, run = 1;
    for (size_t i = 1; i < times.size(); ++i) {
        run = times[i] == times[i - 1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    EXPECT_GE(longest, 12u);
    EXPECT_GT(times.back(), times.front() + 0.6);
}

}  // namespace
