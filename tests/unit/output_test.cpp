// The preview host's output modules on their own: the PNG writer, the frame
// queue between the render and writer threads, the contact sheet's layout,
// the progress report and clock readings.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/base/host_error.h"
#include "hosts/preview/progress.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "toolbox/base/clock_text.h"
#include "toolbox/output/contact_sheet.h"
#include "toolbox/output/frame_queue.h"
#include "toolbox/output/png_writer.h"
#include "toolbox/output/wav_writer.h"
#include "toolbox/output/yuv_convert.h"

namespace {

// A frame as GL reads it back (BGRA, bottom row first) whose every pixel
// encodes its upright position: red = x, green = y from the top, blue = 200.
std::vector<uint8_t> PositionFrame(int width, int height) {
    std::vector<uint8_t> bgra(FrameBytes(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bgra[(static_cast<size_t>(height - 1 - y) * width + x) * 4];
            p[0] = 200;
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x);
            p[3] = 255;
        }
    return bgra;
}

TEST(PngWriter, WritesReadBackFramesUprightWithRedAndBlueInPlace) {
    ScratchDir dir;
    const int width = 37, height = 23;  // odd: a stride slip would shear the picture
    const std::vector<uint8_t> bgra = PositionFrame(width, height);
    const std::string path = dir.File("frame.png");
    WritePng(path, FrameImage(Frame{bgra.data(), width, height, 0, 0.0}), 9);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"frame.png"});
    const Picture p = ReadPng(path);
    ASSERT_EQ(p.width, width);
    ASSERT_EQ(p.height, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = p.At(x, y);
            ASSERT_EQ(c[0], x);
            ASSERT_EQ(c[1], y);
            ASSERT_EQ(c[2], 200);
        }
}

TEST(PngWriter, LargePicturesSpanManyDataChunks) {
    ScratchDir dir;
    // Noise barely compresses: well over one 64 KiB chunk of compressed data.
    const int width = 300, height = 200;
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    uint32_t seed = 12345;
    for (uint8_t& v : rgba) v = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    const std::string path = dir.File("noise.png");
    WritePng(path, TopDownRgbaImage(rgba.data(), width, height));
    const Picture p = ReadPng(path);
    ASSERT_EQ(p.width, width);
    for (int i = 0; i < width * height; ++i)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(p.rgb[i * 3 + c], rgba[i * 4 + c]) << "pixel " << i;
}

TEST(PngWriter, AFolderThatIsNotThereFailsAndLeavesNothing) {
    ScratchDir dir;
    const uint8_t pixel[4] = {1, 2, 3, 4};
    EXPECT_THROW(WritePng(dir.File("missing/x.png"), TopDownRgbaImage(pixel, 1, 1)), HostError);
    EXPECT_TRUE(ListFolder(dir.path()).empty());
}

// Records what it is given, on the writer thread; fails on request.
class RecordingSink : public FrameSink {
public:
    explicit RecordingSink(int64_t failAt = -1, int64_t every = 1) : failAt_(failAt), every_(every) {}
    bool Wants(int64_t index) const override { return index % every_ == 0; }
    void Consume(const Frame& frame) override {
        if (frame.index == failAt_) throw HostError(Fault::kFailure, "sink failed at frame " + std::to_string(failAt_));
        indices.push_back(frame.index);
        firstBytes.push_back(frame.pixels[0]);
    }
    void Finish() override {}
    void Publish() override {}
    void Abort() noexcept override {}
    std::vector<int64_t> indices;
    std::vector<uint8_t> firstBytes;

private:
    int64_t failAt_, every_;
};

