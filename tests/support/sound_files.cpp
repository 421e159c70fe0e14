#include "tests/support/sound_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/lumagrove-audio-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Channel Sine(double hz, double amplitude, int rate, double seconds) {
    Channel c(static_cast<size_t>(std::lround(rate * seconds)));
    for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * i / rate));
    return c;
}

Channel Kicks(int rate, double seconds, double first, double burst) {
    Channel kick = Silence(rate, seconds);
    const int length = static_cast<int>(rate * burst);
    for (double beat = first; beat < seconds; beat += 0.5)
        for (int i = 0; i < length; ++i) {
            const size_t at = static_cast<size_t>(beat * rate) + i;
            if (at < kick.size())
                kick[at] = static_cast<float>(0.9 * (1.0 - i / (rate * burst)) * sin(2 * M_PI * 60.0 * i / rate));
        }
    return kick;
}

Channel Silence(int rate, double seconds) { return Channel(static_cast<size_t>(std::lround(rate * seconds)), 0.0f); }

Channel Noise(double amplitude, int rate, double seconds, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-amplitude, amplitude);
    Channel c(static_cast<size_t>(std::lround(rate * seconds)));
    for (float& v : c) v = static_cast<float>(uniform(random));
    return c;
}

void WriteSound(const std::string& path, int format, int rate, const std::vector<Channel>& channels) {
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    const size_t frames = channels[0].size();
    std::vector<float> interleaved(frames * channels.size());
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
    const sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames)) throw std::runtime_error("short write to " + path);
}

std::vector<float> ReadWholeSound(const std::string& path, SF_INFO* info) {
    *info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, info);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::vector<float> samples(static_cast<size_t>(info->frames * info->channels));
    const sf_count_t got = sf_readf_float(file, samples.data(), info->frames);
    sf_close(file);
    if (got != info->frames) throw std::runtime_error("short read of " + path);
    return samples;
}

void TruncateFile(const std::string& path, long bytes) {
    if (truncate(path.c_str(), bytes) != 0) throw std::runtime_error("cannot truncate " + path);
}

void OverwriteBytes(const std::string& path, long offset, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "r+b");
    if (!f) throw std::runtime_error("cannot open " + path);
    fseek(f, offset, SEEK_SET);
    const size_t written = fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    if (written != bytes.size()) throw std::runtime_error("cannot overwrite " + path);
}

void ScrambleBytes(const std::string& path, long offset, long count) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() & 0xFF);
    OverwriteBytes(path, offset, bytes);
}

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

const std::vector<PartWayDamage>& PartWayDamageCases() {
    static const std::vector<PartWayDamage> cases = {{"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
                                                     {"hit.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
                                                     {"hit.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
                                                     {"cut.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, true},
                                                     {"hit.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, false},
                                                     {"cut.m4a", 0, true, "-c:a aac -movflags +faststart"},
                                                     {"hit.m4a", 0, false, "-c:a aac"},
                                                     {"hit.wma", 0, false, "-c:a wmav2"}};
    return cases;
}

void WriteDamageCase(const std::string& path, const PartWayDamage& damage, int rate, const std::vector<Channel>& song) {
    if (!damage.ffmpeg) return WriteSound(path, damage.format, rate, song);
    const std::string wav = path + ".source.wav";
    WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, song);
    EncodeWithFfmpeg(wav, path, damage.ffmpeg);
    unlink(wav.c_str());
}

void DamagePartWay(const std::string& path, const PartWayDamage& damage) {
    const long size = FileSize(path);
    if (damage.truncate) TruncateFile(path, size * 6 / 10);
    else ScrambleBytes(path, size / 2, 4000);
}

void WriteText(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

void EncodeWithFfmpeg(const std::string& from, const std::string& to, const std::string& options) {
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + from + "' " + options + " '" + to + "'";
    if (system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
}
