// The lumagrove element in-process, driven by GStreamer's check library
// (GstHarness): frames and their timestamps, two elements at once, many
// starts and stops. It draws with the real plug-in in a real context.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

const int kRate = 48000;

// `seconds` of a stereo 60 Hz tone, on for half a second, off for half a second,
// as S16LE buffers of 1024 frames with their timestamps (from `from` seconds).
std::vector<GstBuffer*> Sound(double seconds, int rate = kRate, double from = 0.0) {
    std::vector<GstBuffer*> buffers;
    const int64_t total = static_cast<int64_t>(seconds * rate);
    for (int64_t at = 0; at < total; at += 1024) {
        const int64_t n = std::min<int64_t>(1024, total - at);
        GstBuffer* b = gst_buffer_new_allocate(nullptr, n * 4, nullptr);
        GstMapInfo map;
        gst_buffer_map(b, &map, GST_MAP_WRITE);
        int16_t* s = reinterpret_cast<int16_t*>(map.data);
        for (int64_t i = 0; i < n; ++i) {
            const double t = (at + i) / double(rate);
            const double v = fmod(t, 1.0) < 0.5 ? 0.8 * sin(2 * M_PI * 60 * t) : 0.0;
            s[2 * i] = s[2 * i + 1] = static_cast<int16_t>(v * 32767);
        }
        gst_buffer_unmap(b, &map);
        GST_BUFFER_PTS(b) = gst_util_uint64_scale(at, GST_SECOND, rate) + static_cast<GstClockTime>(from * GST_SECOND);
        GST_BUFFER_DURATION(b) = gst_util_uint64_scale(n, GST_SECOND, rate);
        buffers.push_back(b);
    }
    return buffers;
}

GstHarness* NewElement(const char* size) {
    GstHarness* h = gst_harness_new_parse("lumagrove name=scope plugin=" LUMAGROVE_MODULE_PATH);
    gst_harness_set_src_caps_str(h, "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=2");
    gst_harness_set_sink_caps_str(h, (std::string("video/x-raw, format=BGRx, framerate=20/1, ") + size).c_str());
    return h;
}

// Pushes the sound and EOS; returns every frame that came out.
std::vector<GstBuffer*> PushAndPull(GstHarness* h, double seconds) {
    for (GstBuffer* b : Sound(seconds)) EXPECT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
    EXPECT_TRUE(gst_harness_push_event(h, gst_event_new_eos()));
    std::vector<GstBuffer*> frames;
    while (GstBuffer* f = gst_harness_try_pull(h)) frames.push_back(f);
    return frames;
}

double Brightness(GstBuffer* frame) {
    GstMapInfo map;
    gst_buffer_map(frame, &map, GST_MAP_READ);
    double sum = 0;
    for (size_t i = 0; i < map.size; i += 4) sum += map.data[i] + map.data[i + 1] + map.data[i + 2];
    gst_buffer_unmap(frame, &map);
    return sum / (map.size / 4 * 3);
}

class LumagroveElement : public ::testing::Test {
protected:
    // The element from the build, scanned in this process (an instrumented
    // build's element cannot be loaded by GStreamer's uninstrumented scanner),
    // in a registry of its own that holds it alone: the harness needs no
    // other plug-in, and whatever else the machine has installed (plug-ins
    // that load drivers and keep memory) stays out of the test.
    static void SetUpTestSuite() {
        setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "", 1);
        setenv("GST_PLUGIN_PATH_1_0", LUMAGROVE_GST_DIR, 1);
        setenv("GST_PLUGIN_PATH", LUMAGROVE_GST_DIR, 1);
        setenv("GST_REGISTRY", LUMAGROVE_GST_DIR "/test-registry-element-alone.bin", 1);
        setenv("GST_REGISTRY_FORK", "no", 1);
        gst_init(nullptr, nullptr);
    }
};

TEST_F(LumagroveElement, ASecondOfSoundGivesAFrameEvery20thOfASecondWithItsTimestamp) {
    GstHarness* h = NewElement("width=64, height=36");
    std::vector<GstBuffer*> frames = PushAndPull(h, 1.0);
    ASSERT_EQ(frames.size(), 20u);  // the last ones drawn at EOS
    for (size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(GST_BUFFER_PTS(frames[k]), k * GST_SECOND / 20) << "frame " << k;
        EXPECT_EQ(GST_BUFFER_DURATION(frames[k]), GST_SECOND / 20);
        EXPECT_EQ(gst_buffer_get_size(frames[k]), 64u * 36 * 4);
    }
    // The glows follow the tone: a frame in it is brighter than one near the
    // end of the silence after it.
    EXPECT_GT(Brightness(frames[8]), 1.5 * Brightness(frames[19]));
    for (GstBuffer* f : frames) gst_buffer_unref(f);
    gst_harness_teardown(h);
}

