#include "hosts/gst/gst_lumagrove.h"

#include <gst/audio/audio.h>
#include <gst/pbutils/pbutils-enumtypes.h>
#include <gst/video/gstvideopool.h>
#include <gst/video/video.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "hosts/gst/frame_shader.h"
#include "lumagrove/lumagrove.h"

GST_DEBUG_CATEGORY_STATIC(lumagrove_debug);
#define GST_CAT_DEFAULT lumagrove_debug

namespace {

// The element's frames: pushed downstream in a buffer of the negotiated
// size, each drawn straight into it.
class PadOutput {
public:
    explicit PadOutput(GstLumagrove* self) : self_(self) {}
    ~PadOutput() { Release(); }

    // A frame that would reach the sink late (by the QoS events it sends
    // upstream) is not drawn: it is counted and posted as a QoS message,
    // while the analysis still takes in its sound.
    bool Wants(int64_t index) const;

    // A buffer from the pool, mapped, for the next frame (false, and
    // `problem` says why, when there is none); then pushed.
    bool Lend(lumagrove_picture* picture);
    void Deliver(const lumagrove_frame& frame);
    // Lets go of the pool and of a buffer lent for a frame that failed.
    void Release();

    GstFlowReturn flow = GST_FLOW_OK;  // of the last push, or of a failure
    FrameShader shader;                // the trails of the `shader` property
    const char* problem = "";

private:
    GstLumagrove* self_;
    GstBufferPool* pool_ = nullptr;  // the frames' memory, for the negotiated size
    gsize poolSize_ = 0;
    GstBuffer* lent_ = nullptr;
    GstVideoFrame mapped_;
};

// The element's visualiser (from READY to PAUSED until back to READY), and
// its stream from the start (or the last flush): the next frame to draw.
struct Stream {
    lumagrove_visualiser* visualiser = nullptr;  // the sound pushed in, its analysis, the plug-in
    std::unique_ptr<PadOutput> output;
    int rate = 0, channels = 0;  // the sound's, once its caps have come
    lumagrove_side sides[LUMAGROVE_MAX_CHANNELS] = {};
    int64_t nextFrame = 0;
    GstClockTime startPts = GST_CLOCK_TIME_NONE;  // the first buffer's

    bool hasSound() const { return visualiser && rate > 0; }
    void Restart() {
        if (output) output->shader.Restart();
        if (visualiser) lumagrove_restart(visualiser);
        nextFrame = 0;
        startPts = GST_CLOCK_TIME_NONE;
    }
    void LetGo() {
        lumagrove_destroy(visualiser);
        visualiser = nullptr;
        rate = channels = 0;
    }
};

lumagrove_side SideOf(GstAudioChannelPosition position) {
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
            return LUMAGROVE_SIDE_LEFT;
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
            return LUMAGROVE_SIDE_RIGHT;
        default:
            return LUMAGROVE_SIDE_BOTH;
    }
}

}  // namespace

struct _GstLumagrove {
    GstElement parent;
    GstPad* sinkpad;
    GstPad* srcpad;
    GstAudioInfo ainfo;  // the sound's format, once its caps have come
    GstVideoInfo vinfo;  // the frames' format, once negotiated
    gchar* pluginPath;
    GstAudioVisualizerShader shader;  // the trails (under the object lock)
    guint shadeAmount;
    GstSegment segment;
    // Quality of service, from downstream's QoS events (under the object lock).
    gdouble proportion;
    GstClockTime earliest;  // running time before which a frame is too late
    guint64 processed, dropped;
    Stream* stream;
};

G_DEFINE_TYPE(GstLumagrove, gst_lumagrove, GST_TYPE_ELEMENT)

static void ResetQos(GstLumagrove* self) {
    GST_OBJECT_LOCK(self);
    self->proportion = 1.0;
    self->earliest = GST_CLOCK_TIME_NONE;
    self->processed = self->dropped = 0;
    GST_OBJECT_UNLOCK(self);
}

enum { PROP_0, PROP_PLUGIN, PROP_SHADER, PROP_SHADE_AMOUNT };

static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { F32LE, S16LE }, layout = (string) interleaved, "
                    "rate = (int) [ 8000, 192000 ], channels = (int) [ 1, 8 ]"));

