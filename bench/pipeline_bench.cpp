// lumagrove-bench: how fast the preview host renders the demo to a video at
// each size people publish, what limits it, what the video's picture is
// worth, and how much memory it takes.
//
// All figures come from one run on one machine. For 1280x720 and 1920x1080
// at 60 frames a second and 3840x2160 at 30, over 5 s of the demo from 0:04:
//   whole        the built lumagrove-preview rendering the stretch to .mp4,
//                wall clock from start to exit, for each --quality
//   render       the same frames analysed, drawn and read back, then dropped
//   encode       the encoder alone, fed those very frames (captured to a file
//                first, then written down the pipe from memory)
//   floor        1 / (1/render + 1/encode): what the two halves would reach
//                one after the other on the same cores
//   SSIM         ffmpeg's ssim filter between the video and the lossless
//                frames it was made from, both converted to yuv420p
//   Mbit/s       the video's size over its length
//   peak         the peak resident memory of lumagrove-preview and its ffmpeg
// Then, at 1920x1080 60 fps and the default quality, one change at a time:
// the threads Mesa's rasteriser gets (LP_NUM_THREADS) and the threads x264
// gets. Last, memory for a 20-second song and for an M-minute one.
// Prints Markdown tables on stdout, progress on stderr.
//
// Speeds are the best of N runs (default 2), taken in turn.
//
//   lumagrove-bench [--minutes M] [--repeat N]   (M: the long song, default 3; 0 skips it)
//   lumagrove-bench --whole WxH FPS QUALITY THREADS OUT.mp4
//                   (one whole render in this process, as the program makes
//                   it, with x264's threads set; for the thread table)
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

#include "bench/demo_render.h"
#include "bench/discard_sink.h"
#include "toolbox/toolbox.h"

extern char** environ;

