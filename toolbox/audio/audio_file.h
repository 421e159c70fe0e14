// audio_file.h - songs in any format FFmpeg's libraries read (WAV, AIFF,
// FLAC, Ogg Vorbis, Opus, MP3, AAC and ALAC in M4A, WMA, and the first sound
// stream of a video: MP4, MKV, WebM, MOV, ...), decoded as a stream
// (toolbox/audio/streamed_source.h); and WAV files written from any source.
#ifndef LUMAGROVE_AUDIO_FILE_H
#define LUMAGROVE_AUDIO_FILE_H

#include <memory>
#include <string>

#include "toolbox/audio/audio_source.h"

// Opens a song. Its length is its container's (an MP3's counted from its
// packets, less the encoder's delay and padding); a decoder that gives a
// little less (at most a tenth of a second: a codec's padding) ends in
// silence. Throws HostError (bad input) naming the file when it is missing,
// empty, truncated (a PCM header that promises more sound than the file holds,
// or an Ogg stream whose end is missing), not audio, has no sound ("has no
// sound": a video without an audio stream), holds no samples, or is coded in
// a codec this build of FFmpeg cannot decode. Damage that only shows while
// decoding (a stream that breaks off or fails its checks part-way, sound
// missing at the end) throws HostError (a failure) from Read(); PCM formats carry
// no checksum, so damaged PCM bytes cannot be told from sound. FFmpeg's own
// messages are silenced: the failure is said in one line.
std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path);

// What to call a song opened from `path`: its tags' "Artist - Title", or else
// its file name.
std::string SongTitle(const AudioSource& song, const std::string& path);

#endif