// The encoder's YUV against BT.601's limited-range definition, computed here
// in floating point: every Y, U and V within one step. A 6 x 4 frame of
// distinct colours, stored bottom row first as GL reads it, shows a swapped
// red and blue, a picture upside down, or chroma taken from the wrong block.
// A sound track as readers see it: a second of a ramp read back sample for
// sample; and one past 4 GiB (seven hours of 48 kHz stereo; the file sparse, its
// header the writer's) read with its whole length as RF64.
TEST(WavWriter, WritesWavThatReadersReadAndRf64PastFourGibibytes) {
    ScratchDir dir;
    const std::string path = dir.File("track.wav");
    std::vector<float> ramp(2 * 8000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = (static_cast<int>(i % 200) - 100) / 100.0f;
    WavWriter writer(path, 8000, 2);
    writer.Append(ramp.data(), 8000);
    writer.Finish();
    SF_INFO info;
    const std::vector<float> read = ReadWholeSound(path, &info);
    ASSERT_EQ(info.frames, 8000);
    for (size_t i = 0; i < ramp.size(); ++i) ASSERT_NEAR(read[i], ramp[i], 1.0 / 32768) << i;

    const uint64_t seven = 7ull * 3600 * 48000 * 4;  // past 0xFFFFFFFF bytes
    const std::vector<uint8_t> header = WavHeader(48000, 2, seven);
    EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RF64");
    const std::string large = dir.File("large.wav");
    FILE* file = fopen(large.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(header.data(), 1, header.size(), file);
    fclose(file);
    ASSERT_EQ(truncate(large.c_str(), static_cast<off_t>(header.size() + seven)), 0);
    const std::string duration = Capture("ffprobe -v error -show_entries stream=duration -of csv=p=0 '" + large + "'");
    EXPECT_NEAR(atof(duration.c_str()), 7 * 3600.0, 0.01) << duration;
}

TEST(YuvConvert, IsBt601LimitedRangeUprightWithChromaFromEachBlock) {
    const int w = 6, h = 4;
    struct Rgb {
        int r, g, b;
    };
    std::vector<Rgb> picture(w * h);  // top row first
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) picture[y * w + x] = {(x * 51 + y * 7) % 256, (y * 83) % 256, 255 - x * 40};
    picture[0] = {255, 0, 0};      // top left: red
    picture[w - 1] = {0, 0, 255};  // top right: blue
    std::vector<uint8_t> bgra(w * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &bgra[((h - 1 - y) * w + x) * 4];  // bottom row first
            const Rgb& c = picture[y * w + x];
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r), p[3] = 255;
        }
    std::vector<uint8_t> yuv(Yuv420Bytes(w, h));
    ConvertToYuv420(Frame{bgra.data(), w, h, 0, 0.0}, yuv.data());

    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb& c = picture[y * w + x];
            const double luma = 16 + 219 * (0.299 * c.r + 0.587 * c.g + 0.114 * c.b) / 255;
            EXPECT_NEAR(yuv[y * w + x], luma, 1.0) << x << "," << y;
        }
    const uint8_t* u = yuv.data() + w * h;
    const uint8_t* v = u + (w / 2) * (h / 2);
    for (int by = 0; by < h / 2; ++by)
        for (int bx = 0; bx < w / 2; ++bx) {
            double r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const Rgb& c = picture[(2 * by + dy) * w + 2 * bx + dx];
                    r += c.r / 4.0, g += c.g / 4.0, b += c.b / 4.0;
                }
            EXPECT_NEAR(u[by * (w / 2) + bx], 128 + 224 * (-0.168736 * r - 0.331264 * g + 0.5 * b) / 255, 1.0);
            EXPECT_NEAR(v[by * (w / 2) + bx], 128 + 224 * (0.5 * r - 0.418688 * g - 0.081312 * b) / 255, 1.0);
        }
    EXPECT_EQ(yuv[0], 82);  // the red corner at the top left: Y of pure red
}

