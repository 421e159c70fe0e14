// Bad input and failures, end to end: each gets one line on stderr naming the
// value and what is wrong, its exit status, and leaves no output behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "lumagrove/lumagrove.h"
#include "tests/support/expect_error_line.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"

namespace {

struct BadCase {
    std::vector<std::string> args;
    std::string named;                  // what the message must name
    std::vector<std::string> env = {};  // added to the environment
};

class PreviewInput : public ::testing::Test {
protected:
    void SetUp() override {
        song_ = dir_.File("song.wav");
        WriteSound(song_, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {Sine(440, 0.5, 44100, 1.0)});
        WriteText(dir_.File("empty.wav"), "");
        WriteText(dir_.File("words.wav"), "these are words, not sound\n");
        WriteSound(dir_.File("cut.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {Sine(440, 0.5, 44100, 1.0)});
        TruncateFile(dir_.File("cut.wav"), 30);
        WriteText(dir_.File("notes.txt"), "a file, not a folder\n");
        WriteText(dir_.File("bad.csv"), "time,l0\nnot,a,row\n");
        inputs_ = ListFolder(dir_.path());
    }

    // Runs one case and checks the status, the message and the folder.
    void Check(const BadCase& c, int status) {
        std::string all;
        for (const std::string& a : c.args) all += " " + a;
        SCOPED_TRACE(all);
        const Outcome run = RunPreview(c.args, c.env);
        EXPECT_EQ(run.status, status) << run.err;
        ExpectOneLine(run, c.named);
        EXPECT_EQ(ListFolder(dir_.path()), inputs_);
    }

    ScratchDir dir_;
    std::string song_;
    std::vector<std::string> inputs_;
};

TEST_F(PreviewInput, EachBadValueIsNamedWithStatus2AndLeavesNothing) {
    const std::string video = dir_.File("out.mp4"), frames = dir_.File("frames");
    const std::vector<BadCase> cases = {
        {{"--bogus", "--out", frames}, "unknown option --bogus"},
        {{"--audio", song_, "--out", frames, "stray"}, "unexpected argument stray"},
        {{"--audio", song_, "--out", frames, "--size", "10x10"}, "--size 10x10"},
        {{"--audio", song_, "--out", frames, "--size", "8193x64"}, "--size 8193x64"},
        {{"--audio", song_, "--out", frames, "--size", "wide"}, "--size wide"},
        {{"--audio", song_, "--out", frames, "--fps", "0"}, "--fps 0"},
        {{"--audio", song_, "--out", frames, "--fps", "241"}, "--fps 241"},
        {{"--audio", song_, "--out", frames, "--fps", "2.5"}, "--fps 2.5"},
        {{"--audio", song_, "--out", video, "--quality", "best"}, "--quality best"},
        {{"--audio", song_, "--out", frames, "--duration", "0"}, "--duration 0"},
        {{"--audio", song_, "--out", frames, "--start", "-1"}, "--start -1"},
        {{"--audio", song_, "--out", frames, "--start", "5"}, "--start 0:05.00"},
        {{"--audio", song_, "--out", frames, "--duration", "3"}, "--duration 0:03.00"},
        {{"--audio", dir_.File("missing.wav"), "--out", frames}, "missing.wav"},
        {{"--audio", dir_.File("empty.wav"), "--out", frames}, "empty.wav"},
        {{"--audio", dir_.File("words.wav"), "--out", frames}, "words.wav"},
        {{"--audio", dir_.File("cut.wav"), "--out", frames}, "cut.wav"},
        {{"--levels-in", dir_.File("bad.csv"), "--out", frames}, "bad.csv"},
        {{"--audio", song_}, "no output chosen"},
        {{"--audio", song_, "--out", dir_.File("notes.txt/frames")}, "notes.txt/frames"},
        {{"--audio", song_, "--out", dir_.File("notes.txt")}, "notes.txt"},
        {{"--audio", song_, "--out", dir_.File("nowhere/out.mp4")}, "nowhere/out.mp4"},
        {{"--audio", song_, "--out", dir_.File("out.mov")}, "out.mov"},
        {{"--audio", song_, "--sheet", dir_.File("sheet.jpg")}, "sheet.jpg"},
        {{"--audio", song_, "--sheet", dir_.File("nowhere/sheet.png")}, "nowhere/sheet.png"},
        {{"--audio", song_, "--out", video, "--size", "161x90"}, "161x90"},
        {{"--audio", song_, "--out", video}, "ffmpeg", {"PATH=" + dir_.path()}},
        {{"--audio", song_, "--window", "--out", frames}, "--window"},
        {{"--audio", song_, "--out", frames, "--plugin", dir_.File("notes.txt")}, "notes.txt"},
        {{"--audio", song_, "--out", frames, "--levels-out", dir_.File("nowhere/l.csv")}, "nowhere/l.csv"},
        // A bad output after the frames folder was made still leaves nothing.
        {{"--audio", song_, "--out", frames, "--sheet", dir_.File("nowhere/sheet.png")}, "nowhere/sheet.png"},
    };
    for (const BadCase& c : cases) Check(c, 2);
}

TEST_F(PreviewInput, AnEncoderThatFailsGivesStatus1AndLeavesNothing) {
    // An "ffmpeg" that reads a little and then fails, as a broken encoder would.
    const std::string bin = dir_.File("bin");
    mkdir(bin.c_str(), 0755);
    WriteText(bin + "/ffmpeg", "#!/bin/sh\nhead -c 1000 >/dev/null\necho 'encoder gave up: simulated' >&2\nexit 1\n");
    chmod((bin + "/ffmpeg").c_str(), 0755);
    inputs_ = ListFolder(dir_.path());
    Check({{"--audio", song_, "--out", dir_.File("out.mp4"), "--size", "64x64", "--quiet"},
           "encoder gave up: simulated",
           {"PATH=" + bin + ":/usr/bin:/bin"}},
          1);
}

TEST_F(PreviewInput, HelpListsEveryOptionWithItsDefault) {
    const Outcome run = RunPreview({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    // --help goes to stdout: run it again through the shell to read it.
    const std::string help = Capture(std::string(LUMAGROVE_PREVIEW_PATH) + " --help");
    for (const char* option : {"--plugin", "--audio", "--levels-in", "--levels-out", "--out", "--sheet", "--size",
                               "--fps", "--duration", "--start", "--window", "--quiet"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    for (const char* value : {"1280x720", "=60", "lumagrove.so", "built-in", "to the end of the song"})
        EXPECT_NE(help.find(value), std::string::npos) << value;
    // The manual page documents the same options (a new one missed there fails here).
    const std::string manual = ReadFile(std::string(LUMAGROVE_SOURCE_DIR) + "/hosts/preview/lumagrove-preview.1");
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        const std::string option = help.substr(at, help.find_first_of(" =,\n", at) - at);
        std::string roff;  // as the page writes it, each hyphen escaped
        for (char c : option) roff += c == '-' ? "\\-" : std::string(1, c);
        EXPECT_NE(manual.find(roff), std::string::npos) << option << " is not in the manual page";
    }
}

TEST_F(PreviewInput, VersionIsTheLibrarys) {
    const std::string version = Capture(std::string(LUMAGROVE_PREVIEW_PATH) + " --version");
    const std::string header = std::to_string(LUMAGROVE_VERSION_MAJOR) + "." + std::to_string(LUMAGROVE_VERSION_MINOR) +
                               "." + std::to_string(LUMAGROVE_VERSION_PATCH);
    EXPECT_EQ(version, "lumagrove-preview " + header + "\n");
}

}  // namespace
