// End to end through the built lumagrove-preview: songs written here, the
// frames, video and contact sheet it writes, read back and checked.
#include <gtest/gtest.h>
#include <math.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "toolbox/output/video_quality.h"

namespace {

const int kRate = 48000;

// A kick on every beat: 60 Hz bursts of 0.1 s, fading out, every 0.5 s from
// 0.25 s, and silence between them.
std::string WriteBeatSong(const ScratchDir& dir, double seconds) {
    const Channel kick = Kicks(kRate, seconds, 0.25, 0.1);
    const std::string path = dir.File("beat.wav");
    WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {kick, kick});
    return path;
}

std::string FrameFile(const std::string& folder, int index) {
    char name[32];
    snprintf(name, sizeof name, "/frame_%06d.png", index);
    return folder + name;
}

TEST(PreviewFrames, GlowsAreLargerOnTheBeatThanBetween) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 2.0);
    const std::string frames = dir.File("frames");
    const Outcome run = RunPreview({"--audio", song, "--out", frames, "--size", "192x108", "--fps", "20", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(ListFolder(frames).size(), 40u);  // 2 s at 20 frames a second, nothing else
    for (double beat = 0.25; beat + 0.4 < 2.0; beat += 0.5) {
        SCOPED_TRACE("beat at " + std::to_string(beat));
        const double on = ReadPng(FrameFile(frames, static_cast<int>(lround((beat + 0.05) * 20)))).Brightness();
        const double between = ReadPng(FrameFile(frames, static_cast<int>(lround((beat + 0.40) * 20)))).Brightness();
        EXPECT_GT(on, 2.0 * between);
    }
    // A kick lights the lowest bands, which size the blue glows: a frame on
    // the beat is blue, not red (a swapped channel order would show here).
    const Picture onBeat = ReadPng(FrameFile(frames, 6));
    double red = 0, blue = 0;
    for (size_t i = 0; i < onBeat.rgb.size(); i += 3) {
        red += onBeat.rgb[i];
        blue += onBeat.rgb[i + 2];
    }
    EXPECT_GT(blue, 1.5 * red);
}

TEST(PreviewFrames, TheSameInputGivesByteIdenticalFrames) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 1.0);
    // An odd size, so that a row or channel order slip would show.
    const std::vector<std::string> common = {"--audio", song, "--size", "101x67", "--fps", "10", "--quiet"};
    for (const char* name : {"a", "b"}) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--out", dir.File(name)});
        const Outcome run = RunPreview(args);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    const std::vector<std::string> names = ListFolder(dir.File("a"));
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names, ListFolder(dir.File("b")));
    for (const std::string& name : names)
        EXPECT_EQ(ReadFile(dir.File("a/" + name)), ReadFile(dir.File("b/" + name))) << name;
    const Picture first = ReadPng(dir.File("a/" + names[0]));
    EXPECT_EQ(first.width, 101);
    EXPECT_EQ(first.height, 67);
}

TEST(PreviewFrames, LevelsWrittenOutAndReplayedGiveTheSameFrames) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 1.0);
    const std::string csv = dir.File("levels.csv");
    const Outcome analysed = RunPreview({"--audio", song, "--out", dir.File("analysed"), "--levels-out", csv, "--size",
                                         "64x48", "--fps", "12", "--quiet"});
    ASSERT_EQ(analysed.status, 0) << analysed.err;
    // One row per frame after the header, each with its time first.
    std::stringstream rows(ReadFile(csv));
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[4].rfind("0.25", 0), 0u) << lines[4];

    const Outcome replayed =
        RunPreview({"--levels-in", csv, "--out", dir.File("replayed"), "--size", "64x48", "--fps", "12", "--quiet"});
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    const std::vector<std::string> names = ListFolder(dir.File("analysed"));
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(ListFolder(dir.File("replayed")), names);
    for (const std::string& name : names)
        EXPECT_EQ(ReadFile(dir.File("analysed/" + name)), ReadFile(dir.File("replayed/" + name))) << name;
}

