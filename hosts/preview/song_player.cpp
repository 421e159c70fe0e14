#include "hosts/preview/song_player.h"

#include <SDL.h>
#include <math.h>

#include <algorithm>

#include "hosts/preview/sdl_window.h"

namespace {

// Sound handed to the device ahead of the picture: the window's loop tops it
// up each frame, and a loop held up for longer than this (a busy machine)
// would let the device run dry and play a gap into the song. The picture
// follows what is heard (Position()), whatever is queued.
const double kQueueAheadSeconds = 1.0;
const int kChunkFrames = 2048;  // sample frames read from the song at a time

}  // namespace

SongPlayer::SongPlayer(AudioSource& song, double start, double duration)
    : song_(song),
      mix_(song.sides()),
      first_(static_cast<int64_t>(llround(start * song.sampleRate()))),
      end_(first_ + static_cast<int64_t>(llround(duration * song.sampleRate()))),
      next_(first_) {
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

SongPlayer::~SongPlayer() {
    if (device_) SDL_CloseAudioDevice(device_);
}

void SongPlayer::Pause(bool paused) { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

void SongPlayer::Pump() {
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

double SongPlayer::Position() const {
    const int64_t queued = SDL_GetQueuedAudioSize(device_) / (2 * sizeof(float));
    return static_cast<double>(next_ - queued - first_) / song_.sampleRate();
}