TEST_F(LumagroveElement, TwoElementsAtOnceEachDrawTheirOwnFrames) {
    GstHarness* a = NewElement("width=64, height=36");
    GstHarness* b = NewElement("width=80, height=50");
    std::vector<GstBuffer*> sa = Sound(0.5), sb = Sound(0.5);
    for (size_t i = 0; i < sa.size(); ++i) {
        ASSERT_EQ(gst_harness_push(a, sa[i]), GST_FLOW_OK);
        ASSERT_EQ(gst_harness_push(b, sb[i]), GST_FLOW_OK);
    }
    gst_harness_push_event(a, gst_event_new_eos());
    gst_harness_push_event(b, gst_event_new_eos());
    int count = 0;
    for (GstHarness* h : {a, b})
        while (GstBuffer* f = gst_harness_try_pull(h)) {
            EXPECT_EQ(gst_buffer_get_size(f), h == a ? 64u * 36 * 4 : 80u * 50 * 4);
            EXPECT_GT(Brightness(f), 0.5);
            gst_buffer_unref(f);
            ++count;
        }
    EXPECT_EQ(count, 20);
    gst_harness_teardown(a);
    gst_harness_teardown(b);
}

TEST_F(LumagroveElement, FiftyStartsAndStopsWithAChangeOfSizeAndAFlush) {
    for (int i = 0; i < 50; ++i) {
        GstHarness* h = NewElement(i % 2 ? "width=32, height=32" : "width=48, height=20");
        if (i % 5 == 0) {
            // A flush part-way: the analysis starts afresh, the frames from 0.
            for (GstBuffer* b : Sound(0.2)) gst_harness_push(h, b);
            gst_harness_push_event(h, gst_event_new_flush_start());
            gst_harness_push_event(h, gst_event_new_flush_stop(TRUE));
            GstSegment segment;
            gst_segment_init(&segment, GST_FORMAT_TIME);
            gst_harness_push_event(h, gst_event_new_segment(&segment));
            while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f);
        }
        std::vector<GstBuffer*> frames = PushAndPull(h, 0.2);
        ASSERT_EQ(frames.size(), 4u) << "run " << i;
        EXPECT_EQ(GST_BUFFER_PTS(frames[0]), 0u);
        for (GstBuffer* f : frames) gst_buffer_unref(f);
        gst_harness_teardown(h);
    }
}

// Downstream turns to a format the element cannot draw (RGB) mid-stream: the
// stream stops, not-negotiated with an element error, instead of going on
// in the old format.
TEST_F(LumagroveElement, ARenegotiationToCapsItCannotMakeIsNotNegotiated) {
    GstHarness* h = NewElement("width=64, height=36");
    std::vector<GstBuffer*> sound = Sound(0.4);
    size_t i = 0;
    for (; i < sound.size() / 2; ++i) ASSERT_EQ(gst_harness_push(h, sound[i]), GST_FLOW_OK);
    gst_harness_set_sink_caps_str(h, "video/x-raw, format=RGB, width=64, height=36, framerate=20/1");
    GstFlowReturn result = GST_FLOW_OK;
    for (; i < sound.size() && result == GST_FLOW_OK; ++i) result = gst_harness_push(h, sound[i]);
    EXPECT_EQ(result, GST_FLOW_NOT_NEGOTIATED);
    for (; i < sound.size(); ++i) gst_buffer_unref(sound[i]);
    while (GstBuffer* f = gst_harness_try_pull(h)) {
        EXPECT_EQ(gst_buffer_get_size(f), 64u * 36 * 4) << "only frames in the format asked for";
        gst_buffer_unref(f);
    }
    gst_harness_teardown(h);
}

