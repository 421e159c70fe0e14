// The C API's thread rules as hosts use them, for ThreadSanitizer (make
// test-sanitize builds these alone with -fsanitize=thread): sound pushed on
// one thread while frames are drawn on another, a visualiser made on one
// thread and drawn and restarted on another (an OBS source, a VLC filter),
// and two shared visualisers drawing at once.
#include <gtest/gtest.h>
#include <math.h>

#include <atomic>
#include <thread>
#include <vector>

#include "lumagrove/lumagrove.h"

namespace {

constexpr int kRate = 48000, kFps = 30, kWidth = 48, kHeight = 32;

// `seconds` of stereo kicks: a 60 Hz burst at each half second.
std::vector<float> Kicks(double seconds) {
    std::vector<float> samples(static_cast<size_t>(seconds * kRate) * 2);
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = double(i) / kRate, since = fmod(t, 0.5);
        const float v = since < 0.1 ? float(0.8 * sin(2 * M_PI * 60 * t)) : 0.0f;
        samples[2 * i] = samples[2 * i + 1] = v;
    }
    return samples;
}

lumagrove_visualiser* Make(lumagrove_target target = LUMAGROVE_TARGET_OFFSCREEN) {
    lumagrove_visualiser_desc desc = {};
    desc.width = kWidth;
    desc.height = kHeight;
    desc.target = target;
    lumagrove_visualiser* v = nullptr;
    EXPECT_EQ(lumagrove_create(&desc, &v), LUMAGROVE_OK) << lumagrove_last_error(nullptr);
    return v;
}

// Pushes `sound` in 10 ms pieces, as an audio thread would.
void PushInPieces(lumagrove_visualiser* v, const std::vector<float>& sound, std::atomic<bool>* done) {
    const int64_t piece = kRate / 100, total = static_cast<int64_t>(sound.size() / 2);
    for (int64_t at = 0; at < total; at += piece)
        EXPECT_EQ(lumagrove_push_float(v, sound.data() + 2 * at, std::min(piece, total - at)), LUMAGROVE_OK);
    *done = true;
}

TEST(ApiThreads, SoundPushedWhileFramesAreDrawnOnAnotherThread) {
    lumagrove_visualiser* v = Make();
    ASSERT_NE(v, nullptr);
    const std::vector<float> sound = Kicks(2.0);
    std::atomic<bool> pushed{false};
    std::thread audio(PushInPieces, v, std::cref(sound), &pushed);
    // Frames as they come due, each into memory; the kick frames glow.
    std::vector<uint8_t> pixels(kWidth * kHeight * 4);
    const lumagrove_picture picture = {pixels.data(), 0, LUMAGROVE_PIXELS_BGRA, 0};
    std::vector<float> low;
    for (int64_t k = 0; k < 2 * kFps - 10;) {
        const lumagrove_frame frame = {k, double(k) / kFps, double(k) / kFps};
        if (!lumagrove_frame_due(v, frame.sound_time)) {
            ASSERT_FALSE(pushed && !lumagrove_frame_due(v, frame.sound_time)) << "frame " << k << " never due";
            std::this_thread::yield();
            continue;
        }
        float levels[16];
        ASSERT_EQ(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_OK) << lumagrove_last_error(v);
        ASSERT_EQ(lumagrove_frame_levels(v, &frame, levels), LUMAGROVE_OK);
        low.push_back(levels[0]);
        ++k;
    }
    audio.join();
    EXPECT_GT(low[1], 0.2f);         // a kick at 0 s
    EXPECT_LT(low[12], low[1] / 4);  // the quiet between, at 0.4 s
    EXPECT_GT(low[16], 0.2f);        // the kick at 0.5 s
    lumagrove_destroy(v);
}

// Made on one thread, drawn and restarted (a seek) on another while a third
// pushes and a fourth restarts it too; two shared visualisers of different
// sizes drawing at once.
TEST(ApiThreads, MadeOnOneThreadDrawnAndRestartedOnAnotherSharedOnesAtOnce) {
    lumagrove_visualiser* made = Make();
    ASSERT_NE(made, nullptr);
    const std::vector<float> sound = Kicks(1.0);
    std::atomic<bool> pushed{false};
    std::thread audio(PushInPieces, made, std::cref(sound), &pushed);
    std::atomic<bool> drawn{false};
    // A VLC filter's flush: a restart from the player's thread while a frame is drawn.
    std::thread seeks([&] {
        while (!drawn) {
            EXPECT_EQ(lumagrove_restart(made), LUMAGROVE_OK);
            std::this_thread::yield();
        }
    });
    std::thread frames([&] {
        std::vector<uint8_t> pixels(kWidth * kHeight * 4);
        const lumagrove_picture picture = {pixels.data(), 0, LUMAGROVE_PIXELS_RGBA, 1};
        for (int64_t k = 0; k < 20; ++k) {
            const lumagrove_frame frame = {k, double(k) / kFps, double(k % 5) / kFps};
            if (k % 5 == 0) {
                EXPECT_EQ(lumagrove_restart(made), LUMAGROVE_OK);
            }
            EXPECT_EQ(lumagrove_draw_to_memory(made, &frame, &picture), LUMAGROVE_OK) << lumagrove_last_error(made);
        }
    });
    frames.join();
    drawn = true;
    seeks.join();
    audio.join();
    lumagrove_destroy(made);

    lumagrove_visualiser* a = Make(LUMAGROVE_TARGET_SHARED);
    lumagrove_visualiser* b = Make(LUMAGROVE_TARGET_SHARED);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(lumagrove_set_size(b, 2 * kWidth + 1, kHeight + 3), LUMAGROVE_OK);
    auto draw = [](lumagrove_visualiser* v, int width, int height) {
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        const lumagrove_picture picture = {pixels.data(), 0, LUMAGROVE_PIXELS_RGBA, 0};
        for (int64_t k = 0; k < 30; ++k) {
            const lumagrove_frame frame = {k, double(k) / kFps, 0.0};
            EXPECT_EQ(lumagrove_draw_to_memory(v, &frame, &picture), LUMAGROVE_OK) << lumagrove_last_error(v);
        }
    };
    std::thread first(draw, a, kWidth, kHeight), second(draw, b, 2 * kWidth + 1, kHeight + 3);
    first.join();
    second.join();
    lumagrove_destroy(a);
    lumagrove_destroy(b);
}

}  // namespace