// Each field downstream leaves open is fixed to its default (BGRx, 1280,
// 720, 60/1): the structures run from all defaults to none, and the first
// that downstream's caps meet wins (BGRx first where the format is open).
#define LUMAGROVE_VIDEO(width, height, rate)                                                       \
  "video/x-raw, format = (string) { BGRx, BGRA }, width = (int) " width ", height = (int) " height \
  ", framerate = (fraction) " rate
#define LUMAGROVE_ANY_SIZE "[ 16, 8192 ]"
#define LUMAGROVE_ANY_RATE "[ 1/1, 1000/1 ]"
static GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE(
        "src", GST_PAD_SRC, GST_PAD_ALWAYS,
        GST_STATIC_CAPS(LUMAGROVE_VIDEO("1280", "720", "60/1") "; " LUMAGROVE_VIDEO("1280", "720", LUMAGROVE_ANY_RATE) "; " LUMAGROVE_VIDEO(
            "1280", LUMAGROVE_ANY_SIZE,
            "60/1") "; " LUMAGROVE_VIDEO(LUMAGROVE_ANY_SIZE, "720",
                                         "60/1") "; " LUMAGROVE_VIDEO("1280", LUMAGROVE_ANY_SIZE,
                                                                      LUMAGROVE_ANY_RATE) "; " LUMAGROVE_VIDEO(LUMAGROVE_ANY_SIZE,
                                                                                                               "720",
                                                                                                               LUMAGROVE_ANY_RATE) "; " LUMAGROVE_VIDEO(LUMAGROVE_ANY_SIZE,
                                                                                                                                                        LUMAGROVE_ANY_SIZE,
                                                                                                                                                        "60/1") "; " LUMAGROVE_VIDEO(LUMAGROVE_ANY_SIZE,
                                                                                                                                                                                     LUMAGROVE_ANY_SIZE,
                                                                                                                                                                                     LUMAGROVE_ANY_RATE)));

bool PadOutput::Lend(lumagrove_picture* picture) {
    if (lent_) Release();
    // Frames from a pool of the negotiated size: no new memory per frame.
    if (!pool_ || poolSize_ != GST_VIDEO_INFO_SIZE(&self_->vinfo)) {
        Release();
        pool_ = gst_video_buffer_pool_new();
        GstStructure* config = gst_buffer_pool_get_config(pool_);
        GstCaps* caps = gst_video_info_to_caps(&self_->vinfo);
        gst_buffer_pool_config_set_params(config, caps, GST_VIDEO_INFO_SIZE(&self_->vinfo), 2, 0);
        gst_caps_unref(caps);
        gst_buffer_pool_set_config(pool_, config);
        gst_buffer_pool_set_active(pool_, TRUE);
        poolSize_ = GST_VIDEO_INFO_SIZE(&self_->vinfo);
    }
    if (gst_buffer_pool_acquire_buffer(pool_, &lent_, nullptr) != GST_FLOW_OK) {
        lent_ = nullptr;
        problem = "cannot get a video frame's memory";
        return false;
    }
    if (!gst_video_frame_map(&mapped_, &self_->vinfo, lent_, GST_MAP_WRITE)) {
        gst_buffer_unref(lent_);
        lent_ = nullptr;
        problem = "cannot map a video frame";
        return false;
    }
    // BGRx and BGRA alike: the blue, green, red bytes, then 255.
    *picture =
        lumagrove_picture{GST_VIDEO_FRAME_PLANE_DATA(&mapped_, 0),
                          static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped_, 0)), LUMAGROVE_PIXELS_BGRA, 0};
    return true;
}

bool PadOutput::Wants(int64_t index) const {
    const int fpsN = GST_VIDEO_INFO_FPS_N(&self_->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&self_->vinfo);
    const GstClockTime duration = gst_util_uint64_scale(GST_SECOND, fpsD, fpsN);
    const GstClockTime pts = self_->stream->startPts + gst_util_uint64_scale(index, fpsD * GST_SECOND, fpsN);
    const GstClockTime running = gst_segment_to_running_time(&self_->segment, GST_FORMAT_TIME, pts);
    GST_OBJECT_LOCK(self_);
    const GstClockTime earliest = self_->earliest;
    const gdouble proportion = self_->proportion;
    const bool late =
        GST_CLOCK_TIME_IS_VALID(running) && GST_CLOCK_TIME_IS_VALID(earliest) && running + duration <= earliest;
    if (late) ++self_->dropped;
    else ++self_->processed;
    const guint64 processed = self_->processed, dropped = self_->dropped;
    GST_OBJECT_UNLOCK(self_);
    if (!late) return true;
    GstMessage* message =
        gst_message_new_qos(GST_OBJECT(self_), FALSE, running + duration,
                            gst_segment_to_stream_time(&self_->segment, GST_FORMAT_TIME, pts), pts, duration);
    gst_message_set_qos_values(message, GST_CLOCK_DIFF(running + duration, earliest), proportion, 1000000);
    gst_message_set_qos_stats(message, GST_FORMAT_BUFFERS, processed, dropped);
    gst_element_post_message(GST_ELEMENT(self_), message);
    return false;
}