// Downstream says it is late (a QoS event: the frame at 0.2 s came 0.3 s
// late): the frames that could not be shown in time are not drawn or pushed,
// each posted as a QoS message with the counts, and the frames after them
// keep their times.
TEST_F(LumagroveElement, FramesThatWouldBeLateAreSkippedAndPostedAsQos) {
    GstHarness* h = NewElement("width=64, height=36");
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    std::vector<GstBuffer*> sound = Sound(2.0);
    size_t i = 0;
    for (; i < sound.size() / 4; ++i) ASSERT_EQ(gst_harness_push(h, sound[i]), GST_FLOW_OK);
    while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f);
    // earliest = 0.2 s + min(2 * 0.3 s, 1 s) + one frame (0.05 s) = 0.85 s
    ASSERT_TRUE(gst_harness_push_upstream_event(
        h, gst_event_new_qos(GST_QOS_TYPE_UNDERFLOW, 0.5, 300 * GST_MSECOND, 200 * GST_MSECOND)));
    for (; i < sound.size(); ++i) ASSERT_EQ(gst_harness_push(h, sound[i]), GST_FLOW_OK);
    std::vector<GstClockTime> times;
    while (GstBuffer* f = gst_harness_try_pull(h)) {
        times.push_back(GST_BUFFER_PTS(f));
        gst_buffer_unref(f);
    }
    ASSERT_FALSE(times.empty());
    for (GstClockTime t : times) EXPECT_TRUE(t + GST_SECOND / 20 > 850 * GST_MSECOND) << "a late frame at " << t;
    EXPECT_EQ(times.front(), 17 * GST_SECOND / 20) << "the first frame in time (it ends at 0.9 s), at its own time";
    int qos = 0;
    guint64 dropped = 0;
    while (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_QOS)) {
        ++qos;
        gst_message_parse_qos_stats(m, nullptr, nullptr, &dropped);
        gst_message_unref(m);
    }
    EXPECT_GT(qos, 0);
    EXPECT_EQ(dropped, static_cast<guint64>(qos)) << "each skipped frame posted once";
    gst_element_set_bus(h->element, nullptr);
    gst_object_unref(bus);
    gst_harness_teardown(h);
}

// Caps that fix some fields leave the others at their defaults (BGRx,
// 1280x720, 60 fps), not at the base class's 320x200 at 25.
TEST_F(LumagroveElement, FieldsDownstreamLeavesOpenTakeTheirDefaults) {
    struct Case {
        const char* downstream;
        const char* format;
        int width, height, fpsN;
    };
    for (const Case& c : {Case{"video/x-raw, format=BGRA", "BGRA", 1280, 720, 60},
                          Case{"video/x-raw, framerate=30/1", "BGRx", 1280, 720, 30},
                          Case{"video/x-raw, width=640", "BGRx", 640, 720, 60},
                          Case{"video/x-raw, height=240, framerate=24/1", "BGRx", 1280, 240, 24}}) {
        SCOPED_TRACE(c.downstream);
        GstHarness* h = gst_harness_new_parse("lumagrove plugin=" LUMAGROVE_MODULE_PATH);
        gst_harness_set_src_caps_str(h, "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=2");
        gst_harness_set_sink_caps_str(h, c.downstream);
        for (GstBuffer* b : Sound(0.3)) ASSERT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
        GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
        ASSERT_NE(caps, nullptr);
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_from_caps(&info, caps));
        EXPECT_STREQ(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)), c.format);
        EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), c.width);
        EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), c.height);
        EXPECT_EQ(GST_VIDEO_INFO_FPS_N(&info), c.fpsN);
        gst_caps_unref(caps);
        gst_harness_teardown(h);
    }
}

// Two stretches of sound joined without a gap, by a new segment or by new
// sound caps (a concat of a 48 kHz and a 22.05 kHz song): the frames the
// first stretch covers are all drawn before the second starts afresh.
TEST_F(LumagroveElement, AJunctionLosesNoFrames) {
    for (bool newCaps : {false, true}) {
        SCOPED_TRACE(newCaps ? "new sound caps" : "new segment");
        GstHarness* h = gst_harness_new_parse("lumagrove plugin=" LUMAGROVE_MODULE_PATH);
        gst_harness_set_src_caps_str(h, "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=2");
        gst_harness_set_sink_caps_str(h, "video/x-raw, format=BGRx, width=64, height=36, framerate=60/1");
        for (GstBuffer* b : Sound(0.5)) ASSERT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
        const int rate = newCaps ? 22050 : 48000;
        if (newCaps) {
            gst_harness_set_src_caps_str(
                h, ("audio/x-raw, format=S16LE, layout=interleaved, channels=2, rate=" + std::to_string(rate)).c_str());
        }
        GstSegment segment;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        segment.start = segment.time = GST_SECOND / 2;
        ASSERT_TRUE(gst_harness_push_event(h, gst_event_new_segment(&segment)));
        for (GstBuffer* b : Sound(0.5, rate, 0.5)) ASSERT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
        gst_harness_push_event(h, gst_event_new_eos());
        int frames = 0;
        while (GstBuffer* f = gst_harness_try_pull(h)) {
            ++frames;
            gst_buffer_unref(f);
        }
        EXPECT_EQ(frames, 60) << "30 frames for each half second";
        gst_harness_teardown(h);
    }
}

