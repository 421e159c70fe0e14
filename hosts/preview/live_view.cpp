#include "hosts/preview/live_view.h"

#include <SDL.h>
#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "host/visualiser.h"
#include "hosts/preview/job_plan.h"
#include "hosts/preview/options.h"
#include "hosts/preview/outputs.h"
#include "hosts/preview/sdl_window.h"
#include "hosts/preview/song_files.h"
#include "hosts/preview/song_player.h"

namespace {

double Seconds(Uint64 ticks) { return static_cast<double>(ticks) / SDL_GetPerformanceFrequency(); }

// The window's clock: the position of the sound being played (or captured,
// or of the program's own clock), a frame at most every 1 / fps seconds; the
// window's keys and dropped files are taken as it waits.
class ViewClock : public FrameClock {
public:
    ViewClock(SdlWindow& window, const FrameJob& job, Visualiser& visualiser, AudioSource* playback,
              LiveCapture* capture)
        : window_(window),
          frameSeconds_(1.0 / job.fps),
          start_(job.start),
          duration_(job.frameCount == FrameJob::kUntilStopped ? HUGE_VAL : job.duration()),
          visualiser_(visualiser),
          capture_(capture),
          nextFrame_(0.0) {
        if (playback) player_ = std::make_unique<SongPlayer>(*playback, start_, duration_);
        if (!capture_ && (!player_ || !player_->playing()))
            fprintf(stderr, "lumagrove-preview: %s; the picture runs on its own clock\n",
                    player_ ? ("no audio device (" + player_->reason() + ")").c_str() : "no song to play");
        begin_ = SDL_GetPerformanceCounter();
    }

    bool Next(FrameTime* frame) override {
        for (;;) {
            const SdlWindow::Requests asked = window_.Poll();
            if (asked.quit || position_ >= duration_) return false;
            const double now = Seconds(SDL_GetPerformanceCounter() - begin_);
            if (asked.togglePause && !capture_) {
                const bool pause = pausedAt_ < 0;
                if (player_ && player_->playing()) player_->Pause(pause);
                if (pause) pausedAt_ = now;
                else clockOffset_ += now - pausedAt_, pausedAt_ = -1.0;
            }
            if (!asked.dropped.empty() && !capture_ && Play(asked.dropped)) continue;
            if (now < nextFrame_) {
                SDL_Delay(static_cast<Uint32>(std::max(1.0, floor((nextFrame_ - now) * 1000))));
                continue;
            }
            // Frames on a grid of 1 / fps, so waking late now and then does
            // not slow the rate; one that fell more than a frame behind starts
            // the grid afresh instead of catching up in a burst.
            nextFrame_ = now - nextFrame_ > frameSeconds_ ? now + frameSeconds_ : nextFrame_ + frameSeconds_;
            if (capture_) {
                if (capture_->failed()) throw HostError(kExitFailure, capture_->failure());
                position_ = capture_->frameCount() / static_cast<double>(capture_->sampleRate());
            } else if (player_ && player_->playing()) {
                if (pausedAt_ < 0) player_->Pump();
                position_ = std::max(position_, player_->Position());
            } else {
                position_ = (pausedAt_ < 0 ? now : pausedAt_) - clockOffset_;
            }
            frame->index = index_++;
            frame->time = frame->soundTime = start_ + std::min(position_, duration_);
            return true;
        }
    }

private:
    // A song dropped on the window plays in place of the current one, from
    // its start; one that cannot be opened is said and passed over.
    bool Play(const std::string& path) {
        try {
            auto song = OpenSongFile(path);
            auto again = OpenSongFile(path);
            player_.reset();
            visualiser_.FeedFrom(*song);
            droppedSong_ = std::move(song);
            droppedPlayback_ = std::move(again);
            start_ = 0.0;
            duration_ = droppedSong_->duration();
            player_ = std::make_unique<SongPlayer>(*droppedPlayback_, start_, duration_);
            begin_ = SDL_GetPerformanceCounter();
            nextFrame_ = 0.0, position_ = 0.0, pausedAt_ = -1.0, clockOffset_ = 0.0;
            window_.SetTitle("Lumagrove - " + SongFileTitle(*droppedSong_, path));
            return true;
        } catch (const HostError& e) {
            fprintf(stderr, "lumagrove-preview: %s; playing on\n", e.what());
            return false;
        }
    }

    SdlWindow& window_;
    const double frameSeconds_;
    double start_, duration_;
    Visualiser& visualiser_;
    LiveCapture* capture_;
    std::unique_ptr<SongPlayer> player_;
    std::unique_ptr<AudioSource> droppedSong_, droppedPlayback_;
    Uint64 begin_ = 0;
    double nextFrame_;          // the own clock's time the next frame is due
    double position_ = 0.0;     // seconds of the stretch played
    double pausedAt_ = -1.0;    // the own clock's reading when paused, or < 0
    double clockOffset_ = 0.0;  // the own clock's time spent paused
    int64_t index_ = 0;
};

// `show` gives the visualiser what it draws from.
void View(const Options& o, FrameJob job, const std::function<void(Visualiser&)>& show, AudioSource* playback,
          LiveCapture* capture, const std::string& title) {
    job.onInterrupt = FrameJob::OnInterrupt::kFinish;
    Outputs outputs = MakeOutputs(o, job, SoundForVideo{});
    std::unique_ptr<SdlWindow> window;
    VisualiserDesc desc;
    desc.plugin = o.plugin;
    desc.target = TargetKind::kHost;
    desc.makeTarget = [&] {
        window = std::make_unique<SdlWindow>(job.width, job.height, "Lumagrove - " + title, o.fullscreen, true);
        return window.get();
    };
    desc.job = job;
    desc.outputs = outputs.List();
    Visualiser visualiser(desc);
    show(visualiser);
    ViewClock clock(*window, job, visualiser, playback, capture);
    visualiser.Run(clock);
    visualiser.Finish();
}

}  // namespace

void ViewSong(const Options& o, const FrameJob& job, SongOrReplay& what, AudioSource* playback) {
    View(
        o, job, [&](Visualiser& v) { what.DrawWith(v); }, playback, nullptr, what.title);
}

void ViewCapture(const Options& o, LiveCapture& capture) {
    FrameJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    if (o.duration > 0) job.frameCount = FrameCountFor(o.duration, o.fps);
    View(
        o, job, [&](Visualiser& v) { v.ListenTo(capture.store(), SoundMode::kLive); }, nullptr, &capture,
        "capturing " + capture.deviceName());
}