void PadOutput::Deliver(const lumagrove_frame& frame) {
    const int fpsN = GST_VIDEO_INFO_FPS_N(&self_->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&self_->vinfo);
    GST_OBJECT_LOCK(self_);
    const GstAudioVisualizerShader kind = self_->shader;
    const guint amount = self_->shadeAmount;
    GST_OBJECT_UNLOCK(self_);
    shader.Apply(kind, amount, static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped_, 0)),
                 GST_VIDEO_INFO_WIDTH(&self_->vinfo), GST_VIDEO_INFO_HEIGHT(&self_->vinfo),
                 GST_VIDEO_FRAME_PLANE_STRIDE(&mapped_, 0));
    gst_video_frame_unmap(&mapped_);
    GstBuffer* out = lent_;
    lent_ = nullptr;
    GST_BUFFER_PTS(out) = self_->stream->startPts + gst_util_uint64_scale(frame.index, fpsD * GST_SECOND, fpsN);
    GST_BUFFER_DURATION(out) = gst_util_uint64_scale(GST_SECOND, fpsD, fpsN);
    flow = gst_pad_push(self_->srcpad, out);
}

void PadOutput::Release() {
    if (lent_) {
        gst_video_frame_unmap(&mapped_);
        gst_buffer_unref(lent_);
        lent_ = nullptr;
    }
    if (pool_) {
        gst_buffer_pool_set_active(pool_, FALSE);
        gst_object_unref(pool_);
    }
    pool_ = nullptr;
    poolSize_ = 0;
}

// Frames while the sound to draw them from is here; at EOS, all that the
// sound covers. Frame k is at k / fps seconds of the stream's sound from its
// first buffer (the library's frame clock), and its time for the plug-in its
// stream time: the first buffer's, then k / fps on from it, in the
// arithmetic lumagrove-preview uses, so the same song gives the same times.
static GstFlowReturn DrawReady(GstLumagrove* self, bool atEos) {
    Stream& s = *self->stream;
    const int fpsN = GST_VIDEO_INFO_FPS_N(&self->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&self->vinfo);
    if (!s.hasSound() || fpsN <= 0 || !GST_CLOCK_TIME_IS_VALID(s.startPts)) return GST_FLOW_OK;
    lumagrove_frame_clock clock = {};
    clock.fps_num = fpsN;
    clock.fps_den = fpsD;
    clock.next = s.nextFrame;
    clock.ending = atEos;
    const guint64 startTime = gst_segment_to_stream_time(&self->segment, GST_FORMAT_TIME, s.startPts);
    clock.time_origin = GST_CLOCK_TIME_IS_VALID(startTime) ? static_cast<double>(startTime) / GST_SECOND : 0.0;
    lumagrove_visualiser* v = s.visualiser;
    const char* problem = nullptr;
    if (lumagrove_set_size(v, GST_VIDEO_INFO_WIDTH(&self->vinfo), GST_VIDEO_INFO_HEIGHT(&self->vinfo)) != LUMAGROVE_OK)
        problem = lumagrove_last_error(v);
    lumagrove_frame frame;
    while (!problem && s.output->flow == GST_FLOW_OK && lumagrove_next_frame(v, &clock, &frame)) {
        s.nextFrame = clock.next;
        lumagrove_picture picture;
        if (!s.output->Wants(frame.index)) {
            if (lumagrove_frame_levels(v, &frame, nullptr) != LUMAGROVE_OK) problem = lumagrove_last_error(v);
        } else if (!s.output->Lend(&picture)) {
            problem = s.output->problem;
        } else if (lumagrove_draw_to_memory(v, &frame, &picture) != LUMAGROVE_OK) {
            problem = lumagrove_last_error(v);
        } else {
            s.output->Deliver(frame);
        }
    }
    if (problem) {
        s.output->Release();
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", problem), (nullptr));
        return GST_FLOW_ERROR;
    }
    const GstFlowReturn flow = s.output->flow;
    s.output->flow = GST_FLOW_OK;
    return flow;
}