namespace {

const double kClipStart = 4.0, kClipSeconds = 5.0;

struct Size {
    int width, height, fps;
    std::string Name() const { return std::to_string(width) + "x" + std::to_string(height); }
};

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Appends every frame, as read back, to a file.
class RawFramesSink : public FrameSink {
public:
    explicit RawFramesSink(const std::string& path) : file_(fopen(path.c_str(), "wb")) {
        if (!file_) throw HostError(Fault::kFailure, "cannot write " + path);
    }
    ~RawFramesSink() override {
        if (file_) fclose(file_);
    }
    void Consume(const Frame& frame) override {
        if (fwrite(frame.pixels, 1, FrameBytes(frame.width, frame.height), file_) !=
            FrameBytes(frame.width, frame.height))
            throw HostError(Fault::kFailure, "cannot capture a frame: disk full?");
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

// The clip of the demo at `size`, analysed, drawn and read back into `sink`.
// Returns the seconds taken.
double RenderClip(const Size& size, std::unique_ptr<FrameSink> sink,
                  std::vector<std::unique_ptr<FrameSink>>* outputs = nullptr) {
    std::vector<std::unique_ptr<FrameSink>> own;
    if (!outputs) outputs = &own;
    if (sink) outputs->push_back(std::move(sink));
    std::vector<FrameSink*> list;
    for (const auto& output : *outputs) list.push_back(output.get());
    return RenderDemo(size.width, size.height, size.fps, kClipStart, FrameCountFor(kClipSeconds, size.fps), list);
}

int64_t ClipFrames(const Size& size) { return FrameCountFor(kClipSeconds, size.fps); }

VideoSettings ClipVideo(const Size& size, const VideoQuality& quality, const std::string& path,
                        const std::string& sound) {
    VideoSettings settings;
    settings.path = path;
    settings.width = size.width;
    settings.height = size.height;
    settings.fps = size.fps;
    settings.audioPath = sound;
    settings.start = kClipStart;
    settings.duration = kClipSeconds;
    settings.quality = quality;
    return settings;
}

// The encoder alone: the captured frames, from memory, down the pipe into
// `out`. Returns the seconds taken.
double EncodeCaptured(const std::string& raw, const Size& size, const VideoQuality& quality, const std::string& out,
                      ScratchFolder& scratch) {
    const int64_t frames = ClipFrames(size);
    const size_t frameBytes = FrameBytes(size.width, size.height);
    const int fd = open(raw.c_str(), O_RDONLY);
    const size_t bytes = frameBytes * frames;
    void* map = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) throw HostError(Fault::kFailure, "cannot map the captured frames");
    std::unique_ptr<AudioSource> demo = MakeDemoSong();
    const std::string sound = scratch.path() + "/demo.wav";
    WriteWavFile(sound, *demo);
    const Clock::time_point start = Clock::now();
    {
        VideoSink sink(ClipVideo(size, quality, out, sound));
        for (int64_t i = 0; i < frames; ++i)
            sink.Consume(Frame{static_cast<const uint8_t*>(map) + i * frameBytes, size.width, size.height, i,
                               kClipStart + i / double(size.fps)});
        sink.Finish();
        sink.Publish();
    }
    const double seconds = Since(start);
    munmap(map, bytes);
    return seconds;
}

// SSIM (all planes) of `video` against the captured frames it was made from.
double Ssim(const std::string& video, const std::string& raw, const Size& size) {
    const std::string command = "ffmpeg -nostdin -hide_banner -i '" + video +
                                "' -f rawvideo -pix_fmt bgra -video_size " + size.Name() + " -framerate " +
                                std::to_string(size.fps) + " -i '" + raw +
                                "' -lavfi '[1:v]vflip,format=yuv420p[b];[0:v]format=yuv420p[a];[a][b]ssim' -f null - "
                                "2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw HostError(Fault::kFailure, "cannot run ffmpeg for SSIM");
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
    const size_t at = text.rfind(" All:");
    if (at == std::string::npos) throw HostError(Fault::kFailure, "ffmpeg gave no SSIM for " + video);
    return atof(text.c_str() + at + 5);
}

double Mbps(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size * 8.0 / kClipSeconds / 1e6 : 0.0;
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

// Runs `program` (lumagrove-preview unless told) with `args` and `env`
// entries added, and watches its memory and its child's until it exits.
WholeRun RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                    const std::string& program = LUMAGROVE_PREVIEW_PATH) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    std::vector<std::string> environment = env;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    std::vector<char*> envPointers;
    for (std::string& e : environment) envPointers.push_back(&e[0]);
    envPointers.push_back(nullptr);
    WholeRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), envPointers.data()) != 0)
        throw HostError(Fault::kFailure, "cannot start " + program);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        run.previewKiB = std::max(run.previewKiB, PeakKiB(pid));
        for (pid_t child : Children(pid)) run.encoderKiB = std::max(run.encoderKiB, PeakKiB(child));
        usleep(20000);
    }
    run.seconds = Since(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string all;
        for (const std::string& arg : args) all += " " + arg;
        throw HostError(Fault::kFailure, program + " failed:" + all);
    }
    return run;
}

// A song of `seconds`: a kick every half second over a drifting two-tone
// pad, 48 kHz stereo 16-bit, written a second at a time.
void WriteLongSong(const std::string& path, double seconds) {
    const int rate = 48000;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw HostError(Fault::kFailure, "cannot write " + path);
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
    if (fclose(f) != 0) throw HostError(Fault::kFailure, "cannot write " + path);
}

struct QualityRow {
    const VideoQuality* quality;
    double whole = 0, encode = 0, ssim = 0, mbps = 0;
    WholeRun peak = {};
};

struct SizeRow {
    Size size;
    double render = 0;
    std::vector<QualityRow> qualities;
};

std::vector<std::string> WholeArgs(const Size& size, const std::string& quality, const std::string& out) {
    return {"--out",      out,
            "--size",     size.Name(),
            "--fps",      std::to_string(size.fps),
            "--start",    std::to_string(kClipStart),
            "--duration", std::to_string(kClipSeconds),
            "--quality",  quality,
            "--quiet"};
}