TEST(FrameQueue, DeliversEveryWantedFrameInOrderWithItsOwnPixels) {
    RecordingSink all, everyThird(-1, 3);
    FrameQueue queue(8, 4, {&all, &everyThird}, 2);
    for (int64_t i = 0; i < 50; ++i) {
        ASSERT_TRUE(queue.Wanted(i));
        uint8_t* pixels = queue.Acquire();
        pixels[0] = static_cast<uint8_t>(i);
        queue.Submit(i, i / 10.0);
    }
    queue.Drain();
    ASSERT_EQ(all.indices.size(), 50u);
    for (int64_t i = 0; i < 50; ++i) {
        EXPECT_EQ(all.indices[i], i);
        EXPECT_EQ(all.firstBytes[i], i);  // no buffer reused before its frame was written
    }
    EXPECT_EQ(everyThird.indices,
              (std::vector<int64_t>{0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45, 48}));
}

TEST(FrameQueue, ASinkFailureReachesTheRenderThread) {
    RecordingSink failing(7);
    FrameQueue queue(4, 4, {&failing}, 3);
    try {
        for (int64_t i = 0; i < 1000; ++i) {
            queue.Acquire();
            queue.Submit(i, 0.0);
        }
        queue.Drain();
        FAIL() << "the failure was not reported";
    } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "sink failed at frame 7");
    }
    EXPECT_EQ(failing.indices.size(), 7u);
}

TEST(SheetLayout, GridCellsAndChosenFrames) {
    const SheetLayout wide = SheetLayout::For(1280, 720, 1200);
    EXPECT_EQ(wide.cells, 16);
    EXPECT_EQ(wide.columns, 4);
    EXPECT_EQ(wide.thumbWidth, 320);
    EXPECT_EQ(wide.thumbHeight, 180);
    EXPECT_EQ(wide.width, 4 * 328 + 8);
    EXPECT_EQ(wide.height, 4 * (180 + 32) + 8);
    EXPECT_EQ(wide.frames.front(), 37);  // the middle of the first sixteenth
    EXPECT_EQ(wide.frames.back(), 1162);

    const SheetLayout tall = SheetLayout::For(720, 1280, 5);
    EXPECT_EQ(tall.thumbWidth, 180);
    EXPECT_EQ(tall.thumbHeight, 320);
    EXPECT_EQ(tall.cells, 5);
    EXPECT_EQ(tall.rows, 2);
    EXPECT_EQ(tall.frames, (std::vector<int64_t>{0, 1, 2, 3, 4}));

    const SheetLayout headed = SheetLayout::For(1280, 720, 1200, true);
    EXPECT_EQ(headed.height, wide.height + 32);
    EXPECT_EQ(headed.CellTop(5), wide.CellTop(5) + 32);

    const SheetLayout one = SheetLayout::For(16, 16, 1);
    EXPECT_EQ(one.frames, std::vector<int64_t>{0});
    EXPECT_EQ(one.width, 16 + 16);
}

TEST(ClockText, RoundsToTheLastDigitShown) {
    EXPECT_EQ(ClockText(0.0, 2), "0:00.00");
    EXPECT_EQ(ClockText(59.996, 2), "1:00.00");
    EXPECT_EQ(ClockText(75.25, 2), "1:15.25");
    EXPECT_EQ(ClockText(3725.4, 0), "1:02:05");
    EXPECT_EQ(ClockText(-1.5, 1), "-0:01.5");
}

TEST(ProgressMeter, LinesModeWritesFiguresOnAnIntervalAndAClosingLine) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    {
        ProgressMeter meter(100, ProgressMeter::kLines, out, 0.0);
        for (int i = 1; i <= 100; ++i) meter.Update(i);
        meter.Finish();
    }
    fclose(out);
    const std::string report(text, size);
    free(text);
    EXPECT_NE(report.find("100/100 frames"), std::string::npos) << report;
    EXPECT_NE(report.find(" fps  0:00 left\n"), std::string::npos) << report;
    EXPECT_NE(report.find("100 frames in "), std::string::npos) << report;
    EXPECT_EQ(report.find('\r'), std::string::npos);  // no bar outside a terminal

    ProgressMeter silent(10, ProgressMeter::kSilent, nullptr);
    silent.Update(5);  // writing to a null stream would crash
    silent.Finish();
}

}  // namespace