// Brings the stream's sound up to `pts`: a gap longer than a hundredth of a
// second (lost buffers, a discontinuity, a GAP event) is filled with
// silence, so later frames keep their places and the gap shows the outline
// alone. Returns how many sample frames of sound starting at `pts` are
// already there (an overlap), to be passed over.
static int64_t FillUpTo(GstLumagrove* self, GstClockTime pts) {
    Stream& s = *self->stream;
    if (!s.hasSound() || !GST_CLOCK_TIME_IS_VALID(s.startPts) || pts < s.startPts) return 0;
    return lumagrove_fill_gap_to(
        s.visualiser, static_cast<int64_t>(gst_util_uint64_scale_round(pts - s.startPts, s.rate, GST_SECOND)));
}

// The frames the sound of the running stream covers, drawn as at EOS: a
// stream that ends for a new segment or new sound caps loses none of them.
static void DrainStream(GstLumagrove* self) {
    Stream& s = *self->stream;
    if (s.hasSound() && lumagrove_sound_end(s.visualiser) > 0 && GST_CLOCK_TIME_IS_VALID(s.startPts))
        DrawReady(self, true);
}

// The frames' format: what downstream takes of the element's template, the
// first of its structures that downstream meets (they run from all the
// defaults to none), every field still open fixed to its default (BGRx,
// 1280x720, 60/1). The caps are sent downstream and kept in vinfo.
static gboolean Negotiate(GstLumagrove* self) {
    GstCaps* target = gst_pad_get_pad_template_caps(self->srcpad);
    if (GstCaps* downstream = gst_pad_peer_query_caps(self->srcpad, nullptr)) {
        GstCaps* both = gst_caps_intersect(downstream, target);
        gst_caps_unref(downstream);
        gst_caps_unref(target);
        if (gst_caps_is_empty(both)) {
            gst_caps_unref(both);
            return FALSE;
        }
        target = gst_caps_truncate(both);
    }
    target = gst_caps_make_writable(target);
    GstStructure* structure = gst_caps_get_structure(target, 0);
    gst_structure_fixate_field_nearest_int(structure, "width", 1280);
    gst_structure_fixate_field_nearest_int(structure, "height", 720);
    gst_structure_fixate_field_nearest_fraction(structure, "framerate", 60, 1);
    target = gst_caps_fixate(target);
    GstVideoInfo info;
    const gboolean taken = gst_video_info_from_caps(&info, target) && gst_pad_set_caps(self->srcpad, target);
    gst_caps_unref(target);
    if (taken) self->vinfo = info;
    return taken;
}

static gboolean SetSound(GstLumagrove* self, const GstAudioInfo& info);

static GstFlowReturn gst_lumagrove_chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
    GstLumagrove* self = GST_LUMAGROVE(parent);
    Stream& s = *self->stream;
    // Downstream asked for another picture: negotiate again. Caps the element
    // cannot make stop the stream (not-negotiated), rather than go on in a
    // format nobody asked for.
    bool negotiated = true;
    if (gst_pad_check_reconfigure(self->srcpad) && GST_AUDIO_INFO_BPF(&self->ainfo) > 0) {
        negotiated = Negotiate(self);
        if (!negotiated) gst_pad_mark_reconfigure(self->srcpad);
    }
    if (!negotiated) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("downstream asks for a picture the element cannot draw"),
                          ("renegotiation failed"));
        return GST_FLOW_NOT_NEGOTIATED;
    }
    if (!s.hasSound() || GST_AUDIO_INFO_BPF(&self->ainfo) == 0) {
        gst_buffer_unref(buffer);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    if (!GST_CLOCK_TIME_IS_VALID(s.startPts))
        s.startPts = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : self->segment.start;
    // Where the buffer's time says its sound belongs: sound lost before it
    // (a discontinuity, dropped buffers) is silence; sound that overlaps
    // what came is passed over.
    int64_t skip = 0;
    if (GST_BUFFER_PTS_IS_VALID(buffer)) skip = FillUpTo(self, GST_BUFFER_PTS(buffer));

    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, STREAM, DECODE, ("cannot read a sound buffer"), (nullptr));
        return GST_FLOW_ERROR;
    }
    const int64_t frames = static_cast<int64_t>(map.size / GST_AUDIO_INFO_BPF(&self->ainfo));
    lumagrove_result pushed = LUMAGROVE_OK;
    if (skip < frames && GST_AUDIO_INFO_FORMAT(&self->ainfo) == GST_AUDIO_FORMAT_S16LE)
        pushed = lumagrove_push_s16(s.visualiser, reinterpret_cast<const int16_t*>(map.data) + skip * s.channels,
                                    frames - skip);
    else if (skip < frames)
        pushed = lumagrove_push_float(s.visualiser, reinterpret_cast<const float*>(map.data) + skip * s.channels,
                                      frames - skip);
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
    if (pushed != LUMAGROVE_OK) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", lumagrove_last_error(s.visualiser)), (nullptr));
        return GST_FLOW_ERROR;
    }
    return DrawReady(self, false);
}

