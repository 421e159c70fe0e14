// song_wav.h - a song written out whole as a WAV file (a file to hand a
// player: the demo piece, say).
#ifndef LUMAGROVE_SONG_WAV_H
#define LUMAGROVE_SONG_WAV_H

#include <string>

#include "toolbox/audio/audio_source.h"

// Writes the whole of `song` as a 16-bit PCM WAV at `path`, a block at a
// time. Throws HostError (a failure) naming the path when it cannot be written.
void WriteWavFile(const std::string& path, AudioSource& song);

#endif