// A second of sound, then none for a second (its buffers lost, the next
// marked DISCONT; or a GAP event), then a second more: the frames follow the
// buffers' times, the gap shows the outline alone, and every frame keeps its
// place (60 at 20 fps over the three seconds).
TEST_F(LumagroveElement, FramesFollowTheBuffersTimesAcrossLostSoundAndGaps) {
    for (bool gapEvent : {false, true}) {
        SCOPED_TRACE(gapEvent ? "a GAP event" : "lost buffers and DISCONT");
        GstHarness* h = NewElement("width=64, height=36");
        std::vector<GstBuffer*> sound = Sound(3.0);
        const GstClockTime second = GST_SECOND;
        bool first = true;
        for (GstBuffer* b : sound) {
            const GstClockTime pts = GST_BUFFER_PTS(b);
            if (pts >= second && pts + GST_BUFFER_DURATION(b) <= 2 * second) {
                gst_buffer_unref(b);
                continue;
            }
            if (pts >= 2 * second && first) {
                first = false;
                if (gapEvent) ASSERT_TRUE(gst_harness_push_event(h, gst_event_new_gap(pts - second, second)));
                else GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DISCONT);
            }
            ASSERT_EQ(gst_harness_push(h, b), GST_FLOW_OK);
        }
        gst_harness_push_event(h, gst_event_new_eos());
        std::vector<GstBuffer*> frames;
        while (GstBuffer* f = gst_harness_try_pull(h)) frames.push_back(f);
        ASSERT_EQ(frames.size(), 60u);
        for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(GST_BUFFER_PTS(frames[i]), i * GST_SECOND / 20);
        // The tone sounds in the first half of each second: 2.1 s is lit; 1.5 s,
        // in the gap, shows the outline alone, as 0.95 s (the tone long off) does.
        EXPECT_GT(Brightness(frames[42]), 1.2 * Brightness(frames[30]));
        EXPECT_LT(Brightness(frames[30]), 1.1 * Brightness(frames[19]));
        for (GstBuffer* f : frames) gst_buffer_unref(f);
        gst_harness_teardown(h);
    }
}

// The inherited `shader` and `shade-amount` do what they do in GStreamer's own
// visualisers: with `fade` the glows of the tone (on for the first half of
// each second) leave trails into the silence after it, fading by the amount
// each frame; with `fade-and-move-up` the trails also climb. `none` (the
// element's default) leaves every frame as the plug-in drew it.
TEST_F(LumagroveElement, TheShaderPropertiesLeaveFadingTrails) {
    auto frames = [](const char* shader) {
        GstHarness* h = NewElement("width=96, height=54");
        // The harness holds the element in a bin of its own.
        GstElement* element = GST_IS_BIN(h->element) ? gst_bin_get_by_name(GST_BIN(h->element), "scope")
                                                     : GST_ELEMENT(gst_object_ref(h->element));
        EXPECT_NE(element, nullptr);
        gst_util_set_object_arg(G_OBJECT(element), "shader", shader);
        g_object_set(element, "shade-amount", 0x00101010u, nullptr);
        gst_object_unref(element);
        std::vector<GstBuffer*> out = PushAndPull(h, 1.0);
        std::vector<double> brightness;
        for (GstBuffer* f : out) {
            brightness.push_back(Brightness(f));
            gst_buffer_unref(f);
        }
        gst_harness_teardown(h);
        return brightness;
    };
    const std::vector<double> none = frames("none"), fade = frames("fade"), up = frames("fade-and-move-up");
    ASSERT_EQ(none.size(), 20u);
    ASSERT_EQ(fade.size(), 20u);
    EXPECT_EQ(none[0], fade[0]) << "nothing before the first frame";
    EXPECT_GT(fade[12], 1.15 * none[12]) << "a trail into the silence at 0.6 s";
    EXPECT_GT(fade[12], fade[16]) << "fading";
    EXPECT_NE(up[12], fade[12]) << "the trail moves";
}

