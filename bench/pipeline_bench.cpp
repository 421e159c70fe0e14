// lumagrove-bench: how fast the preview host renders the demo to a video, how
// that compares with its two halves alone, and how much memory it needs.
//
// All figures come from one run on one machine, 1280x720:
//   whole        the built lumagrove-preview rendering the demo to .mp4, wall
//                clock from start to exit, at 60 and at 30 frames a second
//   render       the same frames analysed, drawn and read back, then dropped
//   encode       the encoder alone, fed those very frames (captured to a file
//                first, then written down the pipe from memory)
//   floor        1 / (1/render + 1/encode): what the two halves would reach
//                one after the other on the same cores
//   memory       the peak resident memory of lumagrove-preview and of its
//                ffmpeg, for a 20-second song and for a 10-minute one
// Prints a Markdown table on stdout, progress on stderr.
//
// Speeds are the best of N runs (default 3), taken in turn.
//
//   lumagrove-bench [--minutes M] [--repeat N]   (M: the long song, default 10)
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/analysis/level_source.h"
#include "host/audio/audio_source.h"
#include "host/audio/demo_song.h"
#include "host/audio/song_levels.h"
#include "host/base/host_error.h"
#include "host/base/scratch_folder.h"
#include "host/loader/plugin_loader.h"
#include "host/output/frame_sink.h"
#include "host/output/video_sink.h"
#include "preview/render_loop.h"

extern char** environ;

namespace {

const int kWidth = 1280, kHeight = 720;

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Takes every frame and keeps none.
class DiscardSink : public FrameSink {
public:
    void Consume(const Frame&) override {}
    void Finish() override {}
    void Publish() override {}
    void Abort() noexcept override {}
};

// Appends every frame, as read back, to a file.
class CaptureSink : public FrameSink {
public:
    explicit CaptureSink(const std::string& path) : file_(fopen(path.c_str(), "wb")) {
        if (!file_) throw HostError(kExitFailure, "cannot write " + path);
    }
    ~CaptureSink() override {
        if (file_) fclose(file_);
    }
    void Consume(const Frame& frame) override {
        if (fwrite(frame.pixels, 1, FrameBytes(frame.width, frame.height), file_) != FrameBytes(frame.width, frame.height))
            throw HostError(kExitFailure, "cannot capture a frame: disk full?");
    }
    void Finish() override {
        fclose(file_);
        file_ = nullptr;
    }
    void Publish() override {}
    void Abort() noexcept override {}

private:
    FILE* file_;
};

// The demo at `fps`, drawn and read back, into `sink`. Returns the seconds taken.
double RenderDemo(int fps, std::unique_ptr<FrameSink> sink, ScratchFolder& scratch) {
    std::unique_ptr<AudioSource> demo = MakeDemoSong(scratch.path());
    std::unique_ptr<LevelSource> levels = AnalyseSong(*demo);
    PluginLibrary plugin(LUMAGROVE_MODULE_PATH);
    RenderJob job;
    job.width = kWidth;
    job.height = kHeight;
    job.fps = fps;
    job.frameCount = FrameCountFor(levels->duration(), fps);
    Outputs outputs;
    outputs.sinks.push_back(std::move(sink));
    const Clock::time_point start = Clock::now();
    RenderOffline(job, plugin, *levels, outputs, nullptr);
    return Since(start);
}

int64_t DemoFrames(int fps, ScratchFolder& scratch) {
    return FrameCountFor(MakeDemoSong(scratch.path())->duration(), fps);
}

// The encoder alone: the captured frames, from memory, down the pipe.
double EncodeCaptured(const std::string& raw, int fps, int64_t frames, ScratchFolder& scratch) {
    const int fd = open(raw.c_str(), O_RDONLY);
    const size_t bytes = FrameBytes(kWidth, kHeight) * frames;
    void* map = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) throw HostError(kExitFailure, "cannot map the captured frames");
    std::unique_ptr<AudioSource> demo = MakeDemoSong(scratch.path());
    VideoSettings settings;
    settings.path = scratch.path() + "/encode-floor.mp4";
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fps = fps;
    settings.audioPath = demo->EncoderInputPath();
    settings.duration = frames / double(fps);
    const Clock::time_point start = Clock::now();
    {
        VideoSink sink(settings);
        for (int64_t i = 0; i < frames; ++i)
            sink.Consume(Frame{static_cast<const uint8_t*>(map) + i * FrameBytes(kWidth, kHeight), kWidth, kHeight, i,
                               i / double(fps)});
        sink.Finish();
    }
    const double seconds = Since(start);
    munmap(map, bytes);
    return seconds;
}

