// Songs read from real files: streamed reads against whole-file reads, the
// channel sides, and every kind of bad file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/base/host_error.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "toolbox/audio/audio_file.h"
#include "toolbox/audio/audio_source.h"
#include "toolbox/audio/streamed_source.h"

namespace {

// A stereo song with different content on each side, long enough for many reads.
std::vector<Channel> TestSong(int rate, double seconds) {
    Channel left = Sine(220, 0.5, rate, seconds), right = Noise(0.3, rate, seconds, 11);
    for (size_t i = 0; i < left.size(); ++i) left[i] += 0.25f * static_cast<float>(i % 97) / 97.0f;
    return {left, right};
}

// Reads [start, start + count) from `song` and from the whole-file samples
// (zeros outside the song) and compares them sample for sample.
void ExpectSameWindow(AudioSource& song, const std::vector<float>& whole, int64_t start, int64_t count) {
    const int channels = song.channels();
    std::vector<float> got(static_cast<size_t>(count * channels), -7.0f);
    song.Read(start, count, got.data());
    const int64_t frames = static_cast<int64_t>(whole.size()) / channels;
    for (int64_t i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c) {
            const int64_t at = start + i;
            const float want = at >= 0 && at < frames ? whole[static_cast<size_t>(at * channels + c)] : 0.0f;
            ASSERT_EQ(got[static_cast<size_t>(i * channels + c)], want)
                << "frame " << at << " channel " << c << " (read of " << count << " from " << start << ")";
        }
}

// A test song in a format: written by libsndfile (`format`), or by the ffmpeg
// command from a WAV (`ffmpeg`, its output options).
struct FormatCase {
    const char* name;
    int format;
    const char* ffmpeg;
    bool lossless;
};

std::string WriteCase(const ScratchDir& dir, const FormatCase& c, int rate, const std::vector<Channel>& song) {
    const std::string path = dir.File(std::string("song.") + c.name);
    if (!c.ffmpeg) {
        WriteSound(path, c.format, rate, song);
        return path;
    }
    const std::string wav = dir.File("source.wav");
    WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, song);
    EncodeWithFfmpeg(wav, path, c.ffmpeg);
    return path;
}

// The whole song read in order from its start, by a decoder of its own.
std::vector<float> DecodeFromTheStart(const std::string& path) {
    std::unique_ptr<AudioSource> song = OpenAudioFile(path);
    std::vector<float> whole(static_cast<size_t>(song->frameCount() * song->channels()));
    for (int64_t at = 0; at < song->frameCount(); at += 4096)
        song->Read(at, std::min<int64_t>(4096, song->frameCount() - at), &whole[static_cast<size_t>(at) * 2]);
    return whole;
}

class StreamedRead : public testing::TestWithParam<FormatCase> {};