TEST(PreviewVideo, HasEveryFrameAtTheSizeAndTheSongsSound) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 2.0);
    const std::string video = dir.File("song.mp4");
    // The middle second: 24 frames and one second of sound.
    const Outcome run = RunPreview({"--audio", song, "--out", video, "--size", "160x90", "--fps", "24", "--start",
                                    "0.5", "--duration", "1", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"beat.wav", "song.mp4"}));
    auto picture = ProbeStream(video, "v:0");
    EXPECT_EQ(picture["codec_name"], "h264");
    EXPECT_EQ(picture["width"], "160");
    EXPECT_EQ(picture["height"], "90");
    EXPECT_EQ(picture["pix_fmt"], "yuv420p");
    EXPECT_EQ(picture["nb_read_frames"], "24");
    auto sound = ProbeStream(video, "a:0");
    EXPECT_EQ(sound["codec_name"], "aac");
    EXPECT_NEAR(atof(sound["duration"].c_str()), 1.0, 0.05);

    // The video's pictures are the frames themselves, upright and in their
    // colours, within what H.264 loses: compare frame 12 with the PNG of the
    // same frame, and with that PNG upside down.
    const Outcome frames = RunPreview({"--audio", song, "--out", dir.File("frames"), "--size", "160x90", "--fps", "24",
                                       "--start", "0.5", "--duration", "1", "--quiet"});
    ASSERT_EQ(frames.status, 0) << frames.err;
    const Picture png = ReadPng(dir.File("frames/frame_000012.png"));
    const std::string decoded =
        Capture("ffmpeg -v error -i '" + video + "' -vf 'select=eq(n\\,12)' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(decoded.size(), png.rgb.size());
    double upright = 0, flipped = 0;
    for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width * 3; ++x) {
            const int v = static_cast<uint8_t>(decoded[(static_cast<size_t>(y) * png.width * 3) + x]);
            upright += abs(v - png.At(0, y)[x]);
            flipped += abs(v - png.At(0, png.height - 1 - y)[x]);
        }
    upright /= png.rgb.size();
    flipped /= png.rgb.size();
    EXPECT_LT(upright, 3.0);
    EXPECT_GT(flipped, 3 * upright);
}

// Songs as music stores and phones give them (AAC in M4A) and the sound of a
// video: glows on the beats, and the video made from them carries the sound.
TEST(PreviewVideo, SongsInM4aAndTheSoundOfAVideoRenderWithTheirSound) {
    ScratchDir dir;
    const std::string wav = WriteBeatSong(dir, 2.0);
    EncodeWithFfmpeg(wav, dir.File("beat.m4a"), "-c:a aac -b:a 192k");
    EncodeWithFfmpeg(wav, dir.File("clip.mkv"),
                     "-f lavfi -i color=c=red:s=64x48:r=25:d=2 -map 1:v -map 0:a -c:v mpeg4 -c:a libvorbis -shortest");
    for (const char* name : {"beat.m4a", "clip.mkv"}) {
        SCOPED_TRACE(name);
        const std::string stem = std::string(name).substr(0, std::string(name).find('.'));
        const std::string frames = dir.File(stem + "-frames"), video = dir.File(stem + ".mp4");
        const std::vector<std::string> common = {"--audio", dir.File(name), "--size", "192x108",
                                                 "--fps",   "20",           "--quiet"};
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--out", frames});
        const Outcome run = RunPreview(args);
        ASSERT_EQ(run.status, 0) << run.err;
        // 2 s at 20 frames a second (a Matroska file's length is in milliseconds: one more may follow).
        ASSERT_NEAR(ListFolder(frames).size(), 40u, 1u);
        for (double beat = 0.25; beat + 0.4 < 2.0; beat += 0.5) {
            const double on = ReadPng(FrameFile(frames, static_cast<int>(lround((beat + 0.05) * 20)))).Brightness();
            const double between =
                ReadPng(FrameFile(frames, static_cast<int>(lround((beat + 0.40) * 20)))).Brightness();
            EXPECT_GT(on, 2.0 * between) << "beat at " << beat;
        }
        args = common;
        args.insert(args.end(), {"--out", video});
        ASSERT_EQ(RunPreview(args).status, 0);
        EXPECT_EQ(ProbeStream(video, "v:0")["nb_read_frames"], std::to_string(ListFolder(frames).size()));
        auto sound = ProbeStream(video, "a:0");
        EXPECT_EQ(sound["codec_name"], "aac");
        EXPECT_NEAR(atof(sound["duration"].c_str()), 2.0, 0.06);
    }
}

