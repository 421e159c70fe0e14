// demo_song.h - the built-in demo piece, made in code: what a host plays when
// it is given no song.
#ifndef LUMAGROVE_DEMO_SONG_H
#define LUMAGROVE_DEMO_SONG_H

#include <memory>
#include <string>

#include "toolbox/audio/audio_source.h"

// The built-in demo: a deterministic piece of about 20 seconds (kick, bass,
// hats, a chord pad), stereo at 48 kHz.
std::unique_ptr<AudioSource> MakeDemoSong();

#endif
