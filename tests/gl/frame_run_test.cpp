// A program's run of frames over the C library, with the real plug-in on a
// real offscreen context: the finish policy (every output finished, then all
// published, in list order, with the sound to the end of the last frame), the
// abort policy (a failing output, or a plug-in that will not start, leaves
// none published), the pictures' layout against the library's own, and a
// song's feed decoding each sample once, seeking only where the frames jump.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/base/host_error.h"
#include "toolbox/audio/audio_source.h"
#include "toolbox/audio/streamed_source.h"
#include "toolbox/run/frame_run.h"
#include "toolbox/run/song_run_feed.h"

namespace {

constexpr int kWidth = 67, kHeight = 43;  // odd, not square
constexpr int kRate = 8000, kFps = 10, kFrames = 5;

// A song in memory: one channel (both sides), a loud tone for the glows, 1 s.
class ToneSong : public AudioSource {
public:
    ToneSong() : samples_(kRate) {
        for (size_t i = 0; i < samples_.size(); ++i) samples_[i] = (i % 80 < 40 ? 0.8f : -0.8f) * (i % 1600 < 800);
    }
    int sampleRate() const override { return kRate; }
    int channels() const override { return 1; }
    int64_t frameCount() const override { return static_cast<int64_t>(samples_.size()); }
    ChannelSide channelSide(int) const override { return ChannelSide::kBoth; }
    void Read(int64_t start, int64_t count, float* out) override {
        for (int64_t i = 0; i < count; ++i)
            out[i] = start + i >= 0 && start + i < frameCount() ? samples_[static_cast<size_t>(start + i)] : 0.0f;
    }
    std::vector<float> samples_;
};

// An output that notes what it is given and each step of its life in a log
// the test reads; it fails at frame `failAt` (on the writer thread).
class NotingOutput : public FrameSink {
public:
    NotingOutput(std::string name, std::vector<std::string>* log, int64_t failAt = -1)
        : name_(std::move(name)), log_(log), failAt_(failAt) {}

