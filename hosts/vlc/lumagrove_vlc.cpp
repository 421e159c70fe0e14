// lumagrove_vlc.cpp - "lumagrove", a VLC 3.0 visualisation: Audio >
// Visualizations in the player, or `vlc --audio-visual=lumagrove song.mp3`.
//
// It is an audio filter that passes the sound on untouched and hands a copy
// to a Visualiser (host/visualiser.h), the only thing it translates to:
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
// lumagrove-plugin (by default the lumagrove.so installed beside this module). A plug-in that cannot be loaded is one
// line in VLC's log, and the filter does not open: VLC plays the sound without it.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// VLC's headers (C, with their own C++ guards); vlc_common.h first.
// clang-format off
#include <vlc_common.h>
#include <vlc_plugin.h>
#include <vlc_aout.h>
#include <vlc_filter.h>
#include <vlc_picture.h>
#include <vlc_vout.h>
// clang-format on

#include "host/visualiser.h"

namespace {

constexpr int kDefaultWidth = 1280, kDefaultHeight = 720, kDefaultFps = 30;
constexpr int kLeastSide = 16, kMostSide = 8192;
constexpr size_t kPicturesAhead = 4;  // pictures put and not yet due, at most

// The plug-in installed beside the module (VLC takes only *_plugin.so files
// of its folders for modules).
std::string InstalledPlugin() { return PluginBesideModule(reinterpret_cast<const void*>(&InstalledPlugin)); }

// Each channel's side, in VLC's order of the channels of a block.
std::vector<ChannelSide> SidesOf(const audio_format_t& format) {
    const uint32_t physical = format.i_physical_channels;
    std::vector<ChannelSide> sides;
    for (const uint32_t* channel = pi_vlc_chan_order_wg4; *channel; ++channel) {
        if (!(physical & *channel)) continue;
        switch (*channel) {
            case AOUT_CHAN_LEFT:
            case AOUT_CHAN_MIDDLELEFT:
            case AOUT_CHAN_REARLEFT:
                sides.push_back(ChannelSide::kLeft);
                break;
            case AOUT_CHAN_RIGHT:
            case AOUT_CHAN_MIDDLERIGHT:
            case AOUT_CHAN_REARRIGHT:
                sides.push_back(ChannelSide::kRight);
                break;
            default:
                sides.push_back(ChannelSide::kBoth);
        }
    }
    const size_t channels = aout_FormatNbChannels(&format);
    if (sides.size() != channels) sides = DefaultChannelSides(static_cast<int>(channels));
    if (channels == 1) sides = {ChannelSide::kBoth};
    return sides;
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

struct Lumagrove {
    filter_t* filter = nullptr;
    vout_thread_t* vout = nullptr;
    int width = kDefaultWidth, height = kDefaultHeight, fps = kDefaultFps;
    std::unique_ptr<Visualiser> visualiser;

    std::mutex lock;     // the bookkeeping below, briefly, on every thread
    std::mutex drawing;  // the analysis: a frame drawn, against a flush
    std::condition_variable wake;
    bool stop = false;
    PlayDates dates;
    int64_t nextFrame = 0;    // of the sound since the last flush
    double timeOrigin = 0.0;  // the plug-in's time at that frame 0
    double lastTime = 0.0;
    std::deque<mtime_t> shown;  // dates of the pictures put, not yet due
    bool failed = false;        // drawing failed: said once, the sound goes on
    bool ending = false;        // the stream ends: the last frames are drawn from what came
    std::thread thread;

    void Draw();
};

// The drawing thread: every frame that is due, drawn into a picture dated
// with its sound's play date.
void Lumagrove::Draw() {
    const int rate = visualiser->sampleRate();
    SoundClock clock(*visualiser, fps);
    for (;;) {
        std::unique_lock<std::mutex> frameHeld(drawing);
        std::unique_lock<std::mutex> held(lock);
        if (stop) return;
        clock.StartAt(nextFrame);
        clock.SetTimeOrigin(timeOrigin);
        clock.SetEnding(ending);
        FrameTime frame;
        const mtime_t now = mdate();
        while (!shown.empty() && shown.front() <= now) shown.pop_front();
        if (failed || shown.size() >= kPicturesAhead || !clock.Next(&frame)) {
            frameHeld.unlock();
            wake.notify_all();  // a drain waiting for the last frame sees it is drawn
            wake.wait_for(held, std::chrono::milliseconds(10));
            continue;
        }
        nextFrame = clock.next();
        lastTime = frame.time;
        const mtime_t date = dates.DateOf(visualiser->PositionAt(frame.soundTime), rate);
        held.unlock();
        try {
            if (date == VLC_TS_INVALID || date + CLOCK_FREQ / fps < now) {
                visualiser->Skip(frame);  // too late to be shown
                msg_Dbg(filter, "frame %lld skipped: too late", static_cast<long long>(frame.index));
                wake.notify_all();
                continue;
            }
            picture_t* picture = vout_GetPicture(vout);
            if (!picture) continue;
            if (picture->format.i_chroma != VLC_CODEC_RGB32) {
                picture_Release(picture);
                throw HostError(kExitFailure, "the video output gives pictures in another chroma than RV32");
            }
            visualiser->SetSize(width, height);
            const auto began = std::chrono::steady_clock::now();
            visualiser->DrawInto(
                frame, PictureBuffer{picture->p[0].p_pixels, static_cast<size_t>(picture->p[0].i_pitch), true});
            const double drawn =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
            picture->date = date;
            picture->b_progressive = true;
            vout_PutPicture(vout, picture);
            msg_Dbg(filter, "frame %lld at %.6f s of sound, dated %lld, drawn in %.3f ms",
                    static_cast<long long>(frame.index), frame.soundTime, static_cast<long long>(date), drawn);
            held.lock();
            shown.push_back(date);
            wake.notify_all();
        } catch (const std::exception& e) {
            msg_Err(filter, "%s; the sound plays on without pictures", e.what());
            held.lock();
            failed = true;
        }
    }
}

block_t* DoWork(filter_t* filter, block_t* block) {
    Lumagrove* sys = reinterpret_cast<Lumagrove*>(filter->p_sys);
    {
        std::lock_guard<std::mutex> held(sys->lock);
        if (block->i_pts != VLC_TS_INVALID) sys->dates.Mark(sys->visualiser->soundEnd(), block->i_pts);
        sys->visualiser->PushSound(reinterpret_cast<const float*>(block->p_buffer),
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
    sys->ending = true;
    sys->wake.notify_all();
    const int rate = sys->visualiser->sampleRate();
    const int64_t frames = rate ? FrameCountFor(double(sys->visualiser->soundEnd()) / rate, sys->fps) : 0;
    sys->wake.wait_for(held, std::chrono::seconds(3), [&] { return sys->failed || sys->nextFrame >= frames; });
    return nullptr;
}

// A seek: what was pushed is let go of, and frames start again from the
// sound that comes next; the plug-in's clock runs on from the last frame.
void Flush(filter_t* filter) {
    Lumagrove* sys = reinterpret_cast<Lumagrove*>(filter->p_sys);
    std::lock_guard<std::mutex> frameHeld(sys->drawing);
    std::lock_guard<std::mutex> held(sys->lock);
    sys->visualiser->Restart();
    sys->dates.Clear();
    sys->timeOrigin = sys->lastTime + 1.0 / sys->fps;
    sys->nextFrame = 0;
    sys->shown.clear();
    sys->ending = false;
    msg_Dbg(filter, "flushed: frames start again from the sound that comes next");
}

int Open(vlc_object_t* object) {
    filter_t* filter = reinterpret_cast<filter_t*>(object);
    auto sys = std::make_unique<Lumagrove>();
    sys->filter = filter;
    sys->width = std::clamp<int64_t>(var_InheritInteger(filter, "lumagrove-width"), kLeastSide, kMostSide);
    sys->height = std::clamp<int64_t>(var_InheritInteger(filter, "lumagrove-height"), kLeastSide, kMostSide);
    sys->fps = std::clamp<int64_t>(var_InheritInteger(filter, "lumagrove-fps"), 1, 240);
    char* chosen = var_InheritString(filter, "lumagrove-plugin");
    const std::string plugin = chosen && *chosen ? chosen : InstalledPlugin();
    free(chosen);

    filter->fmt_in.audio.i_format = VLC_CODEC_FL32;
    filter->fmt_out.audio = filter->fmt_in.audio;
    try {
        VisualiserDesc desc;
        desc.plugin = plugin;
        desc.target = TargetKind::kShared;
        desc.job.width = sys->width;
        desc.job.height = sys->height;
        desc.job.fps = sys->fps;
        desc.job.onInterrupt = FrameJob::OnInterrupt::kFinish;
        sys->visualiser = std::make_unique<Visualiser>(desc);
        SoundDesc sound;
        sound.rate = static_cast<int>(filter->fmt_in.audio.i_rate);
        sound.sides = SidesOf(filter->fmt_in.audio);
        sound.mode = SoundMode::kRecorded;
        sys->visualiser->StartSound(sound);
    } catch (const std::exception& e) {
        msg_Err(filter, "%s", e.what());
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
        return VLC_EGENERIC;
    }
    Lumagrove* running = sys.get();
    running->thread = std::thread([running] { running->Draw(); });
    filter->p_sys = reinterpret_cast<filter_sys_t*>(sys.release());
    filter->pf_audio_filter = DoWork;
    filter->pf_flush = Flush;
    filter->pf_audio_drain = Drain;
    const unsigned channels = aout_FormatNbChannels(&filter->fmt_in.audio);
    msg_Dbg(filter, "sound at %u Hz, %u channel%s; %dx%d at %d fps, plug-in %s", filter->fmt_in.audio.i_rate, channels,
            channels == 1 ? "" : "s", running->width, running->height, running->fps, plugin.c_str());
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
    sys->visualiser.reset();
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
