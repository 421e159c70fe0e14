// lumagrove_vlc.cpp - "lumagrove", a VLC 3.0 visualisation: Audio >
// Visualizations in the player, or `vlc --audio-visual=lumagrove song.mp3`.
//
// It is an audio filter that passes the sound on untouched and hands a copy
// to a visualiser of liblumagrove (lumagrove.h), the only thing it translates to:
// VLC's float samples, their rate and channel layout go in as recorded sound
// (each frame from the window centred on it: the player has the sound ahead
// of playing it), and each frame is drawn on the process's shared offscreen
// context into a picture of the video output the filter asks VLC for, in
// its RV32 chroma (bytes blue, green, red, unused: the read-back's own).
//
// Timing, as VLC's own visualisations do it: the blocks' timestamps are the
// dates their sound is played at (VLC's clock), so each picture is dated with
// the date of the sound at its frame's time and VLC shows it when that sound
// is heard. Frame k is at k / fps seconds of the sound since the filter
// opened (or since the last flush), drawn once half an analysis window past it
// has come, on a thread of the filter's own. A frame whose date has already
// passed is not drawn (its sound is still analysed), and no more than
// kPicturesAhead pictures wait to be shown, so nothing queues without bound.
// A seek flushes the filter: the sound and the analysis start afresh, the
// plug-in's clock runs on. Pause holds the blocks back, and so the frames. A
// new track in another format reopens the filter.
//
// Options (VLC's preferences, Audio > Visualizations > Lumagrove):
// lumagrove-width and lumagrove-height (1280x720), lumagrove-fps (30),
// lumagrove-plugin (by default the plug-in installed with liblumagrove). A plug-in that cannot be loaded is one
// line in VLC's log, and the filter does not open: VLC plays the sound without it.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// VLC's headers (C, with their own C++ guards); vlc_common.h first.
// clang-format off
#include <vlc_common.h>
#include <vlc_plugin.h>
#include <vlc_aout.h>
#include <vlc_filter.h>
#include <vlc_picture.h>
#include <vlc_vout.h>
// clang-format on

#include "lumagrove/lumagrove.h"

namespace {

constexpr int kDefaultWidth = 1280, kDefaultHeight = 720, kDefaultFps = 30;
constexpr int kLeastSide = 16, kMostSide = 8192;
constexpr size_t kPicturesAhead = 4;  // pictures put and not yet due, at most

// Each channel's side, in VLC's order of the channels of a block; a layout
// it cannot name is left to the library (by the channels' places).
void SetSides(const audio_format_t& format, lumagrove_sound_desc* sound) {
    const uint32_t physical = format.i_physical_channels;
    lumagrove_side sides[LUMAGROVE_MAX_CHANNELS] = {};
    int named = 0;
    for (const uint32_t* channel = pi_vlc_chan_order_wg4; *channel && named < LUMAGROVE_MAX_CHANNELS; ++channel) {
        if (!(physical & *channel)) continue;
        switch (*channel) {
            case AOUT_CHAN_LEFT:
            case AOUT_CHAN_MIDDLELEFT:
            case AOUT_CHAN_REARLEFT:
                sides[named++] = LUMAGROVE_SIDE_LEFT;
                break;
            case AOUT_CHAN_RIGHT:
            case AOUT_CHAN_MIDDLERIGHT:
            case AOUT_CHAN_REARRIGHT:
                sides[named++] = LUMAGROVE_SIDE_RIGHT;
                break;
            default:
                sides[named++] = LUMAGROVE_SIDE_BOTH;
        }
    }
    sound->channels = static_cast<int>(aout_FormatNbChannels(&format));
    if (named == sound->channels && sound->channels > 1) memcpy(sound->sides, sides, sizeof sides);
}

// Where the sound's sample frames are played: each block's first sample
// frame and its date, the dates between counted on at the sound's rate.
class PlayDates {
public:
    void Mark(int64_t position, mtime_t date) {
        marks_.push_back({position, date});
        if (marks_.size() > 256) marks_.pop_front();
    }
    void Clear() { marks_.clear(); }
    // VLC_TS_INVALID while no block with a date has come.
    mtime_t DateOf(int64_t position, int rate) const {
        if (marks_.empty()) return VLC_TS_INVALID;
        auto mark = marks_.begin();
        for (auto m = marks_.begin(); m != marks_.end() && m->position <= position; ++m) mark = m;
        return mark->date + (position - mark->position) * CLOCK_FREQ / rate;
    }

private:
    struct Mark_ {
        int64_t position;
        mtime_t date;
    };
    std::deque<Mark_> marks_;
};

// The library's own messages, in VLC's log (its failures the filter says itself).
void Log(void* user, lumagrove_log_level level, const char* message) {
    if (level != LUMAGROVE_LOG_ERROR) msg_Dbg(static_cast<filter_t*>(user), "%s", message);
}

struct Lumagrove {
    filter_t* filter = nullptr;
    vout_thread_t* vout = nullptr;
    int width = kDefaultWidth, height = kDefaultHeight, fps = kDefaultFps, rate = 0;
    lumagrove_visualiser* visualiser = nullptr;

