// The Windows preview host under Wine against the Linux one: the same levels
// and times give the same frames, and it reports bad input the same way.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/analysis/level_source.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "tests/win32/wine_session.h"
#include "toolbox/levels/levels_csv.h"
#include "toolbox/output/levels_csv_writer.h"

namespace {

// How far a frame from Wine may stray from the Linux one, and why.
//
// Both builds rasterise with Mesa's llvmpipe, but not the same Mesa: Linux
// renders with the x86-64 build through EGL, Wine with the i386 build behind
// Wine's opengl32 and GLX, whose own C code (line setup, clipping) does its
// float arithmetic on the x87 unit; and under Wine, gluLookAt and
// gluPerspective are Wine's glu32, not libGLU, so the projection differs in
// the last bits of its floats. The glow texture is the same byte for byte;
// what differs is which edge pixels the antialiased outline covers and by how
// much. Measured over 57 frames (203x117 to 1280x720, times 0 to 1990 s): at
// most 42 of 255 on one channel value, all on the outline's edges; at most
// 0.17% of the values off by more than 16; a mean difference of at most 0.154
// per value (0.05 for the frames below). A real fault moves far more: the
// next frame of this test is 3.5 to 6 off on average, and a red/blue swap, a
// flipped row order, a wrong time or wrongly read levels more still.
const int kVisible = 16;                // a channel difference one can see
const double kMaxVisibleShare = 0.005;  // of all channel values
const double kMaxMeanDifference = 0.5;  // per channel value, 0..255

struct FrameDifference {
    int max = 0;         // largest difference of one channel value
    double visible = 0;  // share of channel values more than kVisible apart
    double mean = 0;     // mean absolute difference per channel value
    bool WithinTolerance() const { return visible <= kMaxVisibleShare && mean <= kMaxMeanDifference; }
};

FrameDifference Compare(const Picture& a, const Picture& b) {
    FrameDifference d;
    if (a.width != b.width || a.height != b.height) return {255, 1.0, 255.0};
    size_t visible = 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const int delta = abs(int(a.rgb[i]) - int(b.rgb[i]));
        d.max = std::max(d.max, delta);
        visible += delta > kVisible;
        sum += delta;
    }
    d.visible = double(visible) / a.rgb.size();
    d.mean = sum / a.rgb.size();
    return d;
}

std::ostream& operator<<(std::ostream& out, const FrameDifference& d) {
    return out << "max " << d.max << ", " << d.visible * 100 << "% of values off by more than " << kVisible << ", mean "
               << d.mean;
}

const int kFps = 10;
const double kStart = 7.0;
const int kFrames = 8;

// Levels for every frame from kStart: a beat on every other frame (large
// glows, then small), group two unlike group one, the three sizes unlike each
// other, so a frame shown at the wrong time or with misread levels stands out.
void WriteLevels(const std::string& path) {
    LevelsCsvWriter csv(path);
    for (int i = 0; i < kFrames + 2; ++i) {
        float levels[16] = {};
        const float beat = i % 2 ? 0.05f : 0.3f;
        for (int k = 0; k < 8; ++k) {
            levels[k] = beat * (1.0f - k / 10.0f);
            levels[8 + k] = 0.5f * levels[k] + 0.02f * i;
        }
        csv.Write(kStart + double(i) / kFps, levels);
    }
    csv.Close();
}

std::string Frame(const std::string& folder, int index) {
    char name[32];
    snprintf(name, sizeof name, "/frame_%06d.png", index);
    return folder + name;
}

class Win32Host : public ::testing::Test {
protected:
    Win32Host() : levels_(dir_.File("levels.csv")) { WriteLevels(levels_); }
    void SetUp() override { LUMAGROVE_NEEDS_WINE(); }

    // The options both hosts get: an odd, wide size, so a row or aspect mix-up shows.
    std::vector<std::string> Options(const std::string& out) const {
        return {"--levels-in", levels_,   "--out",      out,
                "--size",      "203x117", "--fps",      std::to_string(kFps),
                "--start",     "7",       "--duration", std::to_string(double(kFrames) / kFps),
                "--quiet"};
    }

    ProgramResult RunWindowsHost(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {Win32BuildDir() + "/lumagrove-preview.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunUnderWine(argv);
    }

    ScratchDir dir_;
    std::string levels_;
};

TEST_F(Win32Host, FramesMatchTheLinuxHostsWithinTolerance) {
    const std::string native = dir_.File("linux"), windows = dir_.File("windows");
    const Outcome linuxRun = RunPreview(Options(native));
    ASSERT_EQ(linuxRun.status, 0) << linuxRun.err;
    const ProgramResult wine = RunWindowsHost(Options(windows));
    ASSERT_EQ(wine.status, 0) << wine.err;
    EXPECT_EQ(wine.err, "");

    ASSERT_EQ(ListFolder(windows), ListFolder(native));
    ASSERT_EQ(ListFolder(windows).size(), size_t(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        const Picture w = ReadPng(Frame(windows, i)), l = ReadPng(Frame(native, i));
        ASSERT_EQ(w.width, 203);
        ASSERT_EQ(w.height, 117);
        EXPECT_GT(l.Brightness(), 1.0) << "frame " << i << " shows nothing to compare";
        const FrameDifference d = Compare(w, l);
        EXPECT_TRUE(d.WithinTolerance()) << "frame " << i << ": " << d;
        // The tolerance tells frames apart: the neighbouring frame (one step of
        // the clock, the other beat) is far outside it.
        if (i + 1 < kFrames) {
            const FrameDifference next = Compare(w, ReadPng(Frame(native, i + 1)));
            EXPECT_FALSE(next.WithinTolerance()) << "frame " << i << " against the next: " << next;
        }
    }
}

TEST_F(Win32Host, BadInputGetsOneLineAndStatus2) {
    struct Case {
        std::vector<std::string> args;
        std::string message;  // a part of the line
    };
    const std::string out = dir_.File("frames");
    const std::vector<Case> cases = {
        {{"--levels-in", levels_, "--out", out, "--plugin", dir_.File("missing.dll")}, "cannot load plug-in"},
        {{"--levels-in", levels_, "--out", out, "--plugin", "version.dll"}, "does not export QueryInterface"},
        {{"--levels-in", dir_.File("none.csv"), "--out", out}, "none.csv"},
        {{"--out", out}, "--levels-in"},
        {{"--levels-in", levels_, "--out", dir_.File("song.mp4")}, "PNG frames"},
        {{"--levels-in", levels_, "--window"}, "--window"},
        {{"--levels-in", levels_, "--out", out, "--size", "9x9"}, "--size 9x9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ProgramResult run = RunWindowsHost(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("lumagrove-preview: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(Exists(out)) << "a failed run left its output folder";
    }
}

}  // namespace