    void Consume(const Frame& frame) override {
        if (frame.index == failAt_) throw HostError(Fault::kFailure, name_ + " failed");
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

class FrameRunTest : public ::testing::Test {
protected:
    RunDesc Desc(std::vector<FrameSink*> outputs, const char* plugin = LUMAGROVE_MODULE_PATH) {
        RunDesc desc;
        desc.visualiser.plugin_path = plugin;
        desc.visualiser.width = kWidth;
        desc.visualiser.height = kHeight;
        desc.visualiser.sound = SoundDescOf(song);
        desc.fps = kFps;
        desc.outputs = std::move(outputs);
        desc.feed = &feed;
        return desc;
    }
    // Frames 0 .. kFrames - 1 at i / kFps.
    static void RunAll(FrameRun& run) {
        int64_t next = 0;
        run.Run([&](FrameTime* frame) {
            if (next == kFrames) return false;
            *frame = FrameTime{next, next / double(kFps), next / double(kFps)};
            ++next;
            return true;
        });
    }

    ToneSong song;
    SongRunFeed feed{song};
    std::vector<std::string> log;
};

TEST_F(FrameRunTest, FinishPublishesEveryOutputTogetherInListOrderWithTheSoundOfEveryFrame) {
    NotingOutput first("first", &log), second("second", &log);
    FrameRun run(Desc({&first, &second}));
    RunAll(run);
    run.Finish();
    EXPECT_EQ(log, (std::vector<std::string>{"finish first", "finish second", "publish first", "publish second"}));
    EXPECT_EQ(first.times, (std::vector<double>{0.0, 0.1, 0.2, 0.3, 0.4}));
    ASSERT_EQ(first.pictures.size(), 5u);
    EXPECT_NE(first.pictures[0], first.pictures[1]) << "the camera moves between frames";
    EXPECT_EQ(first.pictures, second.pictures);
    // The sound up to the end of the last frame's stretch: 5 frames of 0.1 s,
    // each sample once, in order.
    EXPECT_EQ(first.sound, std::vector<float>(song.samples_.begin(), song.samples_.begin() + 4000));
    EXPECT_EQ(second.sound, first.sound);
}

TEST_F(FrameRunTest, AFailingOutputOrAPluginThatWillNotLoadAbortsEveryOutputAndPublishesNone) {
    NotingOutput first("first", &log), failing("failing", &log, 2);
    {
        FrameRun run(Desc({&first, &failing}));
        try {
            RunAll(run);
            run.Finish();
            ADD_FAILURE() << "the failure was not reported";
        } catch (const HostError& e) {
            EXPECT_STREQ(e.what(), "failing failed");
            EXPECT_EQ(e.fault, Fault::kFailure);
        }
    }
    EXPECT_EQ(log, (std::vector<std::string>{"abort first", "abort failing"}));

    log.clear();
    try {
        FrameRun run(Desc({&first}, "/nonexistent/lumagrove.so"));
        ADD_FAILURE() << "a plug-in that is not there was taken";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/lumagrove.so"), std::string::npos) << e.what();
        EXPECT_EQ(e.fault, Fault::kBadInput) << "the program was given it";
    }
    EXPECT_EQ(log, (std::vector<std::string>{"abort first"}));
}

// The outputs' pictures (BGRA, the bottom row first) are the library's own
// frames, read the other way round.
TEST_F(FrameRunTest, PicturesAreTheLibrarysFramesBottomRowFirstInBgra) {
    NotingOutput queued("queued", &log);
    FrameRun run(Desc({&queued}));
    RunAll(run);
    run.Finish();
    ASSERT_EQ(queued.pictures.size(), size_t(kFrames));

    lumagrove_visualiser_desc desc = Desc({}).visualiser;
    lumagrove_visualiser* v = nullptr;
    ASSERT_EQ(lumagrove_create(&desc, &v), LUMAGROVE_OK) << lumagrove_last_error(nullptr);
    std::vector<float> sound = song.samples_;
    ASSERT_EQ(lumagrove_push_float(v, sound.data(), static_cast<int64_t>(sound.size())), LUMAGROVE_OK);
    const size_t stride = kWidth * 4 + 12;  // padded rows, top first, RGBA
    std::vector<uint8_t> rgba(stride * kHeight);
    const lumagrove_picture picture = {rgba.data(), stride, LUMAGROVE_PIXELS_RGBA, 0};
    for (int f = 0; f < kFrames; ++f) {
        const lumagrove_frame frame = {f, f / double(kFps), f / double(kFps)};
        ASSERT_EQ(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_OK);
        const std::vector<uint8_t>& bgra = queued.pictures[f];
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* a = &bgra[(size_t(kHeight - 1 - y) * kWidth + x) * 4];
                const uint8_t* b = &rgba[y * stride + x * 4];
                ASSERT_TRUE(a[0] == b[2] && a[1] == b[1] && a[2] == b[0] && a[3] == b[3])
                    << "frame " << f << ", pixel " << x << "," << y << " from the top left";
            }
    }
    lumagrove_destroy(v);
}

// A decoder that counts what it is asked for, on a ramp.
class CountingSource : public StreamedSource {
public:
    explicit CountingSource(int64_t frames) : StreamedSource(48000, 2, frames) {}
    int64_t decodedFrames = 0;
    int seeks = 0;

protected:
    void Decode(int64_t start, int64_t count, float* out) override {
        seeks += start != at_;
        at_ = start + count;
        decodedFrames += count;
        for (int64_t i = 0; i < count; ++i)
            out[2 * i] = out[2 * i + 1] = static_cast<float>((start + i) % 1000) / 1000.0f;
    }

private:
    int64_t at_ = 0;
};

// Frames drawn in order read the song once, in order, no further ahead than
// the last frame's window; a jump is one seek that decodes only the new window.
TEST(SongRunFeed, DecodesEverySampleOnceInOrderAndOnlyTheNewWindowAfterAJump) {
    CountingSource song(48000 * 600);
    SongRunFeed feed(song);
    RunDesc desc;
    desc.visualiser.plugin_path = LUMAGROVE_MODULE_PATH;
    desc.visualiser.width = 16;
    desc.visualiser.height = 16;
    desc.visualiser.sound = SoundDescOf(song);
    desc.fps = 25;
    desc.feed = &feed;
    FrameRun run(desc);
    const int64_t heldBack = lumagrove_held_back(run.visualiser());
    ASSERT_GT(heldBack, 0);
    auto at = [](double seconds) { return FrameTime{0, seconds, seconds}; };

    for (int f = 0; f < 25 * 60; ++f) ASSERT_TRUE(run.Draw(at(f / 25.0)));
    const int64_t lastFrame = 48000 * 60 - 48000 / 25;
    EXPECT_EQ(song.seeks, 0);
    EXPECT_EQ(song.decodedFrames, lastFrame + heldBack);
    EXPECT_EQ(lumagrove_sound_end(run.visualiser()), lastFrame + heldBack);

    int64_t decoded = song.decodedFrames;
    ASSERT_TRUE(run.Draw(at(300.0)));  // ahead: a --start, or a seek in a window
    EXPECT_EQ(song.seeks, 1);
    EXPECT_EQ(song.decodedFrames - decoded, 2 * heldBack);
    decoded = song.decodedFrames;
    ASSERT_TRUE(run.Draw(at(3.0)));  // back
    EXPECT_EQ(song.seeks, 2);
    EXPECT_EQ(song.decodedFrames - decoded, 2 * heldBack);
    float levels[16];
    ASSERT_EQ(lumagrove_last_levels(run.visualiser(), levels), LUMAGROVE_OK);
    EXPECT_GT(*std::max_element(levels, levels + 16), 0.0f) << "the ramp around 3 s reached the analysis";
}

}  // namespace