// Peak resident memory (VmHWM) of a process in KiB, 0 once it is gone.
long PeakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return atol(line.c_str() + 6);
    return 0;
}

std::vector<pid_t> Children(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; file >> child;) children.push_back(child);
    return children;
}

struct WholeRun {
    double seconds = 0;
    long previewKiB = 0;  // the host process
    long encoderKiB = 0;  // its ffmpeg
};

// Runs lumagrove-preview with `args` and watches its memory and its child's
// until it exits.
WholeRun RunPreview(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {LUMAGROVE_PREVIEW_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("--quiet");
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    WholeRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0)
        throw HostError(kExitFailure, "cannot start lumagrove-preview");
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.previewKiB = std::max(run.previewKiB, PeakKiB(pid));
        for (pid_t child : Children(pid)) run.encoderKiB = std::max(run.encoderKiB, PeakKiB(child));
        usleep(20000);
    }
    run.seconds = Since(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw HostError(kExitFailure, "lumagrove-preview failed on " + args[1]);
    return run;
}

// A song of `seconds`: a kick every half second over a drifting two-tone
// pad, 48 kHz stereo 16-bit, written a second at a time.
void WriteLongSong(const std::string& path, double seconds) {
    const int rate = 48000;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw HostError(kExitFailure, "cannot write " + path);
    const uint32_t frames = static_cast<uint32_t>(seconds * rate), dataBytes = frames * 4;
    auto put32 = [f](uint32_t v) { fwrite(&v, 4, 1, f); };
    auto put16 = [f](uint16_t v) { fwrite(&v, 2, 1, f); };
    fwrite("RIFF", 1, 4, f);
    put32(36 + dataBytes);
    fwrite("WAVEfmt ", 1, 8, f);
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    fwrite("data", 1, 4, f);
    put32(dataBytes);
    std::vector<int16_t> block(static_cast<size_t>(rate) * 2);
    for (uint32_t at = 0; at < frames; at += rate) {
        const uint32_t n = std::min<uint32_t>(rate, frames - at);
        for (uint32_t i = 0; i < n; ++i) {
            const double t = (at + i) / double(rate), beat = fmod(t, 0.5);
            const double kick = beat < 0.12 ? 0.7 * (1 - beat / 0.12) * sin(2 * M_PI * 55 * beat) : 0.0;
            const double pad = 0.12 * sin(2 * M_PI * (220 + 20 * sin(t / 7)) * t) + 0.08 * sin(2 * M_PI * 1320 * t);
            block[2 * i] = static_cast<int16_t>(32000 * (kick + pad));
            block[2 * i + 1] = static_cast<int16_t>(32000 * (kick + 0.8 * pad));
        }
        fwrite(block.data(), 4, n, f);
    }
    if (fclose(f) != 0) throw HostError(kExitFailure, "cannot write " + path);
}

struct SpeedRow {
    int fps;
    int64_t frames;
    double whole, render, encode;
};