SizeRow MeasureSize(const Size& size, int repeats, ScratchFolder& scratch) {
    SizeRow row{size, 0, {}};
    const int64_t frames = ClipFrames(size);
    const std::string raw = scratch.path() + "/frames.raw";
    fprintf(stderr, "%s @ %d fps: capturing %lld frames for the encoder...\n", size.Name().c_str(), size.fps,
            static_cast<long long>(frames));
    RenderClip(size, std::make_unique<RawFramesSink>(raw));
    for (const VideoQuality& q : VideoQualities()) row.qualities.push_back(QualityRow{&q});
    // Each figure is the best of `repeats` runs, taken in turn so that a
    // burst of other work on the machine does not land on one figure only.
    for (int round = 1; round <= repeats; ++round) {
        fprintf(stderr, "%s, round %d of %d: render alone, encoder alone, whole...\n", size.Name().c_str(), round,
                repeats);
        row.render = std::max(row.render, frames / RenderClip(size, std::make_unique<DiscardSink>()));
        for (QualityRow& q : row.qualities) {
            const std::string video = scratch.path() + "/encoded-" + q.quality->name + ".mp4";
            q.encode = std::max(q.encode, frames / EncodeCaptured(raw, size, *q.quality, video, scratch));
            if (round == 1) {
                q.ssim = Ssim(video, raw, size);
                q.mbps = Mbps(video);
            }
            const WholeRun whole = RunProgram(WholeArgs(size, q.quality->name, scratch.path() + "/whole.mp4"));
            q.whole = std::max(q.whole, frames / whole.seconds);
            q.peak.previewKiB = std::max(q.peak.previewKiB, whole.previewKiB);
            q.peak.encoderKiB = std::max(q.peak.encoderKiB, whole.encoderKiB);
        }
    }
    unlink(raw.c_str());
    return row;
}

void PrintSizes(const std::vector<SizeRow>& rows) {
    printf(
        "| output | quality (x264) | whole render (frames/s) | real-time factor | render + read-back alone | "
        "encoder alone | combined floor | whole / floor | SSIM | Mbit/s | peak memory (host + ffmpeg) |\n");
    printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const SizeRow& r : rows)
        for (const QualityRow& q : r.qualities) {
            const double floor = 1.0 / (1.0 / r.render + 1.0 / q.encode);
            printf(
                "| %s @ %d fps | %s (%s, CRF %d) | %.1f | %.2fx | %.1f | %.1f | %.1f | %.2f | %.5f | %.1f | %.0f + "
                "%.0f MiB |\n",
                r.size.Name().c_str(), r.size.fps, q.quality->name, q.quality->preset, q.quality->crf, q.whole,
                q.whole / r.size.fps, r.render, q.encode, floor, q.whole / floor, q.ssim, q.mbps,
                q.peak.previewKiB / 1024.0, q.peak.encoderKiB / 1024.0);
        }
}

// At 1920x1080 60 fps and the default quality, one change at a time: the
// rasteriser's threads, then x264's.
void MeasureThreads(int repeats, ScratchFolder& scratch, const char* self) {
    const Size size{1920, 1080, 60};
    const int64_t frames = ClipFrames(size);
    const std::string out = scratch.path() + "/threads.mp4";
    struct Layout {
        std::string mesa;  // LP_NUM_THREADS, "" for Mesa's own choice
        int x264;          // 0 for x264's own choice
        double fps = 0;
    };
    std::vector<Layout> layouts = {{"", 0}, {"1", 0}, {"3", 0}, {"4", 0}, {"", 2}, {"", 4}, {"", 6}};
    for (int round = 1; round <= repeats; ++round)
        for (Layout& l : layouts) {
            fprintf(stderr, "threads, round %d of %d: Mesa %s, x264 %d...\n", round, repeats,
                    l.mesa.empty() ? "own" : l.mesa.c_str(), l.x264);
            const std::vector<std::string> env =
                l.mesa.empty() ? std::vector<std::string>{} : std::vector<std::string>{"LP_NUM_THREADS=" + l.mesa};
            const WholeRun run = RunProgram({"--whole", size.Name(), std::to_string(size.fps),
                                             DefaultVideoQuality().name, std::to_string(l.x264), out},
                                            env, self);
            l.fps = std::max(l.fps, frames / run.seconds);
        }
    printf("\n| 1920x1080 @ 60 fps, %s | Mesa's rasteriser threads | x264 threads | whole render (frames/s) |\n",
           DefaultVideoQuality().name);
    printf("|---|---:|---:|---:|\n");
    for (const Layout& l : layouts)
        printf("| %s | %s | %s | %.1f |\n", l.mesa.empty() && l.x264 == 0 ? "as shipped" : "",
               l.mesa.empty() ? "Mesa's own (one a core)" : l.mesa.c_str(),
               l.x264 ? std::to_string(l.x264).c_str() : "x264's own (1.5 a core)", l.fps);
}