// Each --quality reaches x264: the encoder writes the settings it ran with
// into the video ("x264 - core ... options: ... crf=17.0 ..."), and a preset
// shows in the settings it implies.
TEST(PreviewVideo, EachQualityReachesTheEncoder) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 1.0);
    const std::map<std::string, std::string> presetMark = {{"ultrafast", " cabac=0 "}, {"superfast", " subme=1 "},
                                                           {"veryfast", " subme=2 "},  {"faster", " subme=4 "},
                                                           {"fast", " subme=6 "},      {"medium", " subme=7 "}};
    std::set<std::string> settingsSeen;
    for (const VideoQuality& quality : VideoQualities()) {
        SCOPED_TRACE(quality.name);
        const std::string video = dir.File(std::string(quality.name) + ".mp4");
        const Outcome run = RunPreview(
            {"--audio", song, "--out", video, "--size", "64x36", "--fps", "10", "--quality", quality.name, "--quiet"});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string bytes = ReadFile(video);
        const size_t at = bytes.find("x264 - core");
        ASSERT_NE(at, std::string::npos);
        const std::string settings = bytes.substr(at, bytes.find('\0', at) - at) + " ";
        EXPECT_NE(settings.find(" crf=" + std::to_string(quality.crf) + ".0 "), std::string::npos) << settings;
        ASSERT_EQ(presetMark.count(quality.preset), 1u) << quality.preset;
        EXPECT_NE(settings.find(presetMark.at(quality.preset)), std::string::npos) << settings;
        settingsSeen.insert(settings.substr(settings.find("options:")));
    }
    EXPECT_EQ(settingsSeen.size(), VideoQualities().size()) << "two qualities encode alike";
    // Without --quality: normal.
    const Outcome run =
        RunPreview({"--audio", song, "--out", dir.File("default.mp4"), "--size", "64x36", "--fps", "10", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = ReadFile(dir.File("default.mp4"));
    EXPECT_NE(bytes.find(" crf=" + std::to_string(DefaultVideoQuality().crf) + ".0 "), std::string::npos);
}

TEST(PreviewSheet, ShowsFramesSpreadOverTheSongWithTheirTimes) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 2.0);
    // Frames small enough to be shown unscaled, so each cell is its frame exactly.
    const Outcome run = RunPreview({"--audio", song, "--out", dir.File("frames"), "--sheet", dir.File("sheet.png"),
                                    "--size", "200x120", "--fps", "10", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture sheet = ReadPng(dir.File("sheet.png"));
    // A heading 32 high, then 16 cells, 4 by 4: 4 * (200 + 8) + 8 wide, 32 + 4 * (120 + 24 + 8) + 8 high.
    ASSERT_EQ(sheet.width, 840);
    ASSERT_EQ(sheet.height, 32 + 616);
    // The heading names the song (its file: it has no tags), in light text from the left.
    int headingLit = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 8 + 8 * 6 * 2; ++x) headingLit += sheet.At(x, y)[0] > 200;
    EXPECT_GT(headingLit, 60) << "\"beat.wav\" in the heading";
    for (int k : {0, 5, 15}) {
        SCOPED_TRACE("cell " + std::to_string(k));
        const int index = (2 * k + 1) * 20 / 32;
        const Picture frame = ReadPng(FrameFile(dir.File("frames"), index));
        const int left = 8 + (k % 4) * 208, top = 32 + 8 + (k / 4) * 152;
        int differing = 0;
        for (int y = 0; y < frame.height; ++y)
            differing += memcmp(sheet.At(left, top + y), frame.At(0, y), frame.width * 3) != 0;
        EXPECT_EQ(differing, 0);
        // The label strip under the picture holds light text on a dark ground.
        int lit = 0;
        for (int y = top + 120; y < top + 144; ++y)
            for (int x = left; x < left + 200; ++x) lit += sheet.At(x, y)[0] > 200;
        EXPECT_GT(lit, 40);
    }
}

TEST(PreviewSheet, ScalesLargeFramesDown) {
    ScratchDir dir;
    const std::string song = WriteBeatSong(dir, 1.0);
    const Outcome run =
        RunPreview({"--audio", song, "--sheet", dir.File("sheet.png"), "--size", "640x360", "--fps", "3", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture sheet = ReadPng(dir.File("sheet.png"));
    // Three frames: three cells in a row, each 320 x 180, under the heading.
    EXPECT_EQ(sheet.width, 3 * (320 + 8) + 8);
    EXPECT_EQ(sheet.height, 32 + 180 + 24 + 8 + 8);
}

TEST(PreviewInterrupt, CtrlCMidRenderExits130AndLeavesNothing) {
    ScratchDir dir;
    for (const char* out : {"demo.mp4", "frames"}) {
        SCOPED_TRACE(out);
        PreviewProcess preview({"--out", dir.File(out), "--size", "320x180", "--quiet"});
        // Wait until rendering is under way: the output exists in its temporary form.
        const std::string started =
            std::string(out) == "frames" ? dir.File("frames/frame_000005.png") : dir.File("demo.mp4.part");
        ASSERT_TRUE(WaitUntil([&] { return Exists(started); })) << "waited for " << started;
        preview.Signal(SIGINT);
        const Outcome run = preview.Wait();
        EXPECT_EQ(run.status, 130);
        EXPECT_EQ(run.err, "lumagrove-preview: interrupted; partial output removed\n");
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{});
    }
}

}  // namespace
