// The preview host under faults, end to end through the built program: a
// full disk, the output folder removed mid-run, an encoder that dies or
// leaves a broken video, damaged, unusual and empty songs, a levels CSV with
// bad rows. A fault ends in one "lumagrove-preview:" line and its status,
// never in a signal, and leaves neither a partial file nor one that looks
// finished.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/support/expect_error_line.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"

namespace {

const int kRate = 44100;

// A bass tone and hiss on both sides, loud enough to light the glows.
std::vector<Channel> Music(int rate, double seconds, int channels = 2) {
    std::vector<Channel> out;
    for (int c = 0; c < channels; ++c) {
        Channel tone = Sine(80.0 + 20 * c, 0.6, rate, seconds);
        const Channel hiss = Noise(0.2, rate, seconds, 11 + c);
        for (size_t i = 0; i < tone.size(); ++i) tone[i] += hiss[i];
        out.push_back(tone);
    }
    return out;
}

// The process ids whose parent is `parent` and whose name is `name`.
std::vector<pid_t> ChildrenNamed(pid_t parent, const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = ReadFile(entry.path().string() + "/stat");
        // "pid (name) state ppid ...": the name may hold spaces and brackets.
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && stat.substr(open + 1, close - open - 1) == name)
            found.push_back(static_cast<pid_t>(atoi(stat.c_str())));
    }
    return found;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        song_ = dir_.File("song.wav");
        WriteSound(song_, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, Music(kRate, 3.0));
    }

    // Runs the program and checks the status, the one line naming `named`,
    // and that the scratch folder holds what it held before.
    Outcome ExpectFailure(const std::vector<std::string>& args, int status, const std::string& named,
                          const std::vector<std::string>& env = {}) {
        const std::vector<std::string> before = ListFolder(dir_.path());
        const Outcome run = RunPreview(args, env);
        EXPECT_EQ(run.status, status) << run.err;
        ExpectOneLine(run, named);
        EXPECT_EQ(ListFolder(dir_.path()), before);
        return run;
    }

    // A fake "ffmpeg" in a folder of its own, ahead of the real one on PATH.
    std::vector<std::string> FakeEncoder(const std::string& script) {
        const std::string bin = dir_.File("bin");
        mkdir(bin.c_str(), 0755);
        WriteText(bin + "/ffmpeg", "#!/bin/sh\n" + script);
        chmod((bin + "/ffmpeg").c_str(), 0755);
        return {"PATH=" + bin + ":/usr/bin:/bin"};
    }

    ScratchDir dir_;
    std::string song_;
};

// --- a full disk ------------------------------------------------------------

// Runs the program in a mount namespace of its own, where the folder `disk`
// (made here) is a tmpfs of `kib` KiB with `fillKib` of it taken before the
// program starts; `left` gets what the program left on the tmpfs (which goes
// with the namespace).
class FullDisk : public Faults {
protected:
    Outcome RunOnDisk(int kib, int fillKib, const std::vector<std::string>& args, std::vector<std::string>* left) {
        const std::string listing = disk_ + ".left";
        const std::string script = "mount -t tmpfs -o size=" + std::to_string(kib) +
                                   "k lumagrove-full \"$0\" || exit 97\n"
                                   "head -c " +
                                   std::to_string(fillKib * 1024) +
                                   " /dev/zero > \"$0/.filler\"\n"
                                   "\"$@\"\nstatus=$?\nrm \"$0/.filler\"\n"
                                   "(cd \"$0\" && find . -mindepth 1 | sort) > \"$0.left\"\nexit $status\n";
        std::vector<std::string> launcher = Launcher();
        launcher.insert(launcher.end(), {"sh", "-c", script, disk_});
        const Outcome run = PreviewProcess(args, {}, launcher).Wait();
        std::istringstream lines(ReadFile(listing));
        EXPECT_TRUE(Exists(listing)) << "the tmpfs was not mounted: " << run.err;
        left->clear();
        for (std::string line; std::getline(lines, line);) left->push_back(line);
        unlink(listing.c_str());
        return run;
    }

    void SetUp() override {
        Faults::SetUp();
        disk_ = dir_.File("disk");
        mkdir(disk_.c_str(), 0755);
        ASSERT_FALSE(Launcher().empty())
            << "cannot mount a tmpfs in a private mount namespace: neither `unshare -m` (needs root) nor "
               "`unshare -rm` (needs user namespaces) works on this machine";
    }

