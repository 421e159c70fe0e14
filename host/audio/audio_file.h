// audio_file.h - songs in any format libsndfile reads, decoded as a stream
// (host/audio/streamed_source.h); and WAV files written from any source.
#ifndef LUMAGROVE_AUDIO_FILE_H
#define LUMAGROVE_AUDIO_FILE_H

#include <memory>
#include <string>

#include "host/audio/audio_source.h"

// Opens a song in any format libsndfile reads. Throws HostError (status 2)
// naming the file when it is missing, empty, truncated (a header that promises
// more sound than the file holds, or an Ogg stream whose end is missing), holds
// no samples, or is not audio. Damage that only shows while decoding (a FLAC,
// Ogg or MP3 stream that breaks off or fails its checks part-way) throws
// HostError status 1 from Read(); PCM formats carry no checksum, so damaged PCM
// bytes cannot be told from sound.
std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path);

// What to call a song opened from `path`: its tags' "Artist - Title", or else
// its file name.
std::string SongTitle(const AudioSource& song, const std::string& path);

// Writes the whole of `source` as a 16-bit PCM WAV at `path`, a block at a
// time (host/output/wav_writer.h). Throws HostError (status 1)
// naming the path when it cannot be written.
void WriteWavFile(const std::string& path, AudioSource& source);

#endif
