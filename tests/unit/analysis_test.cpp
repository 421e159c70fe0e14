// The analysis on signals made here and written to real files: which bands a
// sound lights, the sides, silence, the range on wild input, the timing of the
// envelopes, the gain, and the waveform and spectrum in the host's data.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/analysis/audio_block.h"
#include "host/analysis/level_source.h"
#include "tests/support/song_analysis.h"
#include "tests/support/sound_files.h"
#include "toolbox/audio/audio_file.h"
#include "toolbox/audio/audio_source.h"

namespace {

using Levels = std::array<float, 16>;
constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// The levels of every frame of the file at `fps`.
std::vector<Levels> AnalyseFile(const std::string& path, double fps = 60) {
    std::unique_ptr<AudioSource> song = OpenAudioFile(path);
    std::unique_ptr<LevelSource> analysis = AnalyseSong(*song);
    EXPECT_DOUBLE_EQ(analysis->duration(), song->duration());
    static AudioBlock block;
    std::vector<Levels> frames;
    for (int f = 0; f < analysis->duration() * fps; ++f) {
        analysis->Fill(f / fps, &block);
        Levels levels;
        std::copy(block.levels, block.levels + 16, levels.begin());
        frames.push_back(levels);
    }
    return frames;
}

// Levels of one frame, for messages.
std::string Show(const Levels& levels) {
    std::string text;
    for (float v : levels) text += std::to_string(v).substr(0, 5) + " ";
    return text;
}

struct BandCase {
    double hz;
    int rate;
    int band;
};

class SineBand : public testing::TestWithParam<BandCase> {};

TEST_P(SineBand, LightsItsBandFarAboveTheOthersOnBothSidesOfAMonoSong) {
    const BandCase c = GetParam();
    ScratchDir dir;
    WriteSound(dir.File("sine.wav"), kWav16, c.rate, {Sine(c.hz, 0.5, c.rate, 2.0)});
    const std::vector<Levels> frames = AnalyseFile(dir.File("sine.wav"));
    for (size_t f = 30; f < frames.size() - 10; ++f) {
        const Levels& l = frames[f];
        ASSERT_NEAR(l[c.band], kLevelTarget, 0.01f) << "frame " << f << ": " << Show(l);
        for (int b = 0; b < kBands; ++b) {
            if (b != c.band) {
                ASSERT_LT(l[b], l[c.band] / 4) << "band " << b << ", frame " << f << ": " << Show(l);
            }
            ASSERT_EQ(l[b], l[kBands + b]) << "a mono song feeds both sides alike";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bands, SineBand,
                         testing::Values(BandCase{60, 48000, 0}, BandCase{10000, 48000, 7}, BandCase{60, 44100, 0},
                                         BandCase{1000, 44100, 4}, BandCase{250, 192000, 2}, BandCase{12000, 192000, 7},
                                         BandCase{2500, 8000, 5}));

TEST(Analysis, SilenceGivesExactZerosEverywhere) {
    ScratchDir dir;
    WriteSound(dir.File("quiet.wav"), kWav16, 44100, {Silence(44100, 1.0), Silence(44100, 1.0)});
    std::unique_ptr<AudioSource> song = OpenAudioFile(dir.File("quiet.wav"));
    std::unique_ptr<LevelSource> analysis = AnalyseSong(*song);
    AudioBlock block;
    memset(&block, 0x55, sizeof block);
    for (int f = 0; f < 30; ++f) {
        analysis->Fill(f / 30.0, &block);
        for (int i = 0; i < 16; ++i) ASSERT_EQ(block.levels[i], 0.0f) << "frame " << f;
        for (unsigned char byte : block.hostData) ASSERT_EQ(byte, 0) << "waveform and spectrum are zero";
    }
}

TEST(Analysis, SoundOnOneSideFillsThatGroupOnly) {
    ScratchDir dir;
    Channel music = Sine(70, 0.4, 48000, 1.5), quiet = Silence(48000, 1.5);
    const Channel hats = Noise(0.2, 48000, 1.5, 9);
    for (size_t i = 0; i < music.size(); ++i) music[i] += hats[i];
    for (int loud = 0; loud < 2; ++loud) {
        SCOPED_TRACE(loud == 0 ? "left" : "right");
        const std::string path = dir.File(loud == 0 ? "left.wav" : "right.wav");
        WriteSound(path, kWav16, 48000,
                   loud == 0 ? std::vector<Channel>{music, quiet} : std::vector<Channel>{quiet, music});
        const std::vector<Levels> frames = AnalyseFile(path);
        for (size_t f = 10; f < frames.size(); ++f) {
            float sounding = 0;
            for (int b = 0; b < kBands; ++b) {
                ASSERT_EQ(frames[f][(1 - loud) * kBands + b], 0.0f) << "frame " << f << ": " << Show(frames[f]);
                sounding = std::max(sounding, frames[f][loud * kBands + b]);
            }
            ASSERT_GT(sounding, 0.3f) << "frame " << f << ": " << Show(frames[f]);
        }
    }
}

TEST(Analysis, LevelsStayFiniteAndInRangeOnClippedNoise) {
    ScratchDir dir;
    const float inf = std::numeric_limits<float>::infinity();
    Channel wild = Noise(8.0, 44100, 2.0, 4);  // far past full scale: clipped
    for (size_t i = 0; i < wild.size(); i += 301) wild[i] = i % 2 ? inf : std::nanf("");
    WriteSound(dir.File("float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, {wild, Noise(1.0, 44100, 2.0, 5)});
    WriteSound(dir.File("pcm.wav"), kWav16, 44100, {Noise(4.0, 44100, 2.0, 6)});  // clipped on writing
    for (const char* name : {"float.wav", "pcm.wav"}) {
        SCOPED_TRACE(name);
        const std::vector<Levels> frames = AnalyseFile(dir.File(name), 240);
        float loudest = 0;
        for (const Levels& l : frames)
            for (float v : l) {
                ASSERT_TRUE(std::isfinite(v));
                ASSERT_GE(v, 0.0f);
                ASSERT_LE(v, kLevelCap);
                loudest = std::max(loudest, v);
            }
        EXPECT_NEAR(loudest, kLevelTarget, 0.01f);
    }
}

TEST(Analysis, SixChannelsFollowTheirSides) {
    ScratchDir dir;
    // 5.1 named in the file: a tone on the front left, another on the back
    // right; each side is the mean of its four channels (L C LFE BL, R C LFE BR).
    std::vector<Channel> six(6, Silence(48000, 1.5));
    six[0] = Sine(1000, 0.5, 48000, 1.5);
    six[5] = Sine(1300, 0.25, 48000, 1.5);
    WriteSound(dir.File("surround.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 48000, six);
    const Levels l = AnalyseFile(dir.File("surround.wav"))[60];
    EXPECT_NEAR(l[4], kLevelTarget, 0.01f) << Show(l);
    EXPECT_NEAR(l[kBands + 4], kLevelTarget / 2, 0.01f) << Show(l);
    for (int b = 0; b < 3; ++b) EXPECT_EQ(l[b] + l[kBands + b], 0.0f) << Show(l);

    // A channel that no side names (the centre) feeds both.
    std::vector<Channel> centre(6, Silence(48000, 1.5));
    centre[2] = Sine(1000, 0.5, 48000, 1.5);
    WriteSound(dir.File("centre.wav"), kWav16, 48000, centre);
    const Levels c = AnalyseFile(dir.File("centre.wav"))[60];
    EXPECT_NEAR(c[4], kLevelTarget, 0.01f) << Show(c);
    EXPECT_EQ(c[kBands + 4], c[4]) << Show(c);
}

TEST(Analysis, BandsAndSpectrumAboveHalfTheSampleRateStayDark) {
    ScratchDir dir;
    WriteSound(dir.File("phone.wav"), kWav16, 8000, {Noise(0.9, 8000, 1.5, 2)});  // sound up to 4 kHz
    for (const Levels& l : AnalyseFile(dir.File("phone.wav"))) {
        ASSERT_EQ(l[7], 0.0f) << "7566 Hz and up is past 4 kHz";
        ASSERT_GT(l[6], 0.0f) << "3578 Hz to 4 kHz is there";
    }
    std::unique_ptr<AudioSource> song = OpenAudioFile(dir.File("phone.wav"));
    std::unique_ptr<LevelSource> analysis = AnalyseSong(*song);
    AudioBlock block;
    HostAudioData data;
    analysis->Fill(0.7, &block);
    LoadHostData(block, &data);
    for (int i = 0; i < kSpectrumPoints; ++i) {
        if (SpectrumPointHz(i) >= 4000) {
            ASSERT_EQ(data.spectrum[0][i], 0.0f) << SpectrumPointHz(i) << " Hz";
        } else if (SpectrumPointHz(i) > 100) {
            ASSERT_GT(data.spectrum[0][i], 0.0f) << SpectrumPointHz(i) << " Hz";
        }
    }
}

TEST(Analysis, AttackIsFastReleaseSlowerAndTheTailEndsInZero) {
    ScratchDir dir;
    // 1 s quiet, 0.5 s of 60 Hz, 3 s quiet.
    Channel burst = Silence(48000, 1.0);
    const Channel tone = Sine(60, 0.5, 48000, 0.5), after = Silence(48000, 3.0);
    burst.insert(burst.end(), tone.begin(), tone.end());
    burst.insert(burst.end(), after.begin(), after.end());
    WriteSound(dir.File("burst.wav"), kWav16, 48000, {burst});
    const std::vector<Levels> frames = AnalyseFile(dir.File("burst.wav"), 100);

    EXPECT_EQ(frames[95][0], 0.0f) << "before the window reaches the tone";
    EXPECT_GT(frames[106][0], 0.8f * kLevelTarget) << "60 ms after the onset";
    // After the tone, half the window still holds it at 1.5 s; then the release.
    const float ending = frames[152][0];
    EXPECT_GT(ending, 0.5f * kLevelTarget);
    const float tenthLater = frames[162][0];
    EXPECT_GT(tenthLater, 0.2f * ending) << "the release takes longer than a frame or two";
    EXPECT_LT(tenthLater, 0.8f * ending) << "but it does let go";
    EXPECT_EQ(frames[400][0], 0.0f) << "silence again: exactly 0";
}

TEST(Analysis, ATimeThatGoesBackStartsAfreshAsOnAFirstFrame) {
    ScratchDir dir;
    Channel song = Sine(60, 0.5, 44100, 3.0);
    const Channel hiss = Noise(0.1, 44100, 3.0, 8);
    for (size_t i = 0; i < song.size(); ++i) song[i] = i < 44100 ? hiss[i] : song[i] + hiss[i];
    WriteSound(dir.File("seek.wav"), kWav16, 44100, {song});
    std::unique_ptr<AudioSource> played = OpenAudioFile(dir.File("seek.wav")),
                                 fresh = OpenAudioFile(dir.File("seek.wav"));
    std::unique_ptr<LevelSource> a = AnalyseSong(*played), b = AnalyseSong(*fresh);
    AudioBlock afterSeek, first;
    for (int f = 0; f < 75; ++f) a->Fill(f / 30.0, &afterSeek);  // the tone sets the gain
    a->Fill(0.5, &afterSeek);
    b->Fill(0.5, &first);
    EXPECT_EQ(memcmp(&afterSeek, &first, sizeof first), 0);
    EXPECT_NEAR(*std::max_element(first.levels, first.levels + 16), kLevelTarget, 0.01f);
}

TEST(Analysis, GainFollowsTheSongButDoesNotPumpUpAFaintOne) {
    ScratchDir dir;
    WriteSound(dir.File("loud.wav"), kWav16, 44100, {Sine(1000, 0.9, 44100, 1.0)});
    WriteSound(dir.File("soft.wav"), kWav16, 44100, {Sine(1000, 0.05, 44100, 1.0)});
    WriteSound(dir.File("faint.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, {Sine(1000, 0.0005, 44100, 1.0)});
    EXPECT_NEAR(AnalyseFile(dir.File("loud.wav"))[40][4], kLevelTarget, 0.01f);
    EXPECT_NEAR(AnalyseFile(dir.File("soft.wav"))[40][4], kLevelTarget, 0.01f);
    const float faint = AnalyseFile(dir.File("faint.wav"))[40][4];
    EXPECT_GT(faint, 0.0f);
    EXPECT_LT(faint, 0.1f * kLevelTarget);
}

TEST(Analysis, HostDataHoldsTheWaveformAroundTheFrameAndItsSpectrum) {
    ScratchDir dir;
    const int rate = 44100;
    Channel left = Sine(1000, 0.5, rate, 1.0), right = Sine(5000, 0.25, rate, 1.0);
    for (size_t i = 0; i < right.size(); ++i) right[i] += static_cast<float>(i % 7) * 0.01f;  // asymmetric
    WriteSound(dir.File("two.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, {left, right});
    std::unique_ptr<AudioSource> song = OpenAudioFile(dir.File("two.wav"));
    std::unique_ptr<LevelSource> analysis = AnalyseSong(*song);

    AudioBlock block;
    HostAudioData data;
    for (double t : {0.0, 0.5, 0.999}) {
        SCOPED_TRACE(t);
        analysis->Fill(t, &block);
        LoadHostData(block, &data);
        const int64_t first = static_cast<int64_t>(std::lround(t * rate)) - kWaveformSamples / 2;
        for (int i = 0; i < kWaveformSamples; ++i) {
            const int64_t at = first + i;
            const bool inside = at >= 0 && at < static_cast<int64_t>(left.size());
            ASSERT_EQ(data.waveform[0][i], inside ? left[at] : 0.0f) << i;
            ASSERT_EQ(data.waveform[1][i], inside ? right[at] : 0.0f) << i;
        }
    }
    analysis->Fill(0.5, &block);
    LoadHostData(block, &data);
    // Near each tone the spectrum peaks at about its amplitude (a Hann
    // window loses at most 1.4 dB between bins); far from it, little.
    auto near = [&](int side, double hz) {
        float peak = 0;
        for (int i = 0; i < kSpectrumPoints; ++i)
            if (std::fabs(SpectrumPointHz(i) / hz - 1) < 0.015) peak = std::max(peak, data.spectrum[side][i]);
        return peak;
    };
    EXPECT_NEAR(near(0, 1000), 0.5f, 0.5f * 0.16f);
    EXPECT_NEAR(near(1, 5000), 0.25f, 0.25f * 0.16f);
    EXPECT_LT(near(0, 5000), 0.001f);
    EXPECT_LT(near(1, 1000), 0.01f);
    EXPECT_LT(near(0, 100), 0.001f);
    const float* top = std::max_element(data.spectrum[0], data.spectrum[0] + kSpectrumPoints);
    EXPECT_NEAR(SpectrumPointHz(static_cast<int>(top - data.spectrum[0])), 1000.0, 15.0);
}

}  // namespace