    std::mutex lock;  // the bookkeeping below, briefly, on every thread
    std::condition_variable wake;
    bool stop = false;
    PlayDates dates;
    lumagrove_frame_clock clock = {};  // of the sound since the last flush
    bool inFrame = false;              // a frame taken and not yet shown: a flush waits for it
    double lastTime = 0.0;
    std::deque<mtime_t> shown;  // dates of the pictures put, not yet due
    bool failed = false;        // drawing failed: said once, the sound goes on
    bool drained = false;       // ending, and every frame the sound covers is drawn
    std::thread thread;

    void Draw();
    void DrawFrame(const lumagrove_frame& frame, mtime_t date, mtime_t now);
    void DrawFailed(const char* what);
};

void Lumagrove::DrawFailed(const char* what) {
    msg_Err(filter, "%s; the sound plays on without pictures", what);
    std::lock_guard<std::mutex> held(lock);
    failed = true;
    wake.notify_all();
}

// The drawing thread: every frame that is due, drawn into a picture dated
// with its sound's play date.
void Lumagrove::Draw() {
    for (;;) {
        std::unique_lock<std::mutex> held(lock);
        if (stop) return;
        lumagrove_frame frame;
        const mtime_t now = mdate();
        while (!shown.empty() && shown.front() <= now) shown.pop_front();
        if (failed || shown.size() >= kPicturesAhead || !lumagrove_next_frame(visualiser, &clock, &frame)) {
            if (clock.ending && !failed && shown.size() < kPicturesAhead) drained = true;
            wake.notify_all();  // a drain waiting for the last frame sees it is drawn
            wake.wait_for(held, std::chrono::milliseconds(10));
            continue;
        }
        inFrame = true;
        lastTime = frame.time;
        const mtime_t date = dates.DateOf(lumagrove_position_at(visualiser, frame.sound_time), rate);
        held.unlock();
        DrawFrame(frame, date, now);
        held.lock();
        inFrame = false;
        wake.notify_all();
    }
}

// One frame taken from the clock: drawn into a picture dated `date` and
// put, or its levels alone taken when it is too late to be shown.
void Lumagrove::DrawFrame(const lumagrove_frame& frame, mtime_t date, mtime_t now) {
    if (date == VLC_TS_INVALID || date + CLOCK_FREQ / fps < now) {
        if (lumagrove_frame_levels(visualiser, &frame, nullptr) != LUMAGROVE_OK)  // too late to be shown
            DrawFailed(lumagrove_last_error(visualiser));
        else msg_Dbg(filter, "frame %lld skipped: too late", static_cast<long long>(frame.index));
        return;
    }
    picture_t* picture = vout_GetPicture(vout);
    if (!picture) return;
    if (picture->format.i_chroma != VLC_CODEC_RGB32) {
        picture_Release(picture);
        DrawFailed("the video output gives pictures in another chroma than RV32");
        return;
    }
    const auto began = std::chrono::steady_clock::now();
    const lumagrove_picture into = {picture->p[0].p_pixels, static_cast<size_t>(picture->p[0].i_pitch),
                                    LUMAGROVE_PIXELS_BGRA, 0};
    if (lumagrove_set_size(visualiser, width, height) != LUMAGROVE_OK ||
        lumagrove_draw_to_memory(visualiser, &frame, &into) != LUMAGROVE_OK) {
        picture_Release(picture);
        DrawFailed(lumagrove_last_error(visualiser));
        return;
    }
    const double drawn = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    {
        std::lock_guard<std::mutex> held(lock);
        shown.push_back(date);
    }
    picture->date = date;
    picture->b_progressive = true;
    vout_PutPicture(vout, picture);
    msg_Dbg(filter, "frame %lld at %.6f s of sound, dated %lld, drawn in %.3f ms", static_cast<long long>(frame.index),
            frame.sound_time, static_cast<long long>(date), drawn);
}

block_t* DoWork(filter_t* filter, block_t* block) {
    Lumagrove* sys = reinterpret_cast<Lumagrove*>(filter->p_sys);
    {
        std::lock_guard<std::mutex> held(sys->lock);  // a block's date and place together
        if (block->i_pts != VLC_TS_INVALID) sys->dates.Mark(lumagrove_sound_end(sys->visualiser), block->i_pts);
        lumagrove_push_float(sys->visualiser, reinterpret_cast<const float*>(block->p_buffer),
                             static_cast<int64_t>(block->i_nb_samples));
    }
    sys->wake.notify_all();
    return block;  // the sound goes on untouched
}

// The end of the stream: every frame the sound covers is drawn (the rest of
// the last windows reads as silence) before the filter goes; waits for them
// as long as their pictures take to be shown, a few seconds at most.
block_t* Drain(filter_t* filter) {
    Lumagrove* sys = reinterpret_cast<Lumagrove*>(filter->p_sys);
    std::unique_lock<std::mutex> held(sys->lock);
    sys->clock.ending = 1;
    sys->drained = false;
    sys->wake.notify_all();
    sys->wake.wait_for(held, std::chrono::seconds(3), [&] { return sys->failed || sys->drained; });
    return nullptr;
}

// A seek: what was pushed is let go of, and frames start again from the
// sound that comes next; the plug-in's clock runs on from the last frame.
void Flush(filter_t* filter) {
    Lumagrove* sys = reinterpret_cast<Lumagrove*>(filter->p_sys);
    std::unique_lock<std::mutex> held(sys->lock);
    // A frame being drawn is shown first: it belongs to the sound before.
    sys->wake.wait(held, [&] { return !sys->inFrame; });
    if (lumagrove_restart(sys->visualiser) != LUMAGROVE_OK)
        msg_Err(filter, "%s", lumagrove_last_error(sys->visualiser));
    sys->dates.Clear();
    sys->clock.time_origin = sys->lastTime + 1.0 / sys->fps;
    sys->clock.next = 0;
    sys->clock.ending = 0;
    sys->shown.clear();
    msg_Dbg(filter, "flushed: frames start again from the sound that comes next");
}

int Open(vlc_object_t* object) {
    filter_t* filter = reinterpret_cast<filter_t*>(object);
    auto sys = std::make_unique<Lumagrove>();
    sys->filter = filter;
    sys->width = std::clamp<int64_t>(var_InheritInteger(filter, "lumagrove-width"), kLeastSide, kMostSide);
    sys->height = std::clamp<int64_t>(var_InheritInteger(filter, "lumagrove-height"), kLeastSide, kMostSide);
    sys->fps = std::clamp<int64_t>(var_InheritInteger(filter, "lumagrove-fps"), 1, 240);
    sys->clock.fps_num = sys->fps;
    char* plugin = var_InheritString(filter, "lumagrove-plugin");

    filter->fmt_in.audio.i_format = VLC_CODEC_FL32;
    filter->fmt_out.audio = filter->fmt_in.audio;
    lumagrove_visualiser_desc desc = {};
    desc.plugin_path = plugin;
    desc.width = sys->width;
    desc.height = sys->height;
    desc.target = LUMAGROVE_TARGET_SHARED;
    desc.sound.rate = sys->rate = static_cast<int>(filter->fmt_in.audio.i_rate);
    desc.sound.mode = LUMAGROVE_SOUND_RECORDED;
    SetSides(filter->fmt_in.audio, &desc.sound);
    desc.log = Log;
    desc.log_user = filter;
    const lumagrove_result made = lumagrove_create(&desc, &sys->visualiser);
    free(plugin);
    if (made != LUMAGROVE_OK) {
        msg_Err(filter, "%s", lumagrove_last_error(nullptr));
        return VLC_EGENERIC;
    }

    video_format_t format;
    video_format_Init(&format, VLC_CODEC_RGB32);
    format.i_width = format.i_visible_width = static_cast<unsigned>(sys->width);
    format.i_height = format.i_visible_height = static_cast<unsigned>(sys->height);
    format.i_sar_num = format.i_sar_den = 1;
    video_format_FixRgb(&format);
    sys->vout = aout_filter_RequestVout(filter, nullptr, &format);
    if (!sys->vout) {
        msg_Err(filter, "VLC gives no video output for the pictures");
        lumagrove_destroy(sys->visualiser);
        return VLC_EGENERIC;
    }
    Lumagrove* running = sys.get();
    running->thread = std::thread([running] { running->Draw(); });
    filter->p_sys = reinterpret_cast<filter_sys_t*>(sys.release());
    filter->pf_audio_filter = DoWork;
    filter->pf_flush = Flush;
    filter->pf_audio_drain = Drain;
    msg_Dbg(filter, "sound at %u Hz, %d channel%s; %dx%d at %d fps", filter->fmt_in.audio.i_rate, desc.sound.channels,
            desc.sound.channels == 1 ? "" : "s", running->width, running->height, running->fps);
    return VLC_SUCCESS;
}

void Close(vlc_object_t* object) {
    filter_t* filter = reinterpret_cast<filter_t*>(object);
    std::unique_ptr<Lumagrove> sys(reinterpret_cast<Lumagrove*>(filter->p_sys));
    {
        std::lock_guard<std::mutex> held(sys->lock);
        sys->stop = true;
    }
    sys->wake.notify_all();
    sys->thread.join();
    aout_filter_RequestVout(filter, sys->vout, nullptr);
    lumagrove_destroy(sys->visualiser);
}

}  // namespace

