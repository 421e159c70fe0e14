#include "gst/gst_lumagrove.h"

#include <dlfcn.h>
#include <gst/audio/audio.h>
#include <gst/video/gstvideopool.h>
#include <gst/video/video.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gst/shared_renderer.h"
#include "host/analysis/analysis.h"
#include "host/audio/audio_source.h"
#include "host/base/host_error.h"

GST_DEBUG_CATEGORY_STATIC(lumagrove_debug);
#define GST_CAT_DEFAULT lumagrove_debug

namespace {

// The element's sound and frames from the start of the stream (or the last
// flush): the folded samples still needed, and the next frame to draw.
struct Stream {
    std::unique_ptr<LevelAnalysis> analysis;
    std::unique_ptr<SideMix> mix;
    int rate = 0, channels = 0;
    std::vector<float> stereo;  // folded samples from `first`, left, right, ...
    int64_t first = 0;          // sample index of stereo[0]
    int64_t received = 0;       // samples received since the stream's start
    int64_t nextFrame = 0;
    GstClockTime startPts = GST_CLOCK_TIME_NONE;  // the first buffer's
    double lastTime = 0;
    std::vector<float> window;  // the analysis window being handed over
    AudioBlock block = {};

    void Restart() {
        stereo.clear();
        first = received = nextFrame = 0;
        startPts = GST_CLOCK_TIME_NONE;
        if (analysis) analysis->Restart();
    }
};

ChannelSide SideOf(GstAudioChannelPosition position) {
    switch (position) {
        case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_REAR_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
        case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_TOP_SIDE_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_WIDE_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_SURROUND_LEFT:
        case GST_AUDIO_CHANNEL_POSITION_BOTTOM_FRONT_LEFT:
            return ChannelSide::kLeft;
        case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
        case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_TOP_SIDE_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_WIDE_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_SURROUND_RIGHT:
        case GST_AUDIO_CHANNEL_POSITION_BOTTOM_FRONT_RIGHT:
            return ChannelSide::kRight;
        default:
            return ChannelSide::kBoth;
    }
}

// "<folder of this module>/lumagrove.so": the plug-in installed beside the element.
std::string DefaultPluginPath() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&DefaultPluginPath), &info) || !info.dli_fname) return "lumagrove.so";
    const std::string self = info.dli_fname;
    return self.substr(0, self.rfind('/') + 1) + "lumagrove.so";
}

}  // namespace

struct _GstLumagrove {
    GstAudioVisualizer parent;
    gchar* pluginPath;
    gboolean holdsRenderer;
    GstSegment segment;
    GstPadEventFunction parentSinkEvent;
    Stream* stream;
    GstBufferPool* pool;  // the frames' memory, for the negotiated size
    gsize poolSize;
};

G_DEFINE_TYPE(GstLumagrove, gst_lumagrove, GST_TYPE_AUDIO_VISUALIZER)

enum { PROP_0, PROP_PLUGIN };

static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { F32LE, S16LE }, layout = (string) interleaved, "
                    "rate = (int) [ 8000, 192000 ], channels = (int) [ 1, 8 ]"));

// Where downstream leaves the picture open, the first structure wins: 720p60.
static GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) BGRx, width = (int) 1280, height = (int) 720, "
                    "framerate = (fraction) 60/1; "
                    "video/x-raw, format = (string) { BGRx, BGRA }, width = (int) [ 16, 8192 ], "
                    "height = (int) [ 16, 8192 ], framerate = (fraction) [ 1/1, 1000/1 ]"));

