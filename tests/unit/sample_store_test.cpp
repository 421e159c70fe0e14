// The sample store on its own: what it holds and lets go, silence around it,
// the live ring, clamping, and the folding of windows into the two sides.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "host/analysis/sample_store.h"
#include "host/base/silence_filler.h"

namespace {

// Three channels (left, right, both) whose sample at position p is p, -p and
// 1000 + p, scaled into [-1, 1].
std::vector<float> Ramp(int64_t from, int64_t count) {
    std::vector<float> frames;
    for (int64_t p = from; p < from + count; ++p) frames.insert(frames.end(), {p / 1e5f, -p / 1e5f, (1000 + p) / 1e5f});
    return frames;
}

const std::vector<ChannelSide> kSides = {ChannelSide::kLeft, ChannelSide::kRight, ChannelSide::kBoth};

TEST(SampleStore, HoldsWhatWasPushedAndSilenceAroundItAcrossGrowthAndDiscards) {
    SampleStore store(1000, kSides);
    int64_t pushed = 0;
    for (int64_t count : {7, 4096, 1, 10000, 333}) {  // growth moves what is held
        store.Push(Ramp(pushed, count).data(), count);
        pushed += count;
        store.Discard(pushed - 5000);
    }
    ASSERT_EQ(store.end(), pushed);
    ASSERT_EQ(store.first(), pushed - 5000);
    std::vector<float> got(3 * 6000, 7.0f);
    store.Read(pushed - 5500, 6000, got.data());
    for (int64_t i = 0; i < 6000; ++i) {
        const int64_t p = pushed - 5500 + i;
        const bool held = p >= pushed - 5000 && p < pushed;
        EXPECT_EQ(got[3 * i], held ? p / 1e5f : 0.0f) << "position " << p;
        EXPECT_EQ(got[3 * i + 2], held ? (1000 + p) / 1e5f : 0.0f) << "position " << p;
    }
    store.Restart(50);
    store.Read(pushed - 10, 10, got.data());
    EXPECT_EQ(got[0], 0.0f);
    store.Push(Ramp(50, 1).data(), 1);
    store.Read(50, 1, got.data());
    EXPECT_EQ(got[1], -50 / 1e5f);
}

TEST(SampleStore, ALiveRingKeepsTheNewestAndClampsWhatComesIn) {
    SampleStore store(1000, {ChannelSide::kLeft, ChannelSide::kRight}, 100);
    std::vector<float> wild;
    for (int i = 0; i < 130; ++i) wild.insert(wild.end(), {i % 2 ? 3.0f : NAN, -INFINITY});
    store.Push(wild.data(), 130);
    store.PushSilence(20);
    EXPECT_EQ(store.end(), 150);
    EXPECT_EQ(store.first(), 50);
    std::vector<float> got(2 * 150, 7.0f);
    store.Read(0, 150, got.data());
    for (int i = 0; i < 150; ++i) {
        const bool held = i >= 50 && i < 130;
        EXPECT_EQ(got[2 * i], held && i % 2 ? 1.0f : 0.0f) << i;
        EXPECT_EQ(got[2 * i + 1], 0.0f) << i;
    }
    store.Push(Ramp(0, 250).data(), 0);  // nothing
    std::vector<float> many(2 * 250, 0.5f);
    store.Push(many.data(), 250);  // more than the ring: the newest 100
    EXPECT_EQ(store.end(), 400);
    EXPECT_EQ(store.first(), 300);
}

TEST(SampleStore, WindowsAreFoldedIntoTheSidesCentredOrEndingAtTheirTime) {
    SampleStore store(1000, kSides);
    store.Push(Ramp(0, 3000).data(), 3000);
    std::vector<float> stereo(2 * 8);
    store.WindowCentredAt(1.0004, 8, stereo.data());                  // nearest position 1000: window 996 .. 1003
    EXPECT_FLOAT_EQ(stereo[2 * 4], (1000 / 1e5f + 2000 / 1e5f) / 2);  // left: the left channel and "both"
    EXPECT_FLOAT_EQ(stereo[2 * 4 + 1], (-1000 / 1e5f + 2000 / 1e5f) / 2);
    store.WindowEndingAt(1.0, 8, stereo.data());  // 992 .. 999
    EXPECT_FLOAT_EQ(stereo[2 * 7], (999 / 1e5f + 1999 / 1e5f) / 2);
    store.WindowCentredAt(0.002, 8, stereo.data());  // reaches before the start: silence there
    EXPECT_EQ(stereo[0], 0.0f);
    EXPECT_EQ(stereo[2 * 1], 0.0f);
    EXPECT_FLOAT_EQ(stereo[2 * 2], (0 + 1000 / 1e5f) / 2);
}

}  // namespace

// The silence filled in for a live source that sends nothing, on a clock the
// test moves by hand.
TEST(SilenceFiller, FillsTheQuietTimeLessItsLagOnceQuietLongEnoughAndLongerBeforeTheFirstSound) {
    using Clock = SilenceFiller::Clock;
    const Clock::time_point t0 = Clock::time_point() + std::chrono::hours(1);
    auto at = [&](double seconds) {
        return t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    SilenceFiller filler(SilenceFillerDesc{1.0, 2.5, 0.5, false}, t0);
    EXPECT_EQ(filler.Due(0, 1000, at(2.4)), 0) << "before the first sound the wait is longer";
    EXPECT_EQ(filler.Due(0, 1000, at(2.5)), 2000) << "2.5 s quiet, less the 0.5 s lag";
    EXPECT_EQ(filler.Due(2000, 1000, at(4.4)), 0) << "quiet as long again, since the fill";
    EXPECT_EQ(filler.Due(2000, 1000, at(4.5)), 2000);
    filler.Heard(4100, at(4.6));
    EXPECT_EQ(filler.Due(4100, 1000, at(5.5)), 0) << "after sound the usual wait";
    EXPECT_EQ(filler.Due(4100, 1000, at(5.6)), 500);

    SilenceFiller continuous(SilenceFillerDesc{0.25, 0.25, 0.0, true}, t0);
    EXPECT_EQ(continuous.Due(0, 1000, at(0.2)), 0);
    EXPECT_EQ(continuous.Due(0, 1000, at(0.25)), 250);
    EXPECT_EQ(continuous.Due(250, 1000, at(0.26)), 10) << "once filling, every call until sound comes";
    continuous.Heard(300, at(0.27));
    EXPECT_EQ(continuous.Due(300, 1000, at(0.3)), 0);
}
