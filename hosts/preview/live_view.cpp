#include "hosts/preview/live_view.h"

#include <SDL.h>
#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "hosts/preview/job_plan.h"
#include "hosts/preview/options.h"
#include "hosts/preview/outputs.h"
#include "hosts/preview/sdl_window.h"
#include "hosts/preview/song_files.h"
#include "hosts/preview/song_player.h"
#include "toolbox/toolbox.h"

namespace {

double Seconds(Uint64 ticks) { return static_cast<double>(ticks) / SDL_GetPerformanceFrequency(); }

// The window's clock: the position of the sound being played (or captured,
// or of the program's own clock), a frame at most every 1 / fps seconds; the
// window's keys and dropped files are taken as it waits.
class ViewClock {
public:
    ViewClock(SdlWindow& window, const FrameJob& job, FrameRun& run, AudioSource* playback, LiveCapture* capture)
        : window_(window),
          frameSeconds_(1.0 / job.fps),
          start_(job.start),
          duration_(job.frameCount == FrameJob::kUntilStopped ? HUGE_VAL : job.duration()),
          run_(run),
          capture_(capture),
          nextFrame_(0.0) {
        if (playback) player_ = std::make_unique<SongPlayer>(*playback, start_, duration_);
        if (!capture_ && (!player_ || !player_->playing()))
            fprintf(stderr, "lumagrove-preview: %s; the picture runs on its own clock\n",
                    player_ ? ("no audio device (" + player_->reason() + ")").c_str() : "no song to play");
        begin_ = SDL_GetPerformanceCounter();
    }

    bool Next(FrameTime* frame) {
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
                if (capture_->failed()) throw HostError(Fault::kFailure, capture_->failure());
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
            auto feed = std::make_unique<SongRunFeed>(*song);
            const lumagrove_sound_desc sound = SoundDescOf(*song);
            player_.reset();
            if (lumagrove_set_sound(run_.visualiser(), &sound) != LUMAGROVE_OK)
                throw HostError(Fault::kFailure, lumagrove_last_error(run_.visualiser()));
            run_.SetFeed(feed.get());
            droppedFeed_ = std::move(feed);
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
    FrameRun& run_;
    LiveCapture* capture_;
    std::unique_ptr<SongPlayer> player_;
    std::unique_ptr<AudioSource> droppedSong_, droppedPlayback_;
    std::unique_ptr<RunFeed> droppedFeed_;
    Uint64 begin_ = 0;
    double nextFrame_;          // the own clock's time the next frame is due
    double position_ = 0.0;     // seconds of the stretch played
    double pausedAt_ = -1.0;    // the own clock's reading when paused, or < 0
    double clockOffset_ = 0.0;  // the own clock's time spent paused
    int64_t index_ = 0;
};

// A window of the job's size titled `title`, over the run `desc` gives
// (what its frames are drawn from, its sound), the picture on the sound that
// plays from `playback`.
void View(const Options& o, const FrameJob& job, RunDesc desc, AudioSource* playback, const std::string& title) {
    Outputs outputs = MakeOutputs(o, job, SoundForVideo{});
    SdlWindow window(job.width, job.height, "Lumagrove - " + title, o.fullscreen, true);
    desc.visualiser.plugin_path = o.plugin.c_str();
    desc.visualiser.target = LUMAGROVE_TARGET_CURRENT;
    window.Size(&desc.visualiser.width, &desc.visualiser.height);
    desc.fps = job.fps;
    desc.start = job.start;
    desc.outputs = outputs.List();
    desc.screen = &window;
    desc.stopAsked = InterruptRequested;
    desc.onStop = RunDesc::OnStop::kFinish;
    FrameRun run(desc);
    ViewClock clock(window, job, run, playback, nullptr);
    run.Run([&](FrameTime* frame) { return clock.Next(frame); });
    run.Finish();
}

}  // namespace

void ViewSong(const Options& o, const FrameJob& job, SongOrReplay& what, AudioSource* playback) {
    std::unique_ptr<RunFeed> feed = what.Feed();
    RunDesc desc;
    desc.visualiser.sound = what.sound();
    desc.feed = feed.get();
    View(o, job, desc, playback, what.title);
}

void ViewCapture(const Options& o) {
    FrameJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    if (o.duration > 0) job.frameCount = FrameCountFor(o.duration, o.fps);
    // The window and its run are made once the device's format is known,
    // before its first sound; the capture goes first.
    Outputs outputs;
    std::unique_ptr<SdlWindow> window;
    std::unique_ptr<FrameRun> run;
    LiveCapture capture(o.captureSource, [&](const CaptureFormat& format) -> CaptureSink {
        outputs = MakeOutputs(o, job, SoundForVideo{});
        window = std::make_unique<SdlWindow>(job.width, job.height, "Lumagrove - capturing " + format.device,
                                             o.fullscreen, true);
        RunDesc desc;
        desc.visualiser.plugin_path = o.plugin.c_str();
        desc.visualiser.target = LUMAGROVE_TARGET_CURRENT;
        window->Size(&desc.visualiser.width, &desc.visualiser.height);
        // Live: the window that ends at the newest sound; the capture fills
        // its own silences.
        desc.visualiser.sound = SoundDescOf(format.rate, format.sides, LUMAGROVE_SOUND_LIVE);
        desc.visualiser.sound.quiet_seconds = -1.0;
        desc.fps = job.fps;
        desc.outputs = outputs.List();
        desc.screen = window.get();
        desc.stopAsked = InterruptRequested;
        desc.onStop = RunDesc::OnStop::kFinish;
        run = std::make_unique<FrameRun>(desc);
        return [r = run.get()](const float* samples, int64_t count) { r->Append(samples, count); };
    });
    ViewClock clock(*window, job, *run, nullptr, &capture);
    run->Run([&](FrameTime* frame) { return clock.Next(frame); });
    run->Finish();
}
