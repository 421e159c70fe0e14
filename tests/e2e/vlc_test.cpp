// The lumagrove visualisation in the real VLC 3.0 (cvlc, run as an
// unprivileged user: VLC refuses root), headless: its sound to a WAV (the
// afile output), its pictures to a file (the yuv output in RV32), the
// module's own log read back. Songs written by the test.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/support/memcheck_log.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "tests/support/throw_log.h"

namespace {

constexpr int kFps = 30;

struct Size {
    int width, height;
};
constexpr Size kSmall = {96, 54};  // 16:9, not square

// Where VLC finds the module: the build's folder, or with
// LUMAGROVE_VLC_MODULES=system its own (an installed package's).
std::string PluginPath() {
    const char* modules = getenv("LUMAGROVE_VLC_MODULES");
    return modules && std::string(modules) == "system" ? "" : " VLC_PLUGIN_PATH=" LUMAGROVE_VLC_DIR;
}

struct VlcRun {
    int status = -1;
    std::string log;
    std::vector<std::vector<uint8_t>> pictures;  // BGRX, top row first
    std::map<long, double> dates;                // frame index -> its picture's date, seconds
    std::vector<std::pair<long, double>> drawn;  // every frame drawn, in order: index, date
    size_t skipped = 0;                          // frames too late to be shown
};

// cvlc as `nobody`, playing `songs` (a playlist) with the visualisation.
// `remote`, if given, is a shell command whose output drives VLC's remote
// control interface ("pause", "seek 4", ...); `env` is more of VLC's environment.
// VLC keeps every picture, late or not: on a busy machine it would drop the
// late ones, and the tests count what the module drew.
VlcRun RunVlc(const ScratchDir& dir, const std::vector<std::string>& songs, const std::string& extra = "",
              const std::string& remote = "", Size size = kSmall, const std::string& env = "") {
    chmod(dir.path().c_str(), 0777);
    const std::string vlc = remote.empty() ? "cvlc" : "vlc -I oldrc --rc-fake-tty";
    std::string command =
        "cd " + dir.path() + " && " + (remote.empty() ? "" : "(" + remote + ") | ") +
        "runuser -u nobody -- env HOME=" + dir.path() + " " + env + PluginPath() + " timeout 120 " + vlc +
        " -vv --play-and-exit --no-video-title-show --no-drop-late-frames --no-skip-frames --audio-visual=lumagrove"
        " --lumagrove-width=" +
        std::to_string(size.width) + " --lumagrove-height=" + std::to_string(size.height) +
        " --lumagrove-fps=" + std::to_string(kFps) + " --aout=afile --audiofile-file=" + dir.File("sound.wav") +
        " --vout=yuv --yuv-chroma=RV32 --yuv-file=" + dir.File("pictures.raw") + " " + extra;
    for (const std::string& song : songs) command += " " + song;
    VlcRun run;
    run.status = system((command + " > " + dir.File("log.txt") + " 2>&1").c_str()) >> 8;
    run.log = ReadFile(dir.File("log.txt"));
    // The yuv output: a header line, then "FRAME\n" and the picture, each.
    const std::string raw = ReadFile(dir.File("pictures.raw"));
    const size_t bytes = static_cast<size_t>(size.width) * size.height * 4;
    const size_t header = raw.find('\n');
    for (size_t at = header + 1; header != std::string::npos && at + 6 + bytes <= raw.size(); at += 6 + bytes) {
        EXPECT_EQ(raw.compare(at, 6, "FRAME\n"), 0) << "at byte " << at;
        run.pictures.emplace_back(raw.begin() + static_cast<long>(at + 6),
                                  raw.begin() + static_cast<long>(at + 6 + bytes));
    }
    // The module's "frame K at T s of sound, dated D".
    for (size_t at = run.log.find("] lumagrove visualization debug: frame "); at != std::string::npos;
         at = run.log.find("] lumagrove visualization debug: frame ", at + 1)) {
        long frame = 0;
        double sound = 0;
        long long date = 0;
        if (sscanf(run.log.c_str() + at, "] lumagrove visualization debug: frame %ld at %lf s of sound, dated %lld",
                   &frame, &sound, &date) == 3)
            run.dates[frame] = date / 1e6, run.drawn.push_back({frame, date / 1e6});
    }
    for (size_t at = run.log.find(" skipped: too late"); at != std::string::npos;
         at = run.log.find(" skipped: too late", at + 1))
        ++run.skipped;
    return run;
}

// How much glow a picture shows: its pixels whose channels differ (the
// outline is grey, the background black).
int Glow(const std::vector<uint8_t>& bgrx) {
    int coloured = 0;
    for (size_t i = 0; i + 3 < bgrx.size(); i += 4) {
        const int b = bgrx[i], g = bgrx[i + 1], r = bgrx[i + 2];
        coloured += std::max({r, g, b}) - std::min({r, g, b}) > 40;
    }
    return coloured;
}

std::string WriteKicks(const ScratchDir& dir, const std::string& name, int format, int rate, int channels,
                       double seconds) {
    const Channel kick = Kicks(rate, seconds, 0.25, 0.1);
    const std::string path = dir.File(name);
    WriteSound(path, format, rate, std::vector<Channel>(static_cast<size_t>(channels), kick));
    return path;
}

double SoundSeconds(const std::string& wav) {
    SF_INFO info = {};
    const std::vector<float> samples = ReadWholeSound(wav, &info);
    return info.samplerate ? double(samples.size()) / info.channels / info.samplerate : 0.0;
}

// A kick every half second from 0.25 s: the glows peak with each, the
// pictures are dated a frame apart on the sound's clock, and the sound
// plays whole. Every frame is drawn or, too late to be shown, skipped: the
// first frame, which the renderer's first use makes slow, takes a few with
// it (more on a busy machine), and the counts below leave room for that.
TEST(Vlc, TheGlowsFollowTheBeatsAndEachPictureIsDatedWithItsSound) {
    ScratchDir dir;
    const std::string song = WriteKicks(dir, "kicks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 4.0);
    const Size size = {320, 180};
    const VlcRun run = RunVlc(dir, {song}, "", "", size);
    ASSERT_EQ(run.status, 0) << run.log.substr(run.log.size() > 3000 ? run.log.size() - 3000 : 0);
    EXPECT_NEAR(SoundSeconds(dir.File("sound.wav")), 4.0, 0.05) << "the sound passes whole";
    EXPECT_EQ(run.drawn.size() + run.skipped, 120u) << "every frame drawn or skipped";
    ASSERT_GE(run.pictures.size(), 60u) << "of 120 frames";
    // The pictures are the frames drawn, in order (the last few may not be
    // shown before VLC ends): picture i is frame drawn[i].
    ASSERT_LE(run.pictures.size(), run.drawn.size());
    // Peaks of glow, each a local maximum well above the quiet between kicks.
    std::vector<size_t> peaks;
    for (size_t i = 1; i + 1 < run.pictures.size(); ++i) {
        const int g = Glow(run.pictures[i]);
        if (g > Glow(run.pictures[i - 1]) && g >= Glow(run.pictures[i + 1]) &&
            g > 2 * Glow(run.pictures[std::min(i + 8, run.pictures.size() - 1)]))
            peaks.push_back(i);
    }
    ASSERT_GE(peaks.size(), 6u);
    // The picture of a kick, for docs/vlc.md (LUMAGROVE_VLC_PICTURE).
    const std::vector<uint8_t>& kick = run.pictures[peaks[2]];
    FILE* raw = fopen(dir.File("kick.bgr0").c_str(), "wb");
    ASSERT_NE(raw, nullptr);
    fwrite(kick.data(), 1, kick.size(), raw);
    fclose(raw);
    Capture("ffmpeg -v error -y -f rawvideo -pix_fmt bgr0 -s 320x180 -i " + dir.File("kick.bgr0") +
            " " LUMAGROVE_VLC_PICTURE);
    // Kicks 15 frames apart, wherever every frame from a peak's neighbour
    // to the next peak's was drawn (one skipped could hold the peak itself).
    size_t spaced = 0;
    for (size_t p = 1; p < peaks.size(); ++p) {
        const size_t from = peaks[p - 1] - 1, to = std::min(peaks[p] + 1, run.pictures.size() - 1);
        if (run.drawn[to].first - run.drawn[from].first != static_cast<long>(to - from)) continue;
        ++spaced;
        EXPECT_NEAR(double(run.drawn[peaks[p]].first - run.drawn[peaks[p - 1]].first), 15.0, 2.0)
            << "a kick every 15 frames, at pictures " << peaks[p - 1] << " and " << peaks[p];
    }
    EXPECT_GE(spaced, 3u) << "kicks with every frame between them drawn";
    // Frame k is dated k / fps after frame 0: the date of its sound.
    ASSERT_GE(run.dates.size(), 60u);
    const double first = run.dates.begin()->second - run.dates.begin()->first / double(kFps);
    double worst = 0;
    for (const auto& [frame, date] : run.dates) worst = std::max(worst, std::abs(date - first - frame / double(kFps)));
    EXPECT_LT(worst, 1.0 / kFps) << "within a frame of its sound's play date";
}

// The module unwinds no C++ exception from its start to its end: it runs in
// VLC's process, beside whatever unwinder VLC's other modules brought.
TEST(Vlc, TheModuleThrowsNoExceptionFromItsStartToItsEnd) {
    ScratchDir dir;
    const std::string song = WriteKicks(dir, "kicks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.5);
    const std::string log = dir.File("throws.log");
    const VlcRun run = RunVlc(dir, {song}, "", "", kSmall, ThrowLogEnvironment(log));
    ASSERT_EQ(run.status, 0) << run.log.substr(run.log.size() > 3000 ? run.log.size() - 3000 : 0);
    EXPECT_GE(run.drawn.size(), 10u) << "of 45 frames";
    ASSERT_TRUE(ThrowLogLoaded(ReadFile(log))) << ReadFile(log);
    EXPECT_EQ(ThrowsFrom(ReadFile(log)), std::vector<std::string>{});
}

// The pictures are the preview host's frames for the same song and times.
TEST(Vlc, ThePicturesAreThoseOfThePreviewHost) {
    ScratchDir dir;
    const std::string song = WriteKicks(dir, "kicks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 2.0);
    const VlcRun run = RunVlc(dir, {song});
    ASSERT_EQ(run.status, 0);
    const Outcome preview = RunPreview({"--audio", song, "--out", dir.File("preview"), "--size",
                                        std::to_string(kSmall.width) + "x" + std::to_string(kSmall.height), "--fps",
                                        std::to_string(kFps), "--quiet"});
    ASSERT_EQ(preview.status, 0) << preview.err;
    std::vector<std::vector<uint8_t>> frames;
    for (const std::string& name : ListFolder(dir.File("preview")))
        frames.push_back(ReadPng(dir.File("preview/" + name)).rgb);
    ASSERT_EQ(frames.size(), 60u);
    // Each picture is one of the preview's frames, in order (VLC may drop
    // one that comes too late to show).
    size_t matched = 0, next = 0;
    for (const std::vector<uint8_t>& picture : run.pictures) {
        std::vector<uint8_t> rgb;
        for (size_t i = 0; i + 3 < picture.size(); i += 4)
            rgb.insert(rgb.end(), {picture[i + 2], picture[i + 1], picture[i]});
        for (size_t k = next; k < frames.size(); ++k)
            if (frames[k] == rgb) {
                ++matched;
                next = k + 1;
                break;
            }
    }
    EXPECT_GE(matched, run.pictures.size() * 9 / 10) << "of " << run.pictures.size() << " pictures";
    EXPECT_GE(matched, 30u) << "of 60 frames";
}

// A playlist of a mono song at 44.1 kHz and a 5.1 song at 48 kHz: both are
// drawn, each in its own format, and both play whole.
TEST(Vlc, APlaylistOfTwoFormatsIsDrawnWhole) {
    ScratchDir dir;
    const std::string mono = WriteKicks(dir, "mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 2.0);
    const std::string surround = WriteKicks(dir, "surround.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 6, 2.0);
    const VlcRun run = RunVlc(dir, {mono, surround});
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.log.find("lumagrove visualization debug: sound at 44100 Hz, 1 channel"), std::string::npos);
    EXPECT_NE(run.log.find("lumagrove visualization debug: sound at 48000 Hz, 6 channels"), std::string::npos);
    // Frames drawn over both songs (each song's frames count from its own
    // start); the yuv output starts its file afresh for each, so the
    // pictures there are the second song's.
    size_t drawn = 0;
    for (size_t at = run.log.find(" s of sound, dated "); at != std::string::npos;
         at = run.log.find(" s of sound, dated ", at + 1))
        ++drawn;
    EXPECT_GE(drawn, 60u) << "of 120 frames";
    EXPECT_GE(run.pictures.size(), 30u) << "of 60 frames";
    int glowing = 0;
    for (const auto& picture : run.pictures) glowing += Glow(picture) > 20;
    EXPECT_GT(glowing, 10);
}

// Paused for a second, then a seek forward: the pictures after the pause
// are dated a second later than their sound alone would put them, and after
// the seek the frames start again from the sound that comes, still drawn.
TEST(Vlc, APauseAndASeekAreFollowed) {
    ScratchDir dir;
    const std::string song = WriteKicks(dir, "kicks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 6.0);
    const VlcRun run = RunVlc(dir, {song}, "",
                              "sleep 1.5; echo pause; sleep 1; echo pause; sleep 1; echo 'seek 4'; sleep 5; echo quit");
    ASSERT_EQ(run.status, 0);
    const size_t flush = run.log.find("lumagrove visualization debug: flushed");
    ASSERT_NE(flush, std::string::npos) << "the seek flushed the filter";
    // Before the seek: one jump of about the pause in the dates of frames a frame apart.
    size_t restart = 0;
    double jump = 0;
    for (size_t i = 1; i < run.drawn.size(); ++i) {
        if (run.drawn[i].first < run.drawn[i - 1].first) {
            restart = i;
            break;
        }
        const double gap = (run.drawn[i].second - run.drawn[i - 1].second) -
                           (run.drawn[i].first - run.drawn[i - 1].first) / double(kFps);
        jump = std::max(jump, gap);
    }
    EXPECT_NEAR(jump, 1.0, 0.3) << "the pause shifts the dates of what follows";
    ASSERT_GT(restart, 0u) << "frames start again after the seek";
    EXPECT_EQ(run.drawn[restart].first, 0);
    EXPECT_GE(run.drawn.size() - restart, 40u) << "the 2 s after the seek are drawn";
}

// A plug-in library that is not there: one line in VLC's log naming it, no
// pictures, and the sound still plays whole.
TEST(Vlc, AMissingPluginIsOneLineAndTheSoundPlaysOn) {
    ScratchDir dir;
    const std::string song = WriteKicks(dir, "kicks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 1.5);
    const VlcRun run = RunVlc(dir, {song}, "--lumagrove-plugin=/nonexistent/lumagrove.so");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.log.find("lumagrove visualization error: cannot load plug-in /nonexistent/lumagrove.so"),
              std::string::npos)
        << run.log.substr(run.log.size() > 3000 ? run.log.size() - 3000 : 0);
    EXPECT_TRUE(run.pictures.empty());
    EXPECT_NEAR(SoundSeconds(dir.File("sound.wav")), 1.5, 0.05);
}

#ifdef LUMAGROVE_VALGRIND_SUPPRESSIONS
// Every report of valgrind's memcheck over VLC playing a song with the
// visualisation, as the lines of one record each.
std::vector<std::string> Records(const std::string& log) {
    std::vector<std::string> records;
    std::string current;
    size_t start = 0;
    for (size_t end = log.find('\n'); end != std::string::npos; start = end + 1, end = log.find('\n', start)) {
        const std::string line = log.substr(start, end - start);
        const size_t body = line.find("== ");
        const std::string text = body == std::string::npos ? "" : line.substr(body + 3);
        if (text.empty()) {
            if (!current.empty()) records.push_back(current);
            current.clear();
        } else {
            current += text + "\n";
        }
    }
    return records;
}

// Whether a record is the module's own: an error with a frame of the
// project's code among its first, or memory the project's code allocated
// itself (its frame right above the allocator), not memory VLC allocated
// inside a call the module made.
bool Ours(const std::string& record) {
    const bool leak = record.find("are definitely lost") != std::string::npos ||
                      record.find("are indirectly lost") != std::string::npos;
    if (!leak && record.find("ERROR SUMMARY") == std::string::npos && record.find(" at 0x") != std::string::npos &&
        (record.find("Invalid") == 0 || record.find("Conditional") == 0 || record.find("Use of") == 0 ||
         record.find("Syscall") == 0 || record.find("Mismatched") == 0)) {
        std::string frames = record.substr(0, 1200);
        return frames.find("lumagrove_vlc.cpp") != std::string::npos || frames.find("/host/") != std::string::npos;
    }
    if (!leak) return false;
    const size_t alloc = record.find(" at 0x");
    const size_t next = record.find(" by 0x", alloc);
    if (next == std::string::npos) return false;
    const std::string caller = record.substr(next, record.find('\n', next) - next);
    return caller.find("lumagrove_vlc.cpp") != std::string::npos || caller.find("/host/") != std::string::npos ||
           caller.find("/plugin/") != std::string::npos;
}

// Memcheck over a whole play: no error, and no memory lost, in the
// module's own code (VLC's own leaks are VLC's). The WAV is opened by VLC's
// own WAV demuxer alone: probing every demuxer would load VLC's FFmpeg one,
// and with it libhwy (tests/support/memcheck_log.h).
TEST(VlcValgrind, NoErrorInTheModulesOwnCode) {
    ScratchDir dir;
    chmod(dir.path().c_str(), 0777);
    const std::string song = WriteKicks(dir, "kicks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 3.0);
    const std::string command = "cd " + dir.path() + " && runuser -u nobody -- env HOME=" + dir.path() +
                                " VLC_PLUGIN_PATH=" LUMAGROVE_VLC_DIR
                                " timeout 500 valgrind -v --keep-debuginfo=yes --leak-check=full --num-callers=40"
                                " --suppressions=" LUMAGROVE_VALGRIND_SUPPRESSIONS " --log-file=" +
                                dir.File("memcheck.txt") +
                                " /usr/bin/vlc -I dummy -vv --play-and-exit --no-video-title-show --demux=wav"
                                " --audio-visual=lumagrove --lumagrove-width=96 --lumagrove-height=54"
                                " --aout=afile --audiofile-file=" +
                                dir.File("sound.wav") +
                                " --vout=yuv --yuv-chroma=RV32 --yuv-file=" + dir.File("pictures.raw") + " " + song +
                                " > " + dir.File("log.txt") + " 2>&1";
    const int status = system(command.c_str()) >> 8;
    const std::string memcheck = ReadFile(dir.File("memcheck.txt"));
    EXPECT_EQ(NotRunnableEverywhere(MappedObjects(memcheck)), std::vector<std::string>{})
        << "in VLC under memcheck: valgrind stops at its start-up code where CPUID hides RDTSCP";
    ASSERT_EQ(status, 0) << memcheck.substr(memcheck.size() > 3000 ? memcheck.size() - 3000 : 0);
    const std::string log = ReadFile(dir.File("log.txt"));
    ASSERT_NE(log.find(" s of sound, dated "), std::string::npos) << "frames were drawn under memcheck";
    ASSERT_NE(memcheck.find("ERROR SUMMARY"), std::string::npos) << memcheck;
    int ours = 0;
    for (const std::string& record : Records(memcheck))
        if (Ours(record)) {
            ++ours;
            ADD_FAILURE() << record;
        }
    EXPECT_EQ(ours, 0);
}
#endif

}  // namespace