    // "unshare -m" as root, "unshare -rm" (a user namespace) where that is
    // all the machine allows; empty when neither can mount a tmpfs.
    std::vector<std::string> Launcher() {
        static const std::vector<std::string> launcher = [this] {
            for (const char* flags : {"-m", "-rm"}) {
                const std::string probe =
                    std::string("unshare ") + flags + " mount -t tmpfs -o size=4k none '" + disk_ + "' >/dev/null 2>&1";
                if (system(probe.c_str()) == 0) return std::vector<std::string>{"unshare", flags};
            }
            return std::vector<std::string>{};
        }();
        return launcher;
    }

    std::string disk_;
};

TEST_F(FullDisk, EveryOutputFailsWithStatus1AndLeavesNothingOnTheDisk) {
    struct Case {
        const char* what;
        int kib, fillKib;               // the disk, and what is taken before the run
        std::vector<std::string> args;  // besides the song and --quiet
        std::string named;
    };
    const std::vector<Case> cases = {
        // 60 frames, each a page of the tmpfs at least: the disk fills part-way.
        {"frames", 64, 0, {"--out", disk_ + "/frames", "--size", "160x90", "--fps", "20"}, disk_ + "/frames/frame_"},
        {"video", 16, 0, {"--out", disk_ + "/song.mp4", "--size", "160x90", "--fps", "20"}, disk_ + "/song.mp4"},
        {"sheet", 4, 0, {"--sheet", disk_ + "/sheet.png", "--size", "640x360", "--fps", "20"}, disk_ + "/sheet.png"},
        // The levels fail part-way; the frames written elsewhere go too.
        {"levels",
         4,
         0,
         {"--levels-out", disk_ + "/levels.csv", "--out", dir_.File("frames"), "--size", "64x36", "--fps", "20"},
         disk_ + "/levels.csv"},
        // So few levels that they fail only when written out at the end: the
        // frames must not have been made final before that.
        {"levels at the end",
         4,
         4,
         {"--levels-out", disk_ + "/levels.csv", "--out", dir_.File("frames"), "--size", "64x36", "--fps", "20",
          "--duration", "0.5"},
         disk_ + "/levels.csv"},
        // The sheet fails as it is made final; the video and the frames, finished
        // on a disk with room, are published with it or not at all.
        {"sheet beside a video",
         4,
         0,
         {"--sheet", disk_ + "/sheet.png", "--out", dir_.File("song.mp4"), "--size", "640x360", "--fps", "20"},
         disk_ + "/sheet.png"},
        {"sheet beside frames",
         4,
         0,
         {"--sheet", disk_ + "/sheet.png", "--out", dir_.File("frames"), "--size", "640x360", "--fps", "20"},
         disk_ + "/sheet.png"},
    };
    const std::vector<std::string> before = ListFolder(dir_.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"--audio", song_, "--quiet"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::vector<std::string> left;
        const Outcome run = RunOnDisk(c.kib, c.fillKib, args, &left);
        EXPECT_EQ(run.status, 1) << run.err;
        ExpectOneLine(run, c.named);
        EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
        EXPECT_EQ(left, std::vector<std::string>{});
        EXPECT_EQ(ListFolder(dir_.path()), before);
    }
}

TEST_F(FullDisk, OutputsThatFitAreWrittenWhole) {
    // The same runs with room to spare: the limits above are what fails them.
    std::vector<std::string> left;
    const Outcome run =
        RunOnDisk(8192, 0,
                  {"--audio", song_, "--quiet", "--size", "160x90", "--fps", "20", "--out", disk_ + "/frames",
                   "--sheet", disk_ + "/sheet.png", "--levels-out", disk_ + "/levels.csv"},
                  &left);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(left.size(), 1u + 60u + 2u);  // the folder, its 60 frames, the sheet and the levels
    EXPECT_EQ(left.front(), "./frames");
    EXPECT_EQ(left[1], "./frames/frame_000000.png");
    EXPECT_EQ(left[60], "./frames/frame_000059.png");
    EXPECT_EQ(left[61], "./levels.csv");
    EXPECT_EQ(left[62], "./sheet.png");
}

// --- the output taken away mid-run -------------------------------------------

TEST_F(Faults, FramesFolderRemovedMidRunGivesStatus1) {
    const std::string frames = dir_.File("frames");
    PreviewProcess preview({"--out", frames, "--size", "320x180", "--quiet"});
    ASSERT_TRUE(WaitUntil([&] { return Exists(frames + "/frame_000005.png"); })) << "waited for frame 5";
    // Frames may land while the folder is emptied: remove until it is gone.
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::error_code ignored;
            std::filesystem::remove_all(frames, ignored);
            return !Exists(frames);
        },
        5));
    const Outcome run = preview.Wait();
    EXPECT_EQ(run.status, 1) << run.err;
    ExpectOneLine(run, frames + "/frame_");
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
    EXPECT_FALSE(Exists(frames));  // not made again
    EXPECT_EQ(ListFolder(dir_.path()), std::vector<std::string>{"song.wav"});
}