void Bench(double longMinutes, int repeats) {
    ScratchFolder scratch;
    // The frames each encoder run is fed, captured once per rate.
    std::vector<SpeedRow> rows;
    for (int fps : {60, 30}) {
        fprintf(stderr, "%d fps: capturing the frames for the encoder...\n", fps);
        RenderDemo(fps, std::make_unique<CaptureSink>(scratch.path() + "/frames-" + std::to_string(fps) + ".raw"),
                   scratch);
        rows.push_back(SpeedRow{fps, DemoFrames(fps, scratch), 0, 0, 0});
    }
    // Each figure is the best of `repeats` runs, taken in turn so that a
    // burst of other work on the machine does not land on one figure only.
    for (int round = 1; round <= repeats; ++round)
        for (SpeedRow& row : rows) {
            const std::string fps = std::to_string(row.fps);
            fprintf(stderr, "round %d of %d, %s fps: whole, render alone, encoder alone...\n", round, repeats,
                    fps.c_str());
            const WholeRun whole = RunPreview({"--out", scratch.path() + "/whole.mp4", "--fps", fps});
            row.whole = std::max(row.whole, row.frames / whole.seconds);
            row.render = std::max(row.render, row.frames / RenderDemo(row.fps, std::make_unique<DiscardSink>(), scratch));
            const std::string raw = scratch.path() + "/frames-" + fps + ".raw";
            row.encode = std::max(row.encode, row.frames / EncodeCaptured(raw, row.fps, row.frames, scratch));
        }
    for (const SpeedRow& row : rows) unlink((scratch.path() + "/frames-" + std::to_string(row.fps) + ".raw").c_str());

    fprintf(stderr, "memory: 20 s and %.0f min songs...\n", longMinutes);
    const std::string shortSong = scratch.path() + "/short.wav", longSong = scratch.path() + "/long.wav";
    WriteLongSong(shortSong, 20);
    WriteLongSong(longSong, longMinutes * 60);
    const std::vector<std::string> common = {"--size", "1280x720", "--fps", "30", "--out", scratch.path() + "/mem.mp4"};
    std::vector<std::string> shortArgs = {"--audio", shortSong}, longArgs = {"--audio", longSong};
    shortArgs.insert(shortArgs.end(), common.begin(), common.end());
    longArgs.insert(longArgs.end(), common.begin(), common.end());
    const WholeRun shortRun = RunPreview(shortArgs);
    const WholeRun longRun = RunPreview(longArgs);

    printf("| output | frames | whole render (frames/s) | real-time factor | render + read-back alone | encoder alone | "
           "combined floor | whole / floor |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const SpeedRow& r : rows) {
        const double floor = 1.0 / (1.0 / r.render + 1.0 / r.encode);
        printf("| 1280x720 @ %d fps | %lld | %.1f | %.2fx | %.1f | %.1f | %.1f | %.2f |\n", r.fps,
               static_cast<long long>(r.frames), r.whole, r.whole / r.fps, r.render, r.encode, floor, r.whole / floor);
    }
    printf("\n| song (1280x720 @ 30 fps to .mp4) | wall time | lumagrove-preview peak | ffmpeg peak |\n");
    printf("|---|---:|---:|---:|\n");
    printf("| 20 s | %.1f s | %.1f MiB | %.1f MiB |\n", shortRun.seconds, shortRun.previewKiB / 1024.0,
           shortRun.encoderKiB / 1024.0);
    printf("| %.0f min | %.1f s | %.1f MiB | %.1f MiB |\n", longMinutes, longRun.seconds, longRun.previewKiB / 1024.0,
           longRun.encoderKiB / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    double minutes = 10;
    int repeats = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--minutes") == 0) minutes = atof(argv[i + 1]);
        if (strcmp(argv[i], "--repeat") == 0) repeats = atoi(argv[i + 1]);
    }
    if (!(minutes > 0) || repeats < 1 || argc % 2 == 0) {
        fprintf(stderr, "usage: lumagrove-bench [--minutes M] [--repeat N]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    try {
        Bench(minutes, repeats);
        return 0;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-bench: %s\n", e.what());
        return 1;
    }
}
