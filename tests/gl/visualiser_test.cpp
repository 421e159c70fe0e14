// The Visualiser, the core behind the C API, with the real plug-in on a real
// offscreen context: its two sound modes, a gap, a restart, a streamed
// song's ring, and a plug-in that will not load.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/visualiser.h"

namespace {

constexpr int kRate = 8000, kFps = 50;

// Silence with one loud burst of 40 ms at `at` seconds, mono.
std::vector<float> BurstAt(double at, double seconds) {
    std::vector<float> sound(static_cast<size_t>(seconds * kRate));
    const size_t from = static_cast<size_t>(at * kRate);
    for (size_t i = from; i < from + kRate / 25 && i < sound.size(); ++i) sound[i] = i % 16 < 8 ? 0.9f : -0.9f;
    return sound;
}

VisualiserDesc Desc() {
    VisualiserDesc desc;
    desc.plugin = LUMAGROVE_MODULE_PATH;
    desc.width = 45;  // odd, not square
    desc.height = 31;
    return desc;
}

// The loudest of the sixteen levels, frame by frame, for the sound pushed
// whole, each frame drawn as soon as it is due.
std::vector<float> Loudness(SoundMode mode, const std::vector<float>& sound) {
    Visualiser v(Desc());
    v.StartSound(SoundDesc{kRate, {ChannelSide::kBoth}, mode, false});
    v.PushSound(sound.data(), static_cast<int64_t>(sound.size()));
    SoundClock clock(v, kFps);
    std::vector<float> loudness;
    FrameTime frame;
    while (clock.Next(&frame)) {
        v.Draw(frame);
        loudness.push_back(*std::max_element(v.levels(), v.levels() + 16));
    }
    return loudness;
}

// The first frame at half the loudest or more: where the burst shows.
size_t Onset(const std::vector<float>& values) {
    const float half = 0.5f * *std::max_element(values.begin(), values.end());
    return static_cast<size_t>(std::find_if(values.begin(), values.end(), [&](float v) { return v >= half; }) -
                               values.begin());
}

TEST(Visualiser, RecordedSoundIsHeldBackHalfAWindowAndCentredOnTheFrameLiveSoundIsNot) {
    const std::vector<float> sound = BurstAt(1.0, 2.0);
    {
        Visualiser v(Desc());
        v.StartSound(SoundDesc{kRate, {ChannelSide::kBoth}, SoundMode::kRecorded, false});
        ASSERT_GT(v.heldBack(), 0);
        v.PushSound(sound.data(), kRate);  // one second
        EXPECT_TRUE(v.FrameDue(1.0 - double(v.heldBack()) / kRate));
        EXPECT_FALSE(v.FrameDue(1.0 - double(v.heldBack() - 2) / kRate)) << "its window is not whole yet";
        v.StartSound(SoundDesc{kRate, {ChannelSide::kBoth}, SoundMode::kLive, false});
        EXPECT_EQ(v.heldBack(), 0);
        v.PushSound(sound.data(), kRate);
        EXPECT_TRUE(v.FrameDue(1.0)) << "a live frame is due with the sound of its own time";
    }
    const std::vector<float> recorded = Loudness(SoundMode::kRecorded, sound);
    const std::vector<float> live = Loudness(SoundMode::kLive, sound);
    // The burst starts at 1.00 s (frame 50). Recorded sound shows it from
    // the frames whose centred window reaches it, a few before; live sound
    // only from the frames whose window, ending there, has taken it in.
    const size_t burst = size_t(1.0 * kFps);
    EXPECT_LT(Onset(recorded), burst);
    EXPECT_GE(Onset(recorded), burst - 4) << "half a window ahead at most";
    EXPECT_GE(Onset(live), burst);
    EXPECT_LE(Onset(live), burst + 2);
    EXPECT_LT(recorded.size(), live.size()) << "recorded frames wait for half a window past them";
}

TEST(Visualiser, AGapIsSilenceSoLaterSoundKeepsItsPlaceAndAnOverlapIsPassedOver) {
    Visualiser v(Desc());
    v.StartSound(SoundDesc{kRate, {ChannelSide::kLeft, ChannelSide::kRight}, SoundMode::kRecorded, false});
    const std::vector<float> block(2 * 800, 0.25f);
    v.PushSound(block.data(), 800);
    EXPECT_EQ(v.FillGapTo(2000), 0) << "a gap";
    EXPECT_EQ(v.soundEnd(), 2000);
    EXPECT_EQ(v.FillGapTo(2000 + kRate / 200), 0) << "within a hundredth of a second: left as it is";
    EXPECT_EQ(v.soundEnd(), 2000);
    EXPECT_EQ(v.FillGapTo(1500), 500) << "sound that overlaps what came";
    EXPECT_EQ(v.soundEnd(), 2000);
}

TEST(Visualiser, ARestartStartsTheSoundAndTheAnalysisAfresh) {
    const std::vector<float> first = BurstAt(0.1, 1.0), second = BurstAt(0.5, 1.0);
    std::vector<std::vector<float>> afterRestart, fresh;
    for (bool restart : {true, false}) {
        Visualiser v(Desc());
        v.StartSound(SoundDesc{kRate, {ChannelSide::kBoth}, SoundMode::kRecorded, false});
        if (restart) {
            v.PushSound(first.data(), kRate);
            for (int i = 0; i < 20; ++i) v.Draw(FrameTime{i, i / double(kFps), i / double(kFps)});
            v.Restart();
            EXPECT_EQ(v.soundEnd(), 0);
        }
        v.PushSound(second.data(), kRate);
        for (int i = 0; i < 40; ++i) {
            v.Draw(FrameTime{i, 7.0 + i / double(kFps), i / double(kFps)});
            (restart ? afterRestart : fresh).push_back(std::vector<float>(v.levels(), v.levels() + 16));
        }
    }
    EXPECT_EQ(afterRestart, fresh);
}

// A streamed song whose frames stop coming (a page in a hidden tab) keeps
// only its newest seconds: the burst pushed long ago is gone, the newest one
// is there.
TEST(Visualiser, AStreamedSongKeepsItsNewestSecondsWhateverTheFrames) {
    std::vector<float> sound = BurstAt(1.0, 30.0);
    const std::vector<float> late = BurstAt(28.0, 30.0);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] += late[i];
    for (double keep : {0.0, 5.0}) {
        Visualiser v(Desc());
        SoundDesc desc{kRate, {ChannelSide::kBoth}, SoundMode::kRecorded, false};
        desc.keepNewest = keep;
        v.StartSound(desc);
        v.PushSound(sound.data(), static_cast<int64_t>(sound.size()));
        const auto loudest = [&](int index, double at) {
            v.Draw(FrameTime{index, at, at});
            return *std::max_element(v.levels(), v.levels() + 16);
        };
        EXPECT_EQ(loudest(0, 1.02) > 0.1f, keep == 0.0) << "kept " << keep << " s";
        EXPECT_GT(loudest(1, 28.02), 0.1f) << "kept " << keep << " s";
    }
}

TEST(Visualiser, APluginThatIsNotThereIsRefusedByName) {
    VisualiserDesc desc = Desc();
    desc.plugin = "/nonexistent/lumagrove.so";
    try {
        Visualiser v(desc);
        ADD_FAILURE() << "a plug-in that is not there was taken";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/lumagrove.so"), std::string::npos) << e.what();
        EXPECT_EQ(e.part, FailedPart::kPlugin);
    }
}

}  // namespace
