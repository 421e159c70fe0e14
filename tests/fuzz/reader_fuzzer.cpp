// reader_fuzzer (libFuzzer): any bytes, as a song file, through the whole
// song reader: open (the format, the sound stream, its length, the checks
// for truncation), then streamed reads from the start, a seek forward and
// one back, and a read across the end. A refusal or a read error is a
// HostError and fine; anything else (a crash, a sanitizer's report, another
// exception) is a finding. The work per input is bounded: at most two
// seconds of sound are read in order.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/base/host_error.h"
#include "toolbox/audio/audio_file.h"

namespace {

// A file of this process's own for the bytes (the reader takes a path).
const std::string& SongPath() {
    static const std::string path = [] {
        char folder[] = "/tmp/lumagrove-reader-fuzz-XXXXXX";
        if (!mkdtemp(folder)) abort();
        static std::string made = folder;
        atexit([] {
            unlink((made + "/song").c_str());
            rmdir(made.c_str());
        });
        return made + "/song";
    }();
    return path;
}

void ReadThrough(AudioSource& song) {
    const int64_t frames = song.frameCount();
    const int channels = song.channels();
    const int64_t block = 4096;
    std::vector<float> samples(static_cast<size_t>(block * channels));
    const int64_t inOrder = std::min<int64_t>(frames, 2 * static_cast<int64_t>(song.sampleRate()));
    for (int64_t at = 0; at < inOrder; at += block) song.Read(at, std::min(block, inOrder - at), samples.data());
    song.Read(std::min<int64_t>(frames, inOrder + block), block, samples.data());  // forward, past what was read
    song.Read(0, block, samples.data());                                           // back to the start
    song.Read(std::max<int64_t>(0, frames - block / 2), block, samples.data());    // across the end
    for (float s : samples)
        if (!(s >= -1.0f && s <= 1.0f)) abort();  // the reader's contract: finite, within full scale
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = SongPath();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) abort();
    if (size && fwrite(data, 1, size, file) != size) abort();
    fclose(file);
    try {
        std::unique_ptr<AudioSource> song = OpenAudioFile(path);
        // A header may claim hours; reading far stays bounded by the bytes there.
        ReadThrough(*song);
    } catch (const HostError&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