static gboolean gst_lumagrove_sink_event(GstPad* pad, GstObject* parent, GstEvent* event) {
    GstLumagrove* self = GST_LUMAGROVE(parent);
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_CAPS: {
            // The sound's format: taken, and the frames' negotiated for it
            // (downstream gets caps of its own, not these).
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstAudioInfo info;
            const gboolean taken = gst_audio_info_from_caps(&info, caps) && SetSound(self, info) && Negotiate(self);
            gst_event_unref(event);
            return taken;
        }
        case GST_EVENT_GAP: {
            // No sound for a while: silence up to its end, and the frames it covers.
            GstClockTime timestamp = GST_CLOCK_TIME_NONE, duration = GST_CLOCK_TIME_NONE;
            gst_event_parse_gap(event, &timestamp, &duration);
            Stream& s = *self->stream;
            if (s.hasSound() && GST_CLOCK_TIME_IS_VALID(timestamp)) {
                if (!GST_CLOCK_TIME_IS_VALID(s.startPts)) s.startPts = timestamp;
                if (GST_CLOCK_TIME_IS_VALID(duration)) FillUpTo(self, timestamp + duration);
                DrawReady(self, false);
            }
            break;
        }
        case GST_EVENT_EOS:
            DrawReady(self, true);
            break;
        case GST_EVENT_FLUSH_STOP:
            self->stream->Restart();
            ResetQos(self);
            break;
        case GST_EVENT_SEGMENT:
            // A gapless junction (concat, a playlist): the frames the sound
            // so far covers are drawn before the stream starts afresh.
            DrainStream(self);
            gst_event_copy_segment(event, &self->segment);
            self->stream->Restart();
            ResetQos(self);
            break;
        default:
            break;
    }
    return gst_pad_event_default(pad, parent, event);
}

// Downstream's QoS events: when a frame came late, the next one that can be
// shown in time is estimated as the base classes of GStreamer estimate it.
static gboolean gst_lumagrove_src_event(GstPad* pad, GstObject* parent, GstEvent* event) {
    GstLumagrove* self = GST_LUMAGROVE(parent);
    if (GST_EVENT_TYPE(event) == GST_EVENT_QOS) {
        gdouble proportion = 1.0;
        GstClockTimeDiff diff = 0;
        GstClockTime timestamp = GST_CLOCK_TIME_NONE;
        gst_event_parse_qos(event, nullptr, &proportion, &diff, &timestamp);
        const int fpsN = GST_VIDEO_INFO_FPS_N(&self->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&self->vinfo);
        const GstClockTime duration = fpsN > 0 ? gst_util_uint64_scale(GST_SECOND, fpsD, fpsN) : 0;
        GST_OBJECT_LOCK(self);
        self->proportion = proportion;
        if (GST_CLOCK_TIME_IS_VALID(timestamp))
            self->earliest =
                diff >= 0 ? timestamp + std::min<GstClockTime>(2 * diff, GST_SECOND) + duration : timestamp + diff;
        GST_OBJECT_UNLOCK(self);
        return gst_pad_push_event(self->sinkpad, event);
    }
    // Downstream asking for new caps is taken at the next buffer (the chain
    // checks the pad), and is nothing upstream has to know.
    if (GST_EVENT_TYPE(event) == GST_EVENT_RECONFIGURE) {
        gst_event_unref(event);
        return TRUE;
    }
    return gst_pad_event_default(pad, parent, event);
}