// The outputs are published together: when the last one cannot be renamed
// into place (its name is taken by a folder), the levels CSV and the frames
// published before it are taken back.
TEST_F(Faults, AnOutputThatCannotBePublishedTakesTheOthersWithIt) {
    const std::string sheet = dir_.File("sheet.png");
    mkdir(sheet.c_str(), 0755);
    WriteText(sheet + "/keep", "a folder in the sheet's place\n");
    const Outcome run =
        RunPreview({"--audio", song_, "--levels-out", dir_.File("levels.csv"), "--out", dir_.File("frames"), "--sheet",
                    sheet, "--size", "64x36", "--fps", "10", "--quiet"});
    EXPECT_EQ(run.status, 1) << run.err;
    ExpectOneLine(run, sheet);
    EXPECT_EQ(ListFolder(dir_.path()), (std::vector<std::string>{"sheet.png", "song.wav"}));
    EXPECT_EQ(ListFolder(sheet), std::vector<std::string>{"keep"});
}

// --- the encoder --------------------------------------------------------------

TEST_F(Faults, EncoderKilledMidRunGivesStatus1AndNoVideo) {
    const std::string video = dir_.File("demo.mp4");
    PreviewProcess preview({"--out", video, "--size", "320x180", "--quiet"});
    // Under way: ffmpeg has started writing the video.
    ASSERT_TRUE(WaitUntil([&] { return FileSize(video + ".part") > 0; })) << "waited for the video to start";
    const std::vector<pid_t> encoders = ChildrenNamed(preview.pid(), "ffmpeg");
    ASSERT_EQ(encoders.size(), 1u);
    kill(encoders[0], SIGKILL);
    const Outcome run = preview.Wait();
    EXPECT_EQ(run.status, 1) << run.err;
    ExpectOneLine(run, "ffmpeg failed while writing " + video);
    EXPECT_NE(run.err.find("killed by SIGKILL"), std::string::npos) << run.err;
    EXPECT_EQ(ListFolder(dir_.path()), std::vector<std::string>{"song.wav"});
}

TEST_F(Faults, EncoderThatEndsWellButLeavesNoWholeVideoGivesStatus1) {
    const std::string video = dir_.File("out.mp4");
    const std::vector<std::string> args = {"--audio", song_,   "--out", video,    "--size",
                                           "64x36",   "--fps", "10",    "--quiet"};
    // Stops reading after a few frames, says nothing and reports success.
    ExpectFailure(args, 1, "ffmpeg failed while writing " + video, FakeEncoder("head -c 30000 >/dev/null\nexit 0\n"));
    // Takes every frame and reports success, but what it wrote is not a video
    // (as ffmpeg does when the disk fills while it writes the file's end).
    const Outcome run = ExpectFailure(
        args, 1, "ffmpeg failed while writing " + video,
        FakeEncoder("cat >/dev/null\nfor last; do :; done\nprintf 'ftyp-and-no-more' > \"$last\"\nexit 0\n"));
    EXPECT_NE(run.err.find("incomplete"), std::string::npos) << run.err;
}

// --- songs ----------------------------------------------------------------------

TEST_F(Faults, SongDamagedPartWayGivesStatus1AndLeavesNothing) {
    for (const PartWayDamage& c : PartWayDamageCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.File(c.name);
        WriteDamageCase(path, c, kRate, Music(kRate, 3.0));
        DamagePartWay(path, c);
        for (const std::string out : {"out.mp4", "frames"}) {
            SCOPED_TRACE(out);
            const Outcome run = ExpectFailure(
                {"--audio", path, "--out", dir_.File(out), "--size", "64x36", "--fps", "10", "--quiet"}, 1, path);
            EXPECT_NE(run.err.find("damaged or truncated"), std::string::npos) << run.err;
        }
    }
}

