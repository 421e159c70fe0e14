// The frame driver with the real plug-in on a real offscreen context: the
// finish policy (every output finished, then all published, in list order,
// with the sound to the end of the last frame), the abort policy (a failing
// output leaves none published), and pictures read in place against the
// frame queue's.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/analysis/sample_store.h"
#include "host/analysis/sound_levels.h"
#include "host/base/host_error.h"
#include "host/driver/frame_driver.h"
#include "host/driver/offscreen_target.h"
#include "host/loader/plugin_loader.h"

namespace {

// An output that notes what it is given and each step of its life in a log
// the test reads; it fails at frame `failAt` (on the writer thread).
class NotingOutput : public FrameSink {
public:
    NotingOutput(std::string name, std::vector<std::string>* log, int64_t failAt = -1)
        : name_(std::move(name)), log_(log), failAt_(failAt) {}

    void Consume(const Frame& frame) override {
        if (frame.index == failAt_) throw HostError(kExitFailure, name_ + " failed");
        pictures.push_back(std::vector<uint8_t>(frame.pixels, frame.pixels + FrameBytes(frame.width, frame.height)));
    }
    void TakeLevels(const FrameTime& frame, const float*) override { times.push_back(frame.time); }
    bool WantsSound() const override { return true; }
    void TakeSound(const float* samples, int64_t count) override {
        sound.insert(sound.end(), samples, samples + count);
    }
    void Finish() override { log_->push_back("finish " + name_); }
    void Publish() override { log_->push_back("publish " + name_); }
    void Abort() noexcept override { log_->push_back("abort " + name_); }

    std::vector<std::vector<uint8_t>> pictures;
    std::vector<double> times;
    std::vector<float> sound;

private:
    std::string name_;
    std::vector<std::string>* log_;
    int64_t failAt_;
};

// An output that takes pictures in its own memory: rows padded, top row first.
class InPlaceOutput : public FrameSink {
public:
    InPlaceOutput(int width, int height) : stride_(width * 4 + 12), memory_(stride_ * height) {}
    bool TakesInPlace() const override { return true; }
    PictureBuffer Lend(const FrameTime&) override { return PictureBuffer{memory_.data(), stride_, true}; }
    void Deliver(const FrameTime&) override { pictures.push_back(memory_); }

    size_t stride_;
    std::vector<uint8_t> memory_;
    std::vector<std::vector<uint8_t>> pictures;
};

class FrameDriverTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 67, kHeight = 43;  // odd, not square

    void SetUp() override {
        job.width = kWidth;
        job.height = kHeight;
        job.fps = 10;
        job.frameCount = 5;
        // One channel, mono (both sides), a loud tone for the glows: 1 s at 8 kHz.
        std::vector<float> tone(8000);
        for (size_t i = 0; i < tone.size(); ++i) tone[i] = (i % 80 < 40 ? 0.8f : -0.8f) * (i % 1600 < 800);
        store.Push(tone.data(), static_cast<int64_t>(tone.size()));
        StartPlugin(plugin, [&] {
            target = std::make_unique<OffscreenTarget>(kWidth, kHeight);
            return target.get();
        });
    }

    FrameJob job;
    SampleStore store{8000, {ChannelSide::kBoth}};
    SoundLevels levels{store, SoundLevelsDesc{WindowAnchor::kCentred, nullptr, false}};
    PluginLibrary plugin{LUMAGROVE_MODULE_PATH};
    std::unique_ptr<OffscreenTarget> target;
    std::vector<std::string> log;
};

TEST_F(FrameDriverTest, FinishPublishesEveryOutputTogetherInListOrderWithTheSoundOfEveryFrame) {
    NotingOutput first("first", &log), second("second", &log);
    FrameDriver driver(job, *target, levels, {&first, &second}, &store);
    StretchClock clock(job);
    driver.Run(clock);
    driver.Finish();
    EXPECT_EQ(log, (std::vector<std::string>{"finish first", "finish second", "publish first", "publish second"}));
    EXPECT_EQ(first.times, (std::vector<double>{0.0, 0.1, 0.2, 0.3, 0.4}));
    ASSERT_EQ(first.pictures.size(), 5u);
    EXPECT_NE(first.pictures[0], first.pictures[1]) << "the camera moves between frames";
    EXPECT_EQ(first.pictures, second.pictures);
    // The sound up to the end of the last frame's stretch: 5 frames of 0.1 s.
    ASSERT_EQ(first.sound.size(), 4000u);
    std::vector<float> held(4000);
    store.Read(0, 4000, held.data());
    EXPECT_EQ(first.sound, held);
}

TEST_F(FrameDriverTest, AFailingOutputAbortsEveryOutputAndPublishesNone) {
    NotingOutput first("first", &log), failing("failing", &log, 2);
    FrameDriver driver(job, *target, levels, {&first, &failing});
    StretchClock clock(job);
    try {
        driver.Run(clock);
        driver.Finish();
        FAIL() << "the failure was not reported";
    } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "failing failed");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"abort first", "abort failing"}));
}

TEST_F(FrameDriverTest, PicturesReadInPlaceAreTheQueuedOnesTopRowFirst) {
    NotingOutput queued("queued", &log);
    InPlaceOutput inPlace(kWidth, kHeight);
    FrameDriver driver(job, *target, levels, {&queued, &inPlace});
    StretchClock clock(job);
    driver.Run(clock);
    driver.Finish();
    ASSERT_EQ(inPlace.pictures.size(), 5u);
    ASSERT_EQ(queued.pictures.size(), 5u);
    const size_t row = kWidth * 4;
    for (size_t f = 0; f < 5; ++f)
        for (int y = 0; y < kHeight; ++y)
            ASSERT_TRUE(std::equal(queued.pictures[f].begin() + (kHeight - 1 - y) * row,
                                   queued.pictures[f].begin() + (kHeight - y) * row,
                                   inPlace.pictures[f].begin() + y * inPlace.stride_))
                << "frame " << f << ", row " << y << " from the top";
}

}  // namespace
