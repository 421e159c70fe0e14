#include "toolbox/run/song_wav.h"

#include <algorithm>
#include <vector>

#include "toolbox/output/wav_writer.h"

void WriteWavFile(const std::string& path, AudioSource& song) {
    WavWriter wav(path, song.sampleRate(), song.channels());
    const int64_t chunk = 16384;
    std::vector<float> samples(static_cast<size_t>(chunk * song.channels()));
    for (int64_t at = 0; at < song.frameCount(); at += chunk) {
        const int64_t n = std::min(chunk, song.frameCount() - at);
        song.Read(at, n, samples.data());
        wav.Append(samples.data(), n);
    }
    wav.Finish();
}