// Draws frame `k` from the folded samples held, into a new buffer pushed
// downstream. Needs the samples up to half a window past the frame's time
// (or EOS, when the rest reads as silence).
static GstFlowReturn DrawAndPush(GstLumagrove* self, int64_t k) {
    GstAudioVisualizer* scope = GST_AUDIO_VISUALIZER(self);
    Stream& s = *self->stream;
    const int fpsN = GST_VIDEO_INFO_FPS_N(&scope->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&scope->vinfo);
    const double since = static_cast<double>(k * fpsD) / fpsN;
    const int n = s.analysis->windowFrames();
    const int64_t centre = static_cast<int64_t>(floor(since * s.rate + 0.5));
    s.window.assign(static_cast<size_t>(n) * 2, 0.0f);
    for (int i = 0; i < n; ++i) {
        const int64_t at = centre - n / 2 + i - s.first;
        if (at >= 0 && at < static_cast<int64_t>(s.stereo.size() / 2)) {
            s.window[2 * i] = s.stereo[2 * at];
            s.window[2 * i + 1] = s.stereo[2 * at + 1];
        }
    }
    const GstClockTime pts = s.startPts + gst_util_uint64_scale(k, fpsD * GST_SECOND, fpsN);
    // The stream time of the first buffer, then k / fps on from it, in the
    // arithmetic lumagrove-preview uses, so the same song gives the same times.
    const guint64 startTime = gst_segment_to_stream_time(&self->segment, GST_FORMAT_TIME, s.startPts);
    const double time = (GST_CLOCK_TIME_IS_VALID(startTime) ? static_cast<double>(startTime) / GST_SECOND : 0.0) + since;
    if (k == 0) s.analysis->Restart();
    s.analysis->Analyse(s.window.data(), time - s.lastTime, &s.block);
    s.lastTime = time;

    // Frames from a pool of the negotiated size: no new memory per frame.
    if (!self->pool || self->poolSize != GST_VIDEO_INFO_SIZE(&scope->vinfo)) {
        if (self->pool) {
            gst_buffer_pool_set_active(self->pool, FALSE);
            gst_object_unref(self->pool);
        }
        self->pool = gst_video_buffer_pool_new();
        GstStructure* config = gst_buffer_pool_get_config(self->pool);
        GstCaps* caps = gst_video_info_to_caps(&scope->vinfo);
        gst_buffer_pool_config_set_params(config, caps, GST_VIDEO_INFO_SIZE(&scope->vinfo), 2, 0);
        gst_caps_unref(caps);
        gst_buffer_pool_set_config(self->pool, config);
        gst_buffer_pool_set_active(self->pool, TRUE);
        self->poolSize = GST_VIDEO_INFO_SIZE(&scope->vinfo);
    }
    GstBuffer* out = nullptr;
    if (gst_buffer_pool_acquire_buffer(self->pool, &out, nullptr) != GST_FLOW_OK) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("cannot get a video frame's memory"), (nullptr));
        return GST_FLOW_ERROR;
    }
    GST_BUFFER_PTS(out) = pts;
    GST_BUFFER_DURATION(out) = gst_util_uint64_scale(GST_SECOND, fpsD, fpsN);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &scope->vinfo, out, GST_MAP_WRITE)) {
        gst_buffer_unref(out);
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("cannot map a video frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    const RenderParams params = {&s.block, GST_VIDEO_INFO_WIDTH(&scope->vinfo), GST_VIDEO_INFO_HEIGHT(&scope->vinfo),
                                 0, time};
    try {
        DrawFrame(params, static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    } catch (const std::exception& e) {
        gst_video_frame_unmap(&frame);
        gst_buffer_unref(out);
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", e.what()), (nullptr));
        return GST_FLOW_ERROR;
    }
    gst_video_frame_unmap(&frame);
    GstPad* src = gst_element_get_static_pad(GST_ELEMENT(self), "src");
    const GstFlowReturn result = gst_pad_push(src, out);
    gst_object_unref(src);
    return result;
}

// Frames while the sound to draw them from is here; at EOS, all that the
// sound covers.
static GstFlowReturn DrawReady(GstLumagrove* self, bool atEos) {
    GstAudioVisualizer* scope = GST_AUDIO_VISUALIZER(self);
    Stream& s = *self->stream;
    if (!s.analysis || GST_VIDEO_INFO_FPS_N(&scope->vinfo) <= 0 || !GST_CLOCK_TIME_IS_VALID(s.startPts))
        return GST_FLOW_OK;
    const int fpsN = GST_VIDEO_INFO_FPS_N(&scope->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&scope->vinfo);
    const int half = s.analysis->windowFrames() / 2;
    // At EOS: the frames that cover the sound, as lumagrove-preview counts them.
    const double seconds = static_cast<double>(s.received) / s.rate;
    const int64_t total = std::max<int64_t>(1, static_cast<int64_t>(ceil(seconds * fpsN / fpsD - 1e-3)));
    for (;;) {
        const int64_t k = s.nextFrame;
        const double since = static_cast<double>(k * fpsD) / fpsN;
        const int64_t centre = static_cast<int64_t>(floor(since * s.rate + 0.5));
        if (atEos ? k >= total : centre + half > s.received) break;
        const GstFlowReturn result = DrawAndPush(self, k);
        if (result != GST_FLOW_OK) return result;
        s.nextFrame = k + 1;
        // Keep only what later frames can still need.
        const int64_t keepFrom = static_cast<int64_t>(floor(static_cast<double>((k + 1) * fpsD) / fpsN * s.rate + 0.5)) - half;
        const int64_t drop = std::min<int64_t>(keepFrom - s.first, static_cast<int64_t>(s.stereo.size() / 2));
        if (drop > 0) {
            s.stereo.erase(s.stereo.begin(), s.stereo.begin() + 2 * drop);
            s.first += drop;
        }
    }
    return GST_FLOW_OK;
}

static GstFlowReturn gst_lumagrove_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    GstLumagrove* self = GST_LUMAGROVE(parent);
    GstAudioVisualizer* scope = GST_AUDIO_VISUALIZER(self);
    Stream& s = *self->stream;
    // Downstream asked for another picture: negotiate again from the sound's caps.
    GstPad* src = gst_element_get_static_pad(GST_ELEMENT(self), "src");
    if (gst_pad_check_reconfigure(src)) {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (caps) self->parentSinkEvent(pad, parent, gst_event_new_caps(caps));
        if (caps) gst_caps_unref(caps);
    }
    gst_object_unref(src);
    if (!s.analysis || GST_AUDIO_INFO_BPF(&scope->ainfo) == 0) {
        gst_buffer_unref(buffer);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    if (!GST_CLOCK_TIME_IS_VALID(s.startPts))
        s.startPts = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : self->segment.start;

    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, STREAM, DECODE, ("cannot read a sound buffer"), (nullptr));
        return GST_FLOW_ERROR;
    }
    const int64_t frames = static_cast<int64_t>(map.size / GST_AUDIO_INFO_BPF(&scope->ainfo));
    const size_t at = s.stereo.size();
    s.stereo.resize(at + static_cast<size_t>(frames) * 2);
    std::vector<float> samples(static_cast<size_t>(frames) * s.channels);
    if (GST_AUDIO_INFO_FORMAT(&scope->ainfo) == GST_AUDIO_FORMAT_S16LE) {
        const int16_t* in = reinterpret_cast<const int16_t*>(map.data);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = in[i] / 32768.0f;
    } else {
        memcpy(samples.data(), map.data, samples.size() * sizeof(float));
        for (float& v : samples) v = std::isfinite(v) ? std::min(1.0f, std::max(-1.0f, v)) : 0.0f;
    }
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
    s.mix->Fold(samples.data(), frames, &s.stereo[at]);
    s.received += frames;
    return DrawReady(self, false);
}

