// sound_files.h - real sound files for the audio tests: signals made here,
// written to disk with libsndfile in the format a test asks for, and read back
// whole for comparison with the host's streamed reader.
#ifndef LUMAGROVE_TESTS_SOUND_FILES_H
#define LUMAGROVE_TESTS_SOUND_FILES_H

#include <sndfile.h>
#include <stdint.h>

#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it at destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// One channel of sound.
using Channel = std::vector<float>;

Channel Sine(double hz, double amplitude, int rate, double seconds);
Channel Silence(int rate, double seconds);
// A kick on every half second from `first`: 60 Hz bursts of `burst` seconds
// at 0.9 of full scale, fading out, and silence between them.
Channel Kicks(int rate, double seconds, double first, double burst);
// Uniform noise of `amplitude` from a fixed seed.
Channel Noise(double amplitude, int rate, double seconds, uint32_t seed);

// Writes the channels (all of one length) interleaved to `path`.
// `format` is a libsndfile format such as SF_FORMAT_WAV | SF_FORMAT_PCM_16.
void WriteSound(const std::string& path, int format, int rate, const std::vector<Channel>& channels);

// The whole file in one libsndfile read, interleaved.
std::vector<float> ReadWholeSound(const std::string& path, SF_INFO* info);
// Converts the sound file `from` to `to` with the ffmpeg command and its
// output `options` (more inputs may come first: "-f lavfi -i ... -map ...").
// Throws std::runtime_error when ffmpeg fails.
void EncodeWithFfmpeg(const std::string& from, const std::string& to, const std::string& options);

// Keeps the first `bytes` bytes of a file.
void TruncateFile(const std::string& path, long bytes);
// Overwrites `count` bytes from `offset` with bytes from a fixed seed.
void ScrambleBytes(const std::string& path, long offset, long count);
// Overwrites bytes from `offset` with `bytes`.
void OverwriteBytes(const std::string& path, long offset, const std::vector<uint8_t>& bytes);
long FileSize(const std::string& path);

// A song damaged part-way, in a format whose decoder notices: cut at 60 % of
// its bytes, or 4000 bytes scrambled in its middle.
struct PartWayDamage {
    const char* name;              // file name, e.g. "cut.flac"
    int format;                    // libsndfile's, or 0 for one the ffmpeg command writes
    bool truncate;                 // else scrambled
    const char* ffmpeg = nullptr;  // its output options, for a format of the ffmpeg command
};
const std::vector<PartWayDamage>& PartWayDamageCases();  // FLAC, Ogg Vorbis, MP3, AAC in M4A, WMA
// Writes the case's song (undamaged) at `path`.
void WriteDamageCase(const std::string& path, const PartWayDamage& damage, int rate, const std::vector<Channel>& song);
void DamagePartWay(const std::string& path, const PartWayDamage& damage);
void WriteText(const std::string& path, const std::string& text);

#endif