void MeasureMemory(double minutes, ScratchFolder& scratch) {
    fprintf(stderr, "memory: 20 s and %.0f min songs...\n", minutes);
    const std::string shortSong = scratch.path() + "/short.wav", longSong = scratch.path() + "/long.wav";
    WriteLongSong(shortSong, 20);
    WriteLongSong(longSong, minutes * 60);
    const std::vector<std::string> common = {
        "--size", "1920x1080", "--fps", "60", "--quiet", "--out", scratch.path() + "/mem.mp4"};
    std::vector<std::string> shortArgs = {"--audio", shortSong}, longArgs = {"--audio", longSong};
    shortArgs.insert(shortArgs.end(), common.begin(), common.end());
    longArgs.insert(longArgs.end(), common.begin(), common.end());
    const WholeRun shortRun = RunProgram(shortArgs);
    const WholeRun longRun = RunProgram(longArgs);
    printf("\n| song (1920x1080 @ 60 fps to .mp4) | wall time | lumagrove-preview peak | ffmpeg peak |\n");
    printf("|---|---:|---:|---:|\n");
    printf("| 20 s | %.1f s | %.1f MiB | %.1f MiB |\n", shortRun.seconds, shortRun.previewKiB / 1024.0,
           shortRun.encoderKiB / 1024.0);
    printf("| %.0f min | %.1f s | %.1f MiB | %.1f MiB |\n", minutes, longRun.seconds, longRun.previewKiB / 1024.0,
           longRun.encoderKiB / 1024.0);
}

void Bench(double minutes, int repeats, const char* self) {
    ScratchFolder scratch;
    std::vector<SizeRow> rows;
    for (const Size& size : {Size{1280, 720, 60}, Size{1920, 1080, 60}, Size{3840, 2160, 30}})
        rows.push_back(MeasureSize(size, repeats, scratch));
    PrintSizes(rows);
    fflush(stdout);
    MeasureThreads(repeats, scratch, self);
    fflush(stdout);
    if (minutes > 0) MeasureMemory(minutes, scratch);
}

// One whole render in this process, as lumagrove-preview makes it, with
// x264's threads set: lumagrove-bench --whole WxH FPS QUALITY THREADS OUT.mp4
int WholeInProcess(char** argv) {
    Size size{0, 0, atoi(argv[1])};
    if (sscanf(argv[0], "%dx%d", &size.width, &size.height) != 2) return 2;
    const VideoQuality* quality = FindVideoQuality(argv[2]);
    if (!quality) return 2;
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> demo = MakeDemoSong();
    const std::string sound = scratch.path() + "/demo.wav";
    WriteWavFile(sound, *demo);
    VideoSettings video = ClipVideo(size, *quality, argv[4], sound);
    video.threads = atoi(argv[3]);
    std::vector<std::unique_ptr<FrameSink>> outputs;
    outputs.push_back(std::make_unique<VideoSink>(video));
    RenderClip(size, nullptr, &outputs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    try {
        if (argc == 7 && strcmp(argv[1], "--whole") == 0) return WholeInProcess(argv + 2);
        double minutes = 3;
        int repeats = 2;
        for (int i = 1; i + 1 < argc; i += 2) {
            if (strcmp(argv[i], "--minutes") == 0) minutes = atof(argv[i + 1]);
            if (strcmp(argv[i], "--repeat") == 0) repeats = atoi(argv[i + 1]);
        }
        if (!(minutes >= 0) || repeats < 1 || argc % 2 == 0) {
            fprintf(stderr, "usage: lumagrove-bench [--minutes M] [--repeat N]\n");
            return 2;
        }
        Bench(minutes, repeats, "/proc/self/exe");
        return 0;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-bench: %s\n", e.what());
        return 1;
    }
}