static gboolean gst_lumagrove_sink_event(GstPad* pad, GstObject* parent, GstEvent* event) {
    GstLumagrove* self = GST_LUMAGROVE(parent);
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_EOS:
            DrawReady(self, true);
            break;
        case GST_EVENT_FLUSH_STOP:
            self->stream->Restart();
            break;
        case GST_EVENT_SEGMENT:
            gst_event_copy_segment(event, &self->segment);
            self->stream->Restart();
            break;
        default:
            break;
    }
    return self->parentSinkEvent(pad, parent, event);
}

// The sound's format is known: the analysis for its rate, the folding for its channels.
static gboolean gst_lumagrove_setup(GstAudioVisualizer* scope) {
    GstLumagrove* self = GST_LUMAGROVE(scope);
    Stream& s = *self->stream;
    const int rate = GST_AUDIO_INFO_RATE(&scope->ainfo), channels = GST_AUDIO_INFO_CHANNELS(&scope->ainfo);
    try {
        if (!s.analysis || s.rate != rate) s.analysis = std::make_unique<LevelAnalysis>(rate);
    } catch (const std::exception& e) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s", e.what()), (nullptr));
        return FALSE;
    }
    std::vector<ChannelSide> sides;
    for (int c = 0; c < channels; ++c)
        sides.push_back(channels == 1 ? ChannelSide::kBoth : SideOf(GST_AUDIO_INFO_POSITION(&scope->ainfo, c)));
    s.mix = std::make_unique<SideMix>(sides);
    if (s.rate != rate || s.channels != channels) s.Restart();
    s.rate = rate;
    s.channels = channels;
    return TRUE;
}

