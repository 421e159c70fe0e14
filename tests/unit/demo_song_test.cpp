// The built-in demo piece: always the same samples, however it is read, a
// real stereo piece, beats the analysis can see, and its WAV for the encoder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/analysis/audio_block.h"
#include "host/analysis/level_source.h"
#include "host/base/host_error.h"
#include "tests/support/song_analysis.h"
#include "tests/support/sound_files.h"
#include "toolbox/audio/audio_source.h"
#include "toolbox/audio/demo_song.h"
#include "toolbox/run/song_wav.h"

namespace {

std::vector<float> ReadAll(AudioSource& song, int64_t chunk) {
    std::vector<float> samples(static_cast<size_t>(song.frameCount() * song.channels()));
    for (int64_t at = 0; at < song.frameCount(); at += chunk)
        song.Read(at, std::min(chunk, song.frameCount() - at), &samples[static_cast<size_t>(at * song.channels())]);
    return samples;
}

// The whole piece, read once in order for every test of the suite.
class DemoSong : public testing::Test {
protected:
    static void SetUpTestSuite() {
        std::unique_ptr<AudioSource> song = MakeDemoSong();
        reference_ = new std::vector<float>(ReadAll(*song, 4096));
    }
    static void TearDownTestSuite() {
        delete reference_;
        reference_ = nullptr;
    }
    static const std::vector<float>& reference() { return *reference_; }

private:
    static std::vector<float>* reference_;
};
std::vector<float>* DemoSong::reference_ = nullptr;

TEST_F(DemoSong, IsTwentySecondsOfStereoMusicAt48kHz) {
    std::unique_ptr<AudioSource> song = MakeDemoSong();
    EXPECT_EQ(song->sampleRate(), 48000);
    EXPECT_EQ(song->channels(), 2);
    EXPECT_DOUBLE_EQ(song->duration(), 20.0);
    const std::vector<float>& samples = reference();
    double power[2] = {0, 0}, difference = 0;
    for (size_t i = 0; i < samples.size(); i += 2) {
        power[0] += samples[i] * samples[i];
        power[1] += samples[i + 1] * samples[i + 1];
        difference += std::fabs(samples[i] - samples[i + 1]);
        ASSERT_LE(std::fabs(samples[i]), 1.0f);
    }
    const double frames = samples.size() / 2.0;
    EXPECT_GT(std::sqrt(power[0] / frames), 0.1) << "loud enough to see";
    EXPECT_GT(std::sqrt(power[1] / frames), 0.1);
    EXPECT_GT(difference / frames, 0.01) << "the sides differ: a stereo piece";
}

TEST_F(DemoSong, EveryBuildAndEveryOrderOfReadingGivesTheSameSamples) {
    std::unique_ptr<AudioSource> second = MakeDemoSong();
    EXPECT_EQ(ReadAll(*second, 777), reference());

    // Backwards over the last seconds, in odd pieces that straddle the cache's blocks.
    std::unique_ptr<AudioSource> third = MakeDemoSong();
    std::vector<float> piece(2 * 30011);
    for (int64_t at = third->frameCount() - 30011; at > third->frameCount() - 10 * 30011; at -= 30011) {
        third->Read(at, 30011, piece.data());
        for (int64_t i = 0; i < 2 * 30011; ++i) ASSERT_EQ(piece[i], reference()[2 * at + i]) << "frame " << at + i / 2;
    }
}

TEST_F(DemoSong, TheLowestBandPulsesOnTheBeats) {
    std::unique_ptr<AudioSource> song = MakeDemoSong();
    std::unique_ptr<LevelSource> analysis = AnalyseSong(*song);
    std::vector<float> low;
    static AudioBlock block;
    for (int f = 0; f < 20 * 60; ++f) {
        analysis->Fill(f / 60.0, &block);
        low.push_back(block.levels[0] + block.levels[8]);
    }
    // 120 beats a minute: a beat every 30 frames. Skip the first bar and the fade.
    for (int beat = 4; beat < 36; ++beat) {
        const float onBeat = *std::max_element(&low[beat * 30], &low[beat * 30 + 6]);
        const float between = *std::min_element(&low[beat * 30 + 20], &low[beat * 30 + 29]);
        EXPECT_GT(onBeat, 2.5f * between) << "beat " << beat;
        EXPECT_GT(onBeat, 0.4f) << "beat " << beat;
    }
}

TEST_F(DemoSong, WrittenAsAWavHoldsItsSamples) {
    ScratchDir dir;
    std::unique_ptr<AudioSource> song = MakeDemoSong();
    const std::string path = dir.path() + "/demo.wav";
    WriteWavFile(path, *song);
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_NE(stat((path + ".part").c_str(), &after), 0) << "no partial file left";

    SF_INFO info;
    const std::vector<float> wav = ReadWholeSound(path, &info);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    const std::vector<float>& samples = reference();
    ASSERT_EQ(wav.size(), samples.size());
    for (size_t i = 0; i < wav.size(); ++i) ASSERT_NEAR(wav[i], samples[i], 1.0f / 32768) << "sample " << i;
}

TEST_F(DemoSong, AScratchFolderThatCannotBeWrittenIsAFailureNamingTheFile) {
    std::unique_ptr<AudioSource> song = MakeDemoSong();
    try {
        WriteWavFile("/nonexistent/scratch/demo.wav", *song);
        ADD_FAILURE() << "wrote into a folder that does not exist";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kFailure);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/scratch/"), std::string::npos) << e.what();
    }
}

}  // namespace