// The latency the element adds to upstream's: frame k is drawn once the
// sound reaches half an analysis window past its time, so it leaves half a
// window at the stream's rate after the sound it shows arrived.
static gboolean gst_lumagrove_src_query(GstPad* pad, GstObject* parent, GstQuery* query) {
    GstLumagrove* self = GST_LUMAGROVE(parent);
    Stream& s = *self->stream;
    if (GST_QUERY_TYPE(query) != GST_QUERY_LATENCY) return gst_pad_query_default(pad, parent, query);
    if (!s.hasSound() || s.rate <= 0 || !gst_pad_peer_query(self->sinkpad, query)) return FALSE;
    gboolean live = FALSE;
    GstClockTime min = 0, max = GST_CLOCK_TIME_NONE;
    gst_query_parse_latency(query, &live, &min, &max);
    const GstClockTime ours =
        gst_util_uint64_scale_int_ceil(static_cast<guint64>(lumagrove_held_back(s.visualiser)), GST_SECOND, s.rate);
    gst_query_set_latency(query, live, min + ours, GST_CLOCK_TIME_IS_VALID(max) ? max + ours : max);
    return TRUE;
}

// The sound's format is known: the visualiser takes recorded sound of its
// rate and channels (each frame from the window centred on it).
static gboolean SetSound(GstLumagrove* self, const GstAudioInfo& info) {
    self->ainfo = info;
    Stream& s = *self->stream;
    lumagrove_sound_desc sound = {};
    sound.rate = GST_AUDIO_INFO_RATE(&self->ainfo);
    sound.channels = GST_AUDIO_INFO_CHANNELS(&self->ainfo);
    sound.mode = LUMAGROVE_SOUND_RECORDED;
    for (int c = 0; c < sound.channels && c < LUMAGROVE_MAX_CHANNELS; ++c)
        sound.sides[c] = sound.channels == 1 ? LUMAGROVE_SIDE_BOTH : SideOf(GST_AUDIO_INFO_POSITION(&self->ainfo, c));
    if (!s.visualiser) return FALSE;
    if (s.hasSound() && s.rate == sound.rate && s.channels == sound.channels &&
        memcmp(s.sides, sound.sides, sizeof s.sides) == 0)
        return TRUE;
    DrainStream(self);  // new sound caps mid-stream: the old sound's last frames first
    if (lumagrove_set_sound(s.visualiser, &sound) != LUMAGROVE_OK) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s", lumagrove_last_error(s.visualiser)), (nullptr));
        return FALSE;
    }
    s.rate = sound.rate;
    s.channels = sound.channels;
    memcpy(s.sides, sound.sides, sizeof s.sides);
    s.Restart();
    return TRUE;
}

static GstStateChangeReturn gst_lumagrove_change_state(GstElement* element, GstStateChange transition) {
    GstLumagrove* self = GST_LUMAGROVE(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        // On the shared context: any size a frame, as the caps say. The
        // sound's own format comes with its caps.
        lumagrove_visualiser_desc desc = {};
        GST_OBJECT_LOCK(self);
        const std::string plugin = self->pluginPath ? self->pluginPath : "";
        GST_OBJECT_UNLOCK(self);
        desc.plugin_path = plugin.c_str();
        desc.target = LUMAGROVE_TARGET_SHARED;
        if (lumagrove_create(&desc, &self->stream->visualiser) != LUMAGROVE_OK) {
            GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("%s", lumagrove_last_error(nullptr)), (nullptr));
            return GST_STATE_CHANGE_FAILURE;
        }
        self->stream->Restart();
        gst_segment_init(&self->segment, GST_FORMAT_TIME);
        ResetQos(self);
    }
    const GstStateChangeReturn result =
        GST_ELEMENT_CLASS(gst_lumagrove_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        self->stream->LetGo();
        self->stream->output->Release();
    }
    return result;
}

