// lumagrove-decode-bench: how fast songs decode, and that a song's length
// costs no memory.
//
// Throughput: a minute of music-like sound (a chord over pink noise, stereo,
// 44.1 kHz) written with the ffmpeg command as FLAC, MP3 (192 kbit/s) and
// AAC in M4A (192 kbit/s), then read in order through OpenAudioFile() as the
// analysis reads a song, best of N runs: seconds of sound decoded per second.
// Memory: lumagrove-preview analysing a whole song (--sheet only, which
// analyses every frame and draws sixteen) of one minute and of one hour of
// AAC, its peak resident memory for each. Prints Markdown tables on stdout.
//
//   lumagrove-decode-bench [--repeat N] [--minutes M]   (M: the long song, default 60)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/toolbox.h"

namespace {

using Clock = std::chrono::steady_clock;

// Writes `seconds` of the test sound at `path` with the ffmpeg command and
// the output `options`.
void WriteSong(const std::string& path, double seconds, const std::string& options) {
    const std::string d = std::to_string(seconds);
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i \"sine=f=110:d=" + d +
        "\" -f lavfi -i \"sine=f=277:d=" + d + "\" -f lavfi -i \"anoisesrc=c=pink:a=0.2:d=" + d +
        "\" -filter_complex \"amix=inputs=3,aformat=channel_layouts=stereo\" -ar 44100 " + options + " '" + path + "'";
    if (system(command.c_str()) != 0) throw HostError(Fault::kFailure, "ffmpeg could not write " + path);
}

// Seconds of sound decoded per second, reading the song through in order.
double DecodeRate(const std::string& path) {
    const Clock::time_point start = Clock::now();
    std::unique_ptr<AudioSource> song = OpenAudioFile(path);
    std::vector<float> chunk(static_cast<size_t>(16384 * song->channels()));
    for (int64_t at = 0; at < song->frameCount(); at += 16384) song->Read(at, 16384, chunk.data());
    return song->duration() / std::chrono::duration<double>(Clock::now() - start).count();
}

// lumagrove-preview's peak resident memory analysing the whole of `path`.
long PreviewPeakKiB(const std::string& path, const std::string& scratch) {
    ChildProcess preview({LUMAGROVE_PREVIEW_PATH, "--audio", path, "--sheet", scratch + "/sheet.png", "--size",
                          "320x180", "--fps", "30", "--quiet"});
    if (preview.CloseAndWait() != 0)
        throw HostError(Fault::kFailure, "lumagrove-preview failed on " + path + ": " + preview.LastErrorLine());
    return preview.peakMemoryKiB();
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 3, minutes = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--repeat") == 0) repeats = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--minutes") == 0) minutes = atoi(argv[i + 1]);
        else repeats = 0;
    }
    if (repeats < 1 || minutes < 1 || argc % 2 == 0) {
        fprintf(stderr, "usage: lumagrove-decode-bench [--repeat N] [--minutes M]\n");
        return 2;
    }
    try {
        ScratchFolder scratch;
        printf("| format (a minute, stereo, 44.1 kHz) | seconds of sound decoded per second |\n|---|---:|\n");
        struct Format {
            const char* name;
            const char* file;
            const char* options;
        };
        for (const Format& f : {Format{"FLAC", "song.flac", "-c:a flac"},
                                Format{"MP3, 192 kbit/s", "song.mp3", "-c:a libmp3lame -b:a 192k"},
                                Format{"AAC in M4A, 192 kbit/s", "song.m4a", "-c:a aac -b:a 192k"}}) {
            const std::string path = scratch.path() + "/" + f.file;
            WriteSong(path, 60, f.options);
            double best = 0;
            for (int round = 0; round < repeats; ++round) best = std::max(best, DecodeRate(path));
            printf("| %s | %.0f |\n", f.name, best);
            fflush(stdout);
        }
        printf("\n| song (AAC in M4A, analysed whole) | lumagrove-preview peak |\n|---|---:|\n");
        for (int length : {1, minutes}) {
            fprintf(stderr, "writing %d minute(s) of AAC...\n", length);
            const std::string path = scratch.path() + "/long.m4a";
            WriteSong(path, 60.0 * length, "-c:a aac -b:a 128k");
            printf("| %d min | %.1f MiB |\n", length, PreviewPeakKiB(path, scratch.path()) / 1024.0);
            fflush(stdout);
        }
        return 0;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-decode-bench: %s\n", e.what());
        return 1;
    }
}