static gboolean gst_lumagrove_render(GstAudioVisualizer*, GstBuffer*, GstVideoFrame*) {
    return TRUE;  // frames are drawn by the element's own chain, on the stream's clock
}

static GstStateChangeReturn gst_lumagrove_change_state(GstElement* element, GstStateChange transition) {
    GstLumagrove* self = GST_LUMAGROVE(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        try {
            AcquireRenderer(self->pluginPath);
            self->holdsRenderer = TRUE;
        } catch (const std::exception& e) {
            GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("%s", e.what()), (nullptr));
            return GST_STATE_CHANGE_FAILURE;
        }
        self->stream->Restart();
        gst_segment_init(&self->segment, GST_FORMAT_TIME);
    }
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(gst_lumagrove_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        if (self->holdsRenderer) ReleaseRenderer();
        self->holdsRenderer = FALSE;
        if (self->pool) {
            gst_buffer_pool_set_active(self->pool, FALSE);
            gst_object_unref(self->pool);
        }
        self->pool = nullptr;
    }
    return result;
}

static void gst_lumagrove_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstLumagrove* self = GST_LUMAGROVE(object);
    if (id == PROP_PLUGIN) {
        g_free(self->pluginPath);
        self->pluginPath = g_value_dup_string(value);
        if (!self->pluginPath) self->pluginPath = g_strdup(DefaultPluginPath().c_str());
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

static void gst_lumagrove_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstLumagrove* self = GST_LUMAGROVE(object);
    if (id == PROP_PLUGIN) g_value_set_string(value, self->pluginPath);
    else G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

static void gst_lumagrove_finalize(GObject* object) {
    GstLumagrove* self = GST_LUMAGROVE(object);
    if (self->holdsRenderer) ReleaseRenderer();
    if (self->pool) {
        gst_buffer_pool_set_active(self->pool, FALSE);
        gst_object_unref(self->pool);
    }
    delete self->stream;
    g_free(self->pluginPath);
    G_OBJECT_CLASS(gst_lumagrove_parent_class)->finalize(object);
}

static void gst_lumagrove_class_init(GstLumagroveClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstAudioVisualizerClass* scope = GST_AUDIO_VISUALIZER_CLASS(klass);
    object->set_property = gst_lumagrove_set_property;
    object->get_property = gst_lumagrove_get_property;
    object->finalize = gst_lumagrove_finalize;
    g_object_class_install_property(
        object, PROP_PLUGIN,
        g_param_spec_string("plugin", "Plug-in", "The Lumagrove plug-in library to host",
                            DefaultPluginPath().c_str(),
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                     GST_PARAM_MUTABLE_READY)));
    gst_element_class_set_static_metadata(element, "Lumagrove", "Visualization",
                                          "A four-pointed star with glows that follow the music",
                                          "Lumagrove developers");
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    element->change_state = gst_lumagrove_change_state;
    scope->setup = gst_lumagrove_setup;
    scope->render = gst_lumagrove_render;
    GST_DEBUG_CATEGORY_INIT(lumagrove_debug, "lumagrove", 0, "Lumagrove visualiser");
}

static void gst_lumagrove_init(GstLumagrove* self) {
    self->pluginPath = g_strdup(DefaultPluginPath().c_str());
    self->stream = new Stream();
    gst_segment_init(&self->segment, GST_FORMAT_TIME);
    g_object_set(self, "shader", GST_AUDIO_VISUALIZER_SHADER_NONE, nullptr);
    // The sound goes through the element's own chain: it holds back half an
    // analysis window, which the base class's fixed blocks cannot.
    GstPad* sink = gst_element_get_static_pad(GST_ELEMENT(self), "sink");
    self->parentSinkEvent = GST_PAD_EVENTFUNC(sink);
    gst_pad_set_chain_function(sink, GST_DEBUG_FUNCPTR(gst_lumagrove_chain));
    gst_pad_set_event_function(sink, GST_DEBUG_FUNCPTR(gst_lumagrove_sink_event));
    gst_object_unref(sink);
}