// A 320x240 element's frames are the same, byte for byte, beside a larger
// element drawing first in the same process as alone.
TEST_F(LumagroveElement, FramesDoNotDependOnWhatElseTheProcessDraws) {
    auto frames = [](GstHarness* h) {
        std::vector<std::vector<uint8_t>> pictures;
        for (GstBuffer* f : PushAndPull(h, 0.5)) {
            GstMapInfo map;
            gst_buffer_map(f, &map, GST_MAP_READ);
            pictures.emplace_back(map.data, map.data + map.size);
            gst_buffer_unmap(f, &map);
            gst_buffer_unref(f);
        }
        return pictures;
    };
    GstHarness* alone = NewElement("width=320, height=240");
    const std::vector<std::vector<uint8_t>> first = frames(alone);
    gst_harness_teardown(alone);
    GstHarness* large = NewElement("width=1280, height=720");
    GstHarness* small = NewElement("width=320, height=240");
    for (GstBuffer* f : PushAndPull(large, 0.2)) gst_buffer_unref(f);  // the large frames drawn first
    const std::vector<std::vector<uint8_t>> beside = frames(small);
    ASSERT_EQ(beside.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_TRUE(beside[i] == first[i]) << "frame " << i;
    gst_harness_teardown(small);
    gst_harness_teardown(large);
}

// The latency it reports is what it holds back: half an analysis window at
// the stream's rate (2048 samples at 48 kHz, 512 at 8 kHz), on top of upstream's.
TEST_F(LumagroveElement, ItsLatencyIsTheHalfWindowItHoldsBack) {
    for (const auto& rate : {std::pair<int, int>{48000, 2048}, std::pair<int, int>{8000, 512}}) {
        GstHarness* h = gst_harness_new_parse("lumagrove plugin=" LUMAGROVE_MODULE_PATH);
        gst_harness_set_src_caps_str(
            h,
            ("audio/x-raw, format=S16LE, layout=interleaved, channels=2, rate=" + std::to_string(rate.first)).c_str());
        gst_harness_set_sink_caps_str(h, "video/x-raw, format=BGRx, width=64, height=36, framerate=60/1");
        gst_harness_set_upstream_latency(h, 10 * GST_MSECOND);
        const GstClockTime half = gst_util_uint64_scale_int_ceil(rate.second, GST_SECOND, rate.first);
        EXPECT_EQ(gst_harness_query_latency(h), 10 * GST_MSECOND + half) << rate.first << " Hz";
        gst_harness_teardown(h);
    }
}

TEST_F(LumagroveElement, OpenCapsGive720p60AndANewSizeMidStreamIsTakenUp) {
    GstHarness* h = gst_harness_new_parse("lumagrove plugin=" LUMAGROVE_MODULE_PATH);
    gst_harness_set_src_caps_str(h, "audio/x-raw, format=S16LE, layout=interleaved, rate=48000, channels=2");
    std::vector<GstBuffer*> sound = Sound(0.6);
    for (size_t i = 0; i < sound.size() / 2; ++i) ASSERT_EQ(gst_harness_push(h, sound[i]), GST_FLOW_OK);
    GstBuffer* first = gst_harness_pull(h);
    EXPECT_EQ(gst_buffer_get_size(first), 1280u * 720 * 4);
    EXPECT_EQ(GST_BUFFER_DURATION(first), GST_SECOND / 60);
    gst_buffer_unref(first);
    while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f);
    // Downstream now wants 96x54 at 60 fps: the frames that follow are that size.
    gst_harness_set_sink_caps_str(h, "video/x-raw, format=BGRx, width=96, height=54, framerate=60/1");
    for (size_t i = sound.size() / 2; i < sound.size(); ++i) ASSERT_EQ(gst_harness_push(h, sound[i]), GST_FLOW_OK);
    gst_harness_push_event(h, gst_event_new_eos());
    GstBuffer* last = nullptr;
    while (GstBuffer* f = gst_harness_try_pull(h)) {
        if (last) gst_buffer_unref(last);
        last = f;
    }
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(gst_buffer_get_size(last), 96u * 54 * 4);
    EXPECT_EQ(GST_BUFFER_PTS(last), 35 * GST_SECOND / 60);  // the stream's frames run on: 36 in 0.6 s
    gst_buffer_unref(last);
    gst_harness_teardown(h);
}

}  // namespace