TEST_F(Faults, SongsOfManyChannelsAndExtremeRatesRenderWhole) {
    struct Case {
        const char* name;
        int format;
        int rate;
        int channels;
    };
    // The outline is white; the glows are coloured. A silent song shows no
    // colour at all, so colour in the songs' frames shows their sound arrived.
    const std::string silent = dir_.File("silent.wav");
    WriteSound(silent, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, {Silence(8000, 1.5)});
    const std::vector<std::string> common = {"--size", "96x54", "--fps", "10", "--quiet"};
    std::vector<std::string> args = {"--audio", silent, "--out", dir_.File("silent")};
    args.insert(args.end(), common.begin(), common.end());
    ASSERT_EQ(RunPreview(args).status, 0);
    EXPECT_EQ(ColouredPixels(ReadPng(dir_.File("silent/frame_000010.png"))), 0);

    for (const Case& c : {Case{"six.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 6},
                          Case{"low.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1},
                          Case{"high.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 192000, 2}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.File(c.name);
        WriteSound(path, c.format, c.rate, Music(c.rate, 1.5, c.channels));
        const std::string stem = std::string(c.name).substr(0, std::string(c.name).find('.'));
        const std::string frames = dir_.File(stem), video = dir_.File(stem + ".mp4");
        for (const std::string& out : {frames, video}) {
            args = {"--audio", path, "--out", out};
            args.insert(args.end(), common.begin(), common.end());
            const Outcome run = RunPreview(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.err, "");
        }
        ASSERT_EQ(ListFolder(frames).size(), 15u);
        for (int i : {5, 10, 14}) {
            const Picture frame = ReadPng(frames + "/" + ListFolder(frames)[i]);
            EXPECT_EQ(frame.width, 96);
            EXPECT_GT(ColouredPixels(frame), 96 * 54 / 50) << "frame " << i;
        }
        EXPECT_EQ(ProbeStream(video, "v:0")["nb_read_frames"], "15");
        auto sound = ProbeStream(video, "a:0");
        EXPECT_EQ(sound["codec_name"], "aac");
        EXPECT_EQ(sound["channels"], std::to_string(c.channels));
        EXPECT_NEAR(atof(sound["duration"].c_str()), 1.5, 0.05);
    }
}

TEST_F(Faults, SongWithNoSoundIsRefusedWithStatus2) {
    struct Case {
        const char* name;
        int format;
    };
    for (const Case& c :
         {Case{"zero.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16}, Case{"zero.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
          Case{"zero.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.File(c.name);
        WriteSound(path, c.format, kRate, {Channel{}, Channel{}});
        ExpectFailure({"--audio", path, "--out", dir_.File("out.mp4"), "--quiet"}, 2, path);
        ExpectFailure({"--audio", path, "--out", dir_.File("frames"), "--sheet", dir_.File("sheet.png"), "--quiet"}, 2,
                      path);
    }
    // A video without sound: one line naming it and saying it has none.
    const std::string video = dir_.File("silent.mp4");
    ASSERT_EQ(
        system(("ffmpeg -nostdin -loglevel error -f lavfi -i color=s=64x48:d=1 -c:v mpeg4 '" + video + "'").c_str()),
        0);
    const Outcome run = ExpectFailure({"--audio", video, "--out", dir_.File("out.mp4"), "--quiet"}, 2, video);
    EXPECT_NE(run.err.find("has no sound"), std::string::npos) << run.err;
}

// --- levels -------------------------------------------------------------------

TEST_F(Faults, LevelsCsvWithABadRowIsNamedByLineWithStatus2) {
    const std::string header = "time,l0,l1,l2,l3,l4,l5,l6,l7,l8,l9,l10,l11,l12,l13,l14,l15\n";
    const auto row = [](const std::string& time, const std::string& level) {
        std::string text = time;
        for (int i = 0; i < 16; ++i) text += "," + (i == 5 ? level : std::string("0.1"));
        return text + "\n";
    };
    struct Case {
        std::string body;  // after the header
        int line;          // the bad line
        std::string why;
    };
    const std::vector<Case> cases = {
        {row("0", "0.2") + "0.1,0.2,0.3\n", 3, "expected 17 values"},
        {row("0", "0.2") + "\n" + row("0.1", "loud"), 4, "not a number"},
        {row("0", "0.2") + row("0.1", "nan"), 3, "not a finite level"},
        {row("0", "0.2") + row("0.1", "1e39"), 3, "not a finite level"},
        {row("0.5", "0.2") + row("0.25", "0.2"), 3, "goes back"},
        {row("0", "0.2") + row("0.1", "0.2") + row("0.2", "0.2").substr(0, 40) + "\n", 4, "expected 17 values"},
        {row("0", "0.2") + row("inf", "0.2"), 3, "not a finite time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const std::string csv = dir_.File("bad.csv");
        WriteText(csv, header + c.body);
        const Outcome run = ExpectFailure({"--levels-in", csv, "--out", dir_.File("frames"), "--sheet",
                                           dir_.File("sheet.png"), "--levels-out", dir_.File("copy.csv"), "--quiet"},
                                          2, csv + " line " + std::to_string(c.line) + ": ");
        EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
    }
}

}  // namespace
