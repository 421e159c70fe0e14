// song_player.h - a stretch of a song played through an SDL audio device,
// fed from the drawing thread with queued buffers, folded to stereo the way
// the analysis sees the channels (host/base/channel_sides.h).
//
// About kQueueAheadSeconds of sound are kept queued (Pump()); Position() is
// the seconds of the stretch played so far: handed to the device minus still
// queued. Without a device (no sound card, no server) playing() is false and
// reason() says why.
#ifndef LUMAGROVE_SONG_PLAYER_H
#define LUMAGROVE_SONG_PLAYER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "toolbox/toolbox.h"

class SongPlayer {
public:
    // `song` is kept alive by the caller and read by the player alone.
    SongPlayer(AudioSource& song, double start, double duration);
    ~SongPlayer();
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    bool playing() const { return device_ != 0; }
    const std::string& reason() const { return reason_; }
    // Holds the sound where it is, or lets it go on.
    void Pause(bool paused);
    // Keeps about kQueueAheadSeconds of sound queued.
    void Pump();
    double Position() const;

private:
    AudioSource& song_;
    SideMix mix_;
    int64_t first_, end_;
    int64_t next_;
    uint32_t device_ = 0;  // SDL_AudioDeviceID
    std::string reason_;
    std::vector<float> samples_, stereo_;
};

#endif