#define WIDTH_TEXT "Width"
#define HEIGHT_TEXT "Height"
#define SIZE_LONGTEXT "The size of the pictures, 16 to 8192 pixels a side."
#define FPS_TEXT "Frames a second"
#define FPS_LONGTEXT "How many pictures are drawn for each second of sound, 1 to 240."
#define PLUGIN_TEXT "Plug-in library"
#define PLUGIN_LONGTEXT "The Lumagrove plug-in library (lumagrove.so) to draw with; empty for the one installed."

vlc_module_begin() set_shortname("Lumagrove")
    set_description("Lumagrove: a four-pointed star with glows that follow the music") set_category(CAT_AUDIO)
        set_subcategory(SUBCAT_AUDIO_VISUAL) set_capability("visualization", 0)
            add_integer("lumagrove-width", kDefaultWidth, WIDTH_TEXT, SIZE_LONGTEXT, false)
                add_integer("lumagrove-height", kDefaultHeight, HEIGHT_TEXT, SIZE_LONGTEXT, false)
                    add_integer_with_range("lumagrove-fps", kDefaultFps, 1, 240, FPS_TEXT, FPS_LONGTEXT, false)
                        add_loadfile("lumagrove-plugin", "", PLUGIN_TEXT, PLUGIN_LONGTEXT, false)
                            set_callbacks(Open, Close) add_shortcut("lumagrove") vlc_module_end()
