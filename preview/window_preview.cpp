#include "preview/window_preview.h"

#include <SDL.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/base/host_error.h"
#include "host/base/interrupt.h"
#include "host/audio/audio_file.h"
#include "host/audio/song_levels.h"
#include "preview/preview_window.h"
#include "preview/render_loop.h"
#include "render/gl.h"

namespace {

const double kQueueAheadSeconds = 0.25;  // sound handed to the device ahead of the picture
const int kChunkFrames = 2048;           // sample frames read from the song at a time

// Plays a stretch of the song through an SDL audio device, fed from this
// thread with queued buffers, folded to stereo the way the analysis sees the
// channels (SideMix).
class SongPlayer {
public:
    SongPlayer(AudioSource& song, double start, double duration)
        : song_(song),
          mix_(song),
          first_(static_cast<int64_t>(llround(start * song.sampleRate()))),
          end_(first_ + static_cast<int64_t>(llround(duration * song.sampleRate()))) {
        int failed = 0;
        WithoutLibraryChatter([&] { failed = SDL_InitSubSystem(SDL_INIT_AUDIO); });
        if (failed != 0) {
            reason_ = SDL_GetError();
            return;
        }
        SDL_AudioSpec want;
        SDL_zero(want);
        want.freq = song.sampleRate();
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = 1024;
        WithoutLibraryChatter([&] { device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0); });
        if (device_ == 0) {
            reason_ = SDL_GetError();
            return;
        }
        Pump();
        SDL_PauseAudioDevice(device_, 0);
    }
    ~SongPlayer() {
        if (device_) SDL_CloseAudioDevice(device_);
    }

    bool playing() const { return device_ != 0; }
    // Holds the sound where it is, or lets it go on.
    void Pause(bool paused) { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }
    const std::string& reason() const { return reason_; }

    // Keeps about kQueueAheadSeconds of sound queued.
    void Pump() {
        const Uint32 bytesPerFrame = 2 * sizeof(float);
        const int64_t ahead = static_cast<int64_t>(kQueueAheadSeconds * song_.sampleRate());
        while (next_ < end_ && SDL_GetQueuedAudioSize(device_) / bytesPerFrame < ahead) {
            const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, end_ - next_));
            const int channels = song_.channels();
            samples_.resize(static_cast<size_t>(count) * channels);
            song_.Read(next_, count, samples_.data());
            stereo_.resize(static_cast<size_t>(count) * 2);
            mix_.Fold(samples_.data(), count, stereo_.data());
            SDL_QueueAudio(device_, stereo_.data(), static_cast<Uint32>(stereo_.size() * sizeof(float)));
            next_ += count;
        }
    }

    // Seconds of the stretch played so far: handed over minus still queued.
    double Position() const {
        const int64_t queued = SDL_GetQueuedAudioSize(device_) / (2 * sizeof(float));
        return static_cast<double>(next_ - queued - first_) / song_.sampleRate();
    }

private:
    AudioSource& song_;
    SideMix mix_;
    int64_t first_, end_;
    int64_t next_ = first_;
    SDL_AudioDeviceID device_ = 0;
    std::string reason_;
    std::vector<float> samples_, stereo_;
};

double Seconds(Uint64 ticks) { return static_cast<double>(ticks) / SDL_GetPerformanceFrequency(); }

}  // namespace

void RunWindow(const WindowJob& job, PluginLibrary& plugin, LevelSource& levels, AudioSource* playback,
               Outputs& outputs, LiveCapture* capture) {
    std::unique_ptr<PreviewWindow> window;
    plugin.Start([&] {
        window = std::make_unique<PreviewWindow>(job.width, job.height, "Lumagrove - " + job.title, job.fullscreen,
                                                 true);
    });

    // What plays: the song given, or one dropped on the window since.
    LevelSource* songLevels = &levels;
    std::unique_ptr<AudioSource> droppedSong, droppedPlayback;
    std::unique_ptr<LevelSource> droppedLevels;
    double start = job.start, duration = job.duration;
    std::unique_ptr<SongPlayer> player;
    if (playback) player = std::make_unique<SongPlayer>(*playback, start, duration);
    if (!capture && (!player || !player->playing()))
        fprintf(stderr, "lumagrove-preview: %s; the picture runs on its own clock\n",
                player ? ("no audio device (" + player->reason() + ")").c_str() : "no song to play");

    auto block = std::make_unique<AudioBlock>();
    RenderParams params = {block.get(), job.width, job.height, 0, start};
    const double frameSeconds = 1.0 / job.fps;
    Uint64 begin = SDL_GetPerformanceCounter();
    double lastFrame = -frameSeconds;
    double position = 0.0;     // seconds of the stretch played
    double pausedAt = -1.0;    // the own clock's reading when paused, or < 0
    double clockOffset = 0.0;  // the own clock's time spent paused
    for (;;) {
        const PreviewWindow::Requests asked = window->Poll();
        if (asked.quit || position >= duration) break;
        const double now = Seconds(SDL_GetPerformanceCounter() - begin);
        if (asked.togglePause && !capture) {
            const bool pause = pausedAt < 0;
            if (player && player->playing()) player->Pause(pause);
            if (pause) pausedAt = now;
            else clockOffset += now - pausedAt, pausedAt = -1.0;
        }
        if (!asked.dropped.empty() && !capture) {
            // A song dropped on the window plays in place of the current one,
            // from its start; one that cannot be opened is said and passed over.
            try {
                auto song = OpenAudioFile(asked.dropped);
                auto again = OpenAudioFile(asked.dropped);
                auto analysis = AnalyseSong(*song);
                player.reset();
                droppedSong = std::move(song);
                droppedPlayback = std::move(again);
                droppedLevels = std::move(analysis);
                songLevels = droppedLevels.get();
                start = 0.0;
                duration = droppedSong->duration();
                player = std::make_unique<SongPlayer>(*droppedPlayback, start, duration);
                begin = SDL_GetPerformanceCounter();
                lastFrame = -frameSeconds, position = 0.0, pausedAt = -1.0, clockOffset = 0.0;
                window->SetTitle("Lumagrove - " + asked.dropped.substr(asked.dropped.find_last_of('/') + 1));
                continue;
            } catch (const HostError& e) {
                fprintf(stderr, "lumagrove-preview: %s; playing on\n", e.what());
            }
        }
        if (now - lastFrame < frameSeconds) {
            SDL_Delay(static_cast<Uint32>(std::max(1.0, (frameSeconds - (now - lastFrame)) * 1000)));
            continue;
        }
        lastFrame = now;
        if (capture) {
            if (capture->failed()) throw HostError(kExitFailure, capture->failure());
            position = capture->frameCount() / static_cast<double>(capture->sampleRate());
        } else if (player && player->playing()) {
            if (pausedAt < 0) player->Pump();
            position = std::max(position, player->Position());
        } else {
            position = (pausedAt < 0 ? now : pausedAt) - clockOffset;
        }
        params.time = start + std::min(position, duration);
        window->DrawableSize(&params.width, &params.height);
        songLevels->Fill(params.time, block.get());
        if (outputs.levels) outputs.levels->Write(params.time, block->levels);
        plugin.Render(params);
        window->Present();
    }
    FinishAndPublish(outputs.All());
}