static void gst_lumagrove_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstLumagrove* self = GST_LUMAGROVE(object);
    switch (id) {
        case PROP_PLUGIN:
            GST_OBJECT_LOCK(self);
            g_free(self->pluginPath);
            self->pluginPath = g_value_dup_string(value);  // NULL or "": the one installed with the library
            GST_OBJECT_UNLOCK(self);
            break;
        case PROP_SHADER:
            GST_OBJECT_LOCK(self);
            self->shader = static_cast<GstAudioVisualizerShader>(g_value_get_enum(value));
            GST_OBJECT_UNLOCK(self);
            break;
        case PROP_SHADE_AMOUNT:
            GST_OBJECT_LOCK(self);
            self->shadeAmount = g_value_get_uint(value);
            GST_OBJECT_UNLOCK(self);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

static void gst_lumagrove_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstLumagrove* self = GST_LUMAGROVE(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_PLUGIN:
            g_value_set_string(value, self->pluginPath);
            break;
        case PROP_SHADER:
            g_value_set_enum(value, self->shader);
            break;
        case PROP_SHADE_AMOUNT:
            g_value_set_uint(value, self->shadeAmount);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_lumagrove_finalize(GObject* object) {
    GstLumagrove* self = GST_LUMAGROVE(object);
    self->stream->LetGo();
    delete self->stream;
    g_free(self->pluginPath);
    G_OBJECT_CLASS(gst_lumagrove_parent_class)->finalize(object);
}

// The trails every GStreamer visualiser offers, with GStreamer's own kinds
// (GstAudioVisualizerShader) and its default amount.
constexpr guint kDefaultShadeAmount = 0x000a0a0a;

static void gst_lumagrove_class_init(GstLumagroveClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    object->set_property = gst_lumagrove_set_property;
    object->get_property = gst_lumagrove_get_property;
    object->finalize = gst_lumagrove_finalize;
    g_object_class_install_property(
        object, PROP_PLUGIN,
        g_param_spec_string(
            "plugin", "Plug-in", "The Lumagrove plug-in library to host (empty: the one installed with liblumagrove)",
            "", static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
    g_object_class_install_property(
        object, PROP_SHADER,
        g_param_spec_enum("shader", "Shader", "How each frame leaves a trail on the next (none: frames as drawn)",
                          GST_TYPE_AUDIO_VISUALIZER_SHADER, GST_AUDIO_VISUALIZER_SHADER_NONE,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object, PROP_SHADE_AMOUNT,
        g_param_spec_uint("shade-amount", "Shade amount", "How much a trail fades each frame (0x00RRGGBB)", 0,
                          G_MAXUINT32, kDefaultShadeAmount,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_set_static_metadata(element, "Lumagrove", "Visualization",
                                          "A four-pointed star with glows that follow the music",
                                          "Ferk / Druvin <ferk.druvin@lumagrove.org>");
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    element->change_state = gst_lumagrove_change_state;
    GST_DEBUG_CATEGORY_INIT(lumagrove_debug, "lumagrove", 0, "Lumagrove visualiser");
}

static void gst_lumagrove_init(GstLumagrove* self) {
    self->pluginPath = g_strdup("");
    self->shader = GST_AUDIO_VISUALIZER_SHADER_NONE;
    self->shadeAmount = kDefaultShadeAmount;
    gst_audio_info_init(&self->ainfo);
    gst_video_info_init(&self->vinfo);
    self->stream = new Stream();
    self->stream->output = std::make_unique<PadOutput>(self);
    gst_segment_init(&self->segment, GST_FORMAT_TIME);
    // Sound in: its caps, its buffers (held back half an analysis window,
    // frames drawn as their sound is whole), its events.
    self->sinkpad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
    gst_pad_set_chain_function(self->sinkpad, GST_DEBUG_FUNCPTR(gst_lumagrove_chain));
    gst_pad_set_event_function(self->sinkpad, GST_DEBUG_FUNCPTR(gst_lumagrove_sink_event));
    gst_element_add_pad(GST_ELEMENT(self), self->sinkpad);
    // Frames out: the latency query and downstream's QoS.
    self->srcpad = gst_pad_new_from_static_template(&srcTemplate, "src");
    gst_pad_set_query_function(self->srcpad, GST_DEBUG_FUNCPTR(gst_lumagrove_src_query));
    gst_pad_set_event_function(self->srcpad, GST_DEBUG_FUNCPTR(gst_lumagrove_src_event));
    gst_element_add_pad(GST_ELEMENT(self), self->srcpad);
    ResetQos(self);
}