TEST_P(StreamedRead, MatchesTheWholeFileAnywhereAndAcrossBothEnds) {
    ScratchDir dir;
    const std::string path = WriteCase(dir, GetParam(), 48000, TestSong(48000, 4.0));
    const std::vector<float> whole = DecodeFromTheStart(path);
    std::unique_ptr<AudioSource> song = OpenAudioFile(path);
    ASSERT_EQ(song->sampleRate(), 48000);
    ASSERT_EQ(song->channels(), 2);
    const int64_t end = song->frameCount();
    ASSERT_NEAR(end, 4 * 48000, 48000 / 20) << "lossy coders may pad";
    if (GetParam().lossless) {
        // Lossless: exactly the samples another decoder (libsndfile) reads.
        SF_INFO info;
        EXPECT_EQ(whole, ReadWholeSound(path, &info));
    }

    // Across both ends, wholly outside, and one read of the whole song.
    ExpectSameWindow(*song, whole, -1000, 3000);
    ExpectSameWindow(*song, whole, end - 700, 1500);
    ExpectSameWindow(*song, whole, end + 5, 100);
    ExpectSameWindow(*song, whole, -5000, 100);
    ExpectSameWindow(*song, whole, -10, end + 20);
    // Jumps back and forth.
    std::mt19937 random(3);
    for (int i = 0; i < 40; ++i) {
        const int64_t start = static_cast<int64_t>(random() % (end + 4000)) - 2000;
        ExpectSameWindow(*song, whole, start, 1 + random() % 5000);
    }
    // Frame by frame, as the analysis reads: a 2048 window every 735 frames.
    for (int64_t centre = 0; centre < end; centre += 735) ExpectSameWindow(*song, whole, centre - 1024, 2048);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StreamedRead,
    testing::Values(FormatCase{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, nullptr, true},
                    FormatCase{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, nullptr, true},
                    FormatCase{"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, nullptr, true},
                    FormatCase{"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, nullptr, false},
                    FormatCase{"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, nullptr, false},
                    FormatCase{"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, nullptr, false},
                    FormatCase{"m4a", 0, "-c:a aac -b:a 128k", false},
                    FormatCase{"alac.m4a", 0, "-c:a alac -sample_fmt s16p", false},
                    FormatCase{"wma", 0, "-c:a wmav2 -b:a 128k", false},
                    FormatCase{"mkv", 0,
                               "-f lavfi -i color=c=red:s=64x48:r=25:d=4 -map 1:v -map 0:a -c:v mpeg4 "
                               "-c:a libvorbis -shortest",
                               false},
                    FormatCase{"mp4", 0,
                               "-f lavfi -i color=c=blue:s=64x48:r=25:d=4 -map 1:v -map 0:a -c:v mpeg4 "
                               "-c:a aac",
                               false}),
    [](const testing::TestParamInfo<FormatCase>& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

TEST(StreamedSource, SamplesAreFiniteAndWithinFullScale) {
    ScratchDir dir;
    const std::string path = dir.File("wild.wav");
    const float inf = std::numeric_limits<float>::infinity();
    WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000,
               {{0.5f, std::nanf(""), inf, -inf, 3.0f, -2.5f, -0.25f, 1.0f}});
    std::unique_ptr<AudioSource> song = OpenAudioFile(path);
    std::vector<float> got(8);
    song->Read(0, 8, got.data());
    EXPECT_EQ(got, (std::vector<float>{0.5f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f, -0.25f, 1.0f}));
}

TEST(AudioFile, ReadsEveryCommonFormatAndRate) {
    ScratchDir dir;
    struct Case {
        const char* file;
        int format, rate, channels;
        const char* ffmpeg;  // written from a WAV by the ffmpeg command with these options
    };
    const char* withVideo = "-f lavfi -i color=c=green:s=64x48:r=25:d=1.5 -map 1:v -map 0:a -c:v mpeg4 -shortest";
    for (const Case& c :
         {Case{"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 1, nullptr},
          Case{"b.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 2, nullptr},
          Case{"c.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2, nullptr},
          Case{"d.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2, nullptr},
          Case{"e.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 8000, 6, nullptr},
          Case{"f.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 192000, 3, nullptr}, Case{"g.m4a", 0, 44100, 2, "-c:a aac"},
          Case{"h.m4a", 0, 96000, 1, "-c:a alac"}, Case{"i.wma", 0, 32000, 2, "-c:a wmav2"},
          Case{"j.mp4", 0, 48000, 2, "-c:a aac"}, Case{"k.mkv", 0, 44100, 6, "-c:a flac"},
          Case{"l.webm", 0, 48000, 2, "-c:a libopus -c:v libvpx"}, Case{"m.mov", 0, 22050, 1, "-c:a pcm_s16le"}}) {
        SCOPED_TRACE(c.file);
        const std::string path = dir.File(c.file);
        const std::vector<Channel> sound(c.channels, Sine(440, 0.5, c.rate, 1.5));
        if (c.ffmpeg) {
            WriteSound(dir.File("source.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, c.rate, sound);
            const std::string name = c.file;
            const bool video = name.find(".mp4") != std::string::npos || name.find(".mkv") != std::string::npos ||
                               name.find(".webm") != std::string::npos || name.find(".mov") != std::string::npos;
            const std::string options = video ? std::string(withVideo) + " " + c.ffmpeg : c.ffmpeg;
            EncodeWithFfmpeg(dir.File("source.wav"), path, options);
        } else {
            WriteSound(path, c.format, c.rate, sound);
        }
        std::unique_ptr<AudioSource> song = OpenAudioFile(path);
        EXPECT_EQ(song->sampleRate(), c.rate);
        EXPECT_EQ(song->channels(), c.channels);
        EXPECT_NEAR(song->duration(), 1.5, 0.06);  // lossy coders may pad
        std::vector<float> middle(static_cast<size_t>(c.rate / 10 * c.channels));
        song->Read(c.rate / 2, c.rate / 10, middle.data());
        float peak = 0;
        for (float v : middle) peak = std::max(peak, std::fabs(v));
        EXPECT_NEAR(peak, 0.5f, 0.05f);
    }
}

TEST(AudioFile, TheTitleAndArtistComeFromTheTags) {
    ScratchDir dir;
    WriteSound(dir.File("source.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {Sine(440, 0.5, 44100, 0.5)});
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("both.m4a"),
                     "-c:a aac -metadata title='Night Drive' -metadata artist='The Glows'");
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("title.ogg"), "-c:a libvorbis -metadata title='Only a Title'");
    EXPECT_EQ(OpenAudioFile(dir.File("both.m4a"))->title(), "The Glows - Night Drive");
    EXPECT_EQ(OpenAudioFile(dir.File("title.ogg"))->title(), "Only a Title");
    EXPECT_EQ(OpenAudioFile(dir.File("source.wav"))->title(), "");
}

TEST(AudioFile, ChannelsGoToTheSidesTheFileNames) {
    ScratchDir dir;
    const std::vector<Channel> six(6, Silence(48000, 0.1));
    // WAVE_FORMAT_EXTENSIBLE names 5.1 positions: L R C LFE BL BR.
    WriteSound(dir.File("named.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 48000, six);
    // A plain WAV names none.
    WriteSound(dir.File("plain.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, six);
    WriteSound(dir.File("mono.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, {six[0]});
    WriteSound(dir.File("stereo.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, {six[0], six[1]});

    auto sides = [&](const char* name) {
        std::unique_ptr<AudioSource> song = OpenAudioFile(dir.File(name));
        std::vector<ChannelSide> out;
        for (int c = 0; c < song->channels(); ++c) out.push_back(song->channelSide(c));
        return out;
    };
    using S = ChannelSide;
    EXPECT_EQ(sides("named.wav"), (std::vector<S>{S::kLeft, S::kRight, S::kBoth, S::kBoth, S::kLeft, S::kRight}));
    EXPECT_EQ(sides("plain.wav"), (std::vector<S>{S::kLeft, S::kRight, S::kBoth, S::kBoth, S::kBoth, S::kBoth}));
    EXPECT_EQ(sides("mono.wav"), std::vector<S>{S::kBoth});
    EXPECT_EQ(sides("stereo.wav"), (std::vector<S>{S::kLeft, S::kRight}));

    // Each side is the mean of its channels; a side no channel feeds, of all.
    auto fold = [&](const char* name, std::vector<float> frame) {
        std::unique_ptr<AudioSource> song = OpenAudioFile(dir.File(name));
        std::vector<float> stereo(2);
        SideMix(song->sides()).Fold(frame.data(), 1, stereo.data());
        return stereo;
    };
    EXPECT_EQ(fold("named.wav", {1, 2, 3, 4, 5, 6}),
              (std::vector<float>{(1 + 3 + 4 + 5) / 4.0f, (2 + 3 + 4 + 6) / 4.0f}));
    EXPECT_EQ(fold("plain.wav", {1, 2, 3, 4, 5, 6}),
              (std::vector<float>{(1 + 3 + 4 + 5 + 6) / 5.0f, (2 + 3 + 4 + 5 + 6) / 5.0f}));
    EXPECT_EQ(fold("mono.wav", {0.5f}), (std::vector<float>{0.5f, 0.5f}));
    // Three channels named front, back and side right: the mask at byte 40
    // of a WAVE_FORMAT_EXTENSIBLE header, 0x2 | 0x20 | 0x400.
    WriteSound(dir.File("rights.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 48000, {six[0], six[1], six[2]});
    OverwriteBytes(dir.File("rights.wav"), 40, {0x22, 0x04, 0x00, 0x00});
    EXPECT_EQ(sides("rights.wav"), (std::vector<S>{S::kRight, S::kRight, S::kRight}));
    EXPECT_EQ(fold("rights.wav", {3, 6, 9}), (std::vector<float>{6, 6}));
    // Layouts FFmpeg names: 5.1 in AAC (front centre, LFE, back left and right
    // after the fronts), 7.1 in FLAC (the sides too).
    WriteSound(dir.File("source.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, std::vector<Channel>(6, six[0]));
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("five.m4a"), "-c:a aac -channel_layout 5.1");
    EXPECT_EQ(sides("five.m4a"), (std::vector<S>{S::kLeft, S::kRight, S::kBoth, S::kBoth, S::kLeft, S::kRight}));
    WriteSound(dir.File("source.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, std::vector<Channel>(8, six[0]));
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("seven.flac"), "-c:a flac -channel_layout 7.1");
    EXPECT_EQ(sides("seven.flac"),
              (std::vector<S>{S::kLeft, S::kRight, S::kBoth, S::kBoth, S::kLeft, S::kRight, S::kLeft, S::kRight}));
}

// Opening `path` throws HostError with `status`, naming the file and saying `what`.
void ExpectOpenFails(const std::string& path, const std::string& what) {
    try {
        OpenAudioFile(path);
        ADD_FAILURE() << path << " opened";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kBadInput) << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
}

TEST(AudioFile, BadFilesAreRefusedAtOpenNamingTheFile) {
    ScratchDir dir;
    const std::vector<Channel> song = {Sine(440, 0.5, 44100, 2.0), Sine(660, 0.5, 44100, 2.0)};

    ExpectOpenFails(dir.File("missing.wav"), "No such file");
    ExpectOpenFails(dir.path(), "folder");
    WriteText(dir.File("empty.wav"), "");
    ExpectOpenFails(dir.File("empty.wav"), "empty");
    WriteText(dir.File("notes.mp3"), "these are my notes, not a song\n");
    ExpectOpenFails(dir.File("notes.mp3"), "not a sound file");

    WriteSound(dir.File("zero.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {Channel{}});
    ExpectOpenFails(dir.File("zero.wav"), "no sound");

    for (const char* name : {"header.wav", "header.flac", "header.ogg"}) {
        const std::string path = dir.File(name);
        const int format = std::string(name).find("wav") != std::string::npos    ? SF_FORMAT_WAV | SF_FORMAT_PCM_16
                           : std::string(name).find("flac") != std::string::npos ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                                                                 : SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        WriteSound(path, format, 44100, song);
        TruncateFile(path, 30);
        ExpectOpenFails(path, "not a sound file");
    }

    // Cut in half: the WAV header and the Ogg stream's missing end give it away.
    WriteSound(dir.File("half.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, song);
    TruncateFile(dir.File("half.wav"), FileSize(dir.File("half.wav")) / 2);
    ExpectOpenFails(dir.File("half.wav"), "truncated");
    WriteSound(dir.File("half.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, song);
    TruncateFile(dir.File("half.ogg"), FileSize(dir.File("half.ogg")) / 2);
    ExpectOpenFails(dir.File("half.ogg"), "truncated");

    // Text named as a song, a video without sound, sound in a codec there is no decoder for.
    WriteText(dir.File("notes.m4a"), "these are my notes, not a song\n");
    ExpectOpenFails(dir.File("notes.m4a"), "not a sound file");
    ASSERT_EQ(system(("ffmpeg -nostdin -loglevel error -f lavfi -i color=s=64x48:d=1 -c:v mpeg4 '" +
                      dir.File("silent.mp4") + "'")
                         .c_str()),
              0);
    ExpectOpenFails(dir.File("silent.mp4"), "has no sound");
    WriteSound(dir.File("odd.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, song);
    OverwriteBytes(dir.File("odd.wav"), 20, {0x34, 0x12});  // the format tag: a codec nobody knows
    ExpectOpenFails(dir.File("odd.wav"), "cannot decode");
}

// Reads the whole song in order, as a render would.
void ReadThrough(AudioSource& song) {
    std::vector<float> window(static_cast<size_t>(2048 * song.channels()));
    for (int64_t at = 0; at < song.frameCount(); at += 2048) song.Read(at, 2048, window.data());
}

TEST(AudioFile, DamagePartWayIsAReadErrorNamingTheFileNotGarbage) {
    ScratchDir dir;
    const std::vector<Channel> song = {Sine(440, 0.5, 44100, 3.0), Noise(0.3, 44100, 3.0, 5)};
    for (const PartWayDamage& c : PartWayDamageCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        WriteDamageCase(path, c, 44100, song);
        DamagePartWay(path, c);

        testing::internal::CaptureStderr();
        std::unique_ptr<AudioSource> opened = OpenAudioFile(path);
        std::vector<float> start(2 * 4410);
        opened->Read(0, 4410, start.data());  // the undamaged start reads
        try {
            ReadThrough(*opened);
            ADD_FAILURE() << "read to the end";
        } catch (const HostError& e) {
            EXPECT_EQ(e.fault, Fault::kFailure);
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("damaged or truncated"), std::string::npos) << e.what();
        }
        // The decoders' own complaints do not reach stderr: the error is the one line.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
}

}  // namespace

namespace {

// Sample frames ffmpeg decodes from `path`, converted to `rate` and `channels`.
int64_t DecodedFrames(const std::string& path, int rate, int channels) {
    const std::string bytes = Capture("ffmpeg -v error -i " + path + " -map 0:a -ar " + std::to_string(rate) + " -ac " +
                                      std::to_string(channels) + " -f s16le - | wc -c");
    return std::stoll(bytes) / 2 / channels;
}

// The whole song read in one pass (it throws on damage).
std::vector<float> ReadWhole(AudioSource& song) {
    std::vector<float> all(static_cast<size_t>(song.frameCount() * song.channels()));
    song.Read(0, song.frameCount(), all.data());
    return all;
}

double Rms(const std::vector<float>& samples, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

}  // namespace

// Lengths from the sound itself where the container gives no exact one:
// Matroska and WebM give the picture's when the sound stops first (a video
// that OBS or -shortest left), raw AAC an estimate from the bit rate.
TEST(SongLength, IsTheSoundsOwnWhereTheContainerGivesNoneExact) {
    ScratchDir dir;
    const Channel kick = Kicks(44100, 1.5, 0.25, 0.1);
    WriteSound(dir.File("source.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {kick, kick});
    const std::string picture = "-f lavfi -i color=c=red:s=64x48:r=25:d=3 -map 1:v -map 0:a -c:v mpeg4 ";
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("short.mkv"), picture + "-c:a libvorbis");
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("short.webm"), picture + "-c:v libvpx -c:a libopus -ar 48000");
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("raw.aac"), "-c:a aac");
    for (const char* name : {"short.mkv", "short.webm", "raw.aac"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<AudioSource> song = OpenAudioFile(dir.File(name));
        EXPECT_EQ(song->frameCount(), DecodedFrames(dir.File(name), song->sampleRate(), song->channels()));
        EXPECT_LT(song->duration(), 2.0) << "the sound's, not the picture's";
        const std::vector<float> all = ReadWhole(*song);  // no "ends early"
        EXPECT_GT(Rms(all, 0, all.size()), 0.05);
    }
    // A Matroska file cut short is still refused as truncated.
    EncodeWithFfmpeg(dir.File("source.wav"), dir.File("cut.mkv"), "-c:a flac");
    TruncateFile(dir.File("cut.mkv"), FileSize(dir.File("cut.mkv")) * 6 / 10);
    try {
        OpenAudioFile(dir.File("cut.mkv"));
        ADD_FAILURE() << "a cut file was taken";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kBadInput);
        EXPECT_NE(std::string(e.what()).find("cut.mkv is truncated"), std::string::npos) << e.what();
    }
}

// Raw AAC and MP3 joined end to end (cat), mono at 44.1 kHz then stereo at
// 48 kHz, as podcasts and radio rips are: the second part is resampled to
// the first rate and folded into its channels (the second MP3's own tags
// passed over), read to the end, the length that of the whole sound at the
// first rate.
TEST(SongLength, APartInAnotherRateAndChannelsIsConvertedAsItComes) {
    ScratchDir dir;
    WriteSound(dir.File("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, {Kicks(44100, 2.0, 0.25, 0.1)});
    const Channel kick = Kicks(48000, 2.0, 0.25, 0.1);
    WriteSound(dir.File("b.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, {kick, kick});
    for (const char* kind : {"aac", "mp3"}) {
        SCOPED_TRACE(kind);
        const std::string a = dir.File(std::string("a.") + kind), b = dir.File(std::string("b.") + kind);
        const std::string joined = dir.File(std::string("joined.") + kind);
        EncodeWithFfmpeg(dir.File("a.wav"), a, std::string("-c:a ") + (kind[0] == 'a' ? "aac" : "libmp3lame"));
        EncodeWithFfmpeg(dir.File("b.wav"), b, std::string("-c:a ") + (kind[0] == 'a' ? "aac" : "libmp3lame"));
        Capture("cat " + a + " " + b + " > " + joined);
        std::unique_ptr<AudioSource> song = OpenAudioFile(joined);
        EXPECT_EQ(song->sampleRate(), 44100);
        EXPECT_EQ(song->channels(), 1);
        EXPECT_NEAR(song->duration(), 4.05, 0.1);
        const std::vector<float> all = ReadWhole(*song);  // to the end, no "changes part-way"
        // Each part as if it were alone: the first part's samples are its
        // own. Raw AAC's second part is the second file converted on its own
        // to the first's rate and channels (by ffmpeg's own resampler), but
        // for the resampler's first 50 ms; an MP3's is shifted by the second
        // file's own priming, which a file joined by cat cannot say (players
        // play it too): its kicks are checked below.
        std::unique_ptr<AudioSource> first = OpenAudioFile(a);
        const std::vector<float> alone = ReadWhole(*first);
        double worst = 0;
        for (size_t i = 0; i < alone.size(); ++i) worst = std::max(worst, double(std::fabs(alone[i] - all[i])));
        EXPECT_LT(worst, 1e-4) << "the first part";
        if (kind[0] == 'a') {
            Capture("ffmpeg -v error -y -i " + b + " -ar 44100 -ac 1 -c:a pcm_f32le " + dir.File("b44.wav"));
            std::unique_ptr<AudioSource> converted = OpenAudioFile(dir.File("b44.wav"));
            const std::vector<float> b44 = ReadWhole(*converted);
            const size_t from = alone.size(), settle = 2205;
            const size_t n = std::min(b44.size(), all.size() - from);
            ASSERT_GT(n, 44100u);
            worst = 0;
            for (size_t i = settle; i + settle < n; ++i)
                worst = std::max(worst, double(std::fabs(b44[i] - all[from + i])));
            EXPECT_LT(worst, 1e-4) << "the second part";
        }
        // Both parts' kicks: loud at 0.25 s into each, quiet between.
        const size_t second = static_cast<size_t>(song->frameCount() - 44100 * 2);
        for (size_t part : {size_t(0), second}) {
            EXPECT_GT(Rms(all, part + 11025, part + 11025 + 2205), 0.3) << "a kick at " << part;
            EXPECT_LT(Rms(all, part + 30000, part + 32000), 0.05) << "quiet after it";
        }
    }
}
