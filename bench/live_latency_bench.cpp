// lumagrove-latency-bench: the live view's latency, from a click played into
// the sound server to the first frame whose levels show it.
//
// It starts a PulseAudio daemon of its own (a private runtime folder, a null
// sink as the default output), captures the sink's monitor exactly as
// `lumagrove-preview --capture --window` does (LiveCapture, the live
// analysis, a frame every 1/60 s from the newest sound), and plays clicks
// into the sink through a playback stream of its own: 20 ms of full-scale
// 60 Hz every 0.6 s over silence. A click's time is when its samples were
// handed to the server; its latency ends at the first frame whose lowest band
// rises above half its peak. Prints the median and the 95th percentile over
// N clicks (default 60) as a Markdown table on stdout.
//
//   lumagrove-latency-bench [--clicks N]
#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/analysis/sound_levels.h"
#include "toolbox/toolbox.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const int kRate = 48000;
const double kFrameSeconds = 1.0 / 60;
const double kClickSpacing = 0.6;

// The daemon, started in a private runtime folder that this process's
// clients then use.
class Daemon {
public:
    Daemon() {
        char pattern[] = "/tmp/lumagrove-latency-XXXXXX";
        if (!mkdtemp(pattern)) throw HostError(Fault::kFailure, "cannot make a runtime folder");
        runtime_ = pattern;
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("HOME", runtime_.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + runtime_ + "/pulse/native").c_str(), 1);
        std::vector<std::string> args = {"pulseaudio",
                                         "-n",
                                         "--daemonize=no",
                                         "--exit-idle-time=-1",
                                         "--disable-shm=yes",
                                         "--log-level=0",
                                         "-L",
                                         "module-null-sink sink_name=latency rate=48000",
                                         "-L",
                                         "module-native-protocol-unix"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "pulseaudio", nullptr, nullptr, argv.data(), environ) != 0)
            throw HostError(Fault::kFailure, "cannot start pulseaudio (apt-get install pulseaudio)");
        for (int i = 0; i < 200 && access((runtime_ + "/pulse/native").c_str(), F_OK) != 0; ++i) usleep(25000);
    }
    ~Daemon() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        std::error_code ignored;
        std::filesystem::remove_all(runtime_, ignored);
    }

private:
    std::string runtime_;
    pid_t pid_ = -1;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[at];
}

int Bench(int clicks) {
    Daemon daemon;
    // The capture's sound into a live ring, as the library keeps it.
    std::unique_ptr<SampleStore> store;
    LiveCapture capture("", [&](const CaptureFormat& format) -> CaptureSink {
        store =
            std::make_unique<SampleStore>(format.rate, format.sides, static_cast<int64_t>(kLiveSeconds * format.rate));
        return [&store](const float* samples, int64_t count) {
            if (samples) store->Push(samples, count);
            else store->PushSilence(count);
        };
    });
    std::unique_ptr<LevelSource> levels =
        std::make_unique<SoundLevels>(*store, SoundLevelsDesc{WindowAnchor::kEnding, nullptr, false});

    // The player: silence, with a click every kClickSpacing, in 10 ms writes
    // (pa_simple_write returns once the server has taken them).
    pa_sample_spec spec = {PA_SAMPLE_FLOAT32LE, kRate, 2};
    pa_buffer_attr attr;
    memset(&attr, 0xff, sizeof attr);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(20000, &spec));
    int error = 0;
    pa_simple* player = pa_simple_new(nullptr, "lumagrove-latency-bench", PA_STREAM_PLAYBACK, "latency", "clicks",
                                      &spec, nullptr, &attr, &error);
    if (!player) throw HostError(Fault::kFailure, std::string("cannot play into the server: ") + pa_strerror(error));
    std::mutex mutex;
    std::vector<Clock::time_point> clickTimes;
    std::atomic<bool> stop{false};
    std::thread play([&] {
        const int block = kRate / 100;
        std::vector<float> samples(static_cast<size_t>(block) * 2);
        const int64_t spacing = static_cast<int64_t>(kClickSpacing * kRate), clickFrames = kRate / 50;
        for (int64_t at = 0; !stop; at += block) {
            bool click = false;
            for (int i = 0; i < block; ++i) {
                const int64_t inClick = (at + i) % spacing;
                const bool on = at + i >= spacing && inClick < clickFrames;
                click |= on && inClick == 0;
                const float v = on ? static_cast<float>(sin(2 * M_PI * 60.0 * inClick / kRate)) : 0.0f;
                samples[2 * i] = samples[2 * i + 1] = v;
            }
            if (pa_simple_write(player, samples.data(), samples.size() * sizeof(float), &error) < 0) break;
            if (click) {
                std::lock_guard<std::mutex> lock(mutex);
                clickTimes.push_back(Clock::now());
            }
        }
    });

    // The live view's loop, without the drawing: a frame every 1/60 s, its
    // levels from the newest sound.
    AudioBlock block = {};
    std::vector<double> latencies;
    size_t next = 0;
    bool lit = false;
    const Clock::time_point begin = Clock::now();
    while (latencies.size() < static_cast<size_t>(clicks) &&
           Clock::now() - begin < std::chrono::duration<double>(kClickSpacing * (clicks + 10))) {
        std::this_thread::sleep_for(std::chrono::duration<double>(kFrameSeconds));
        if (capture.failed()) throw HostError(Fault::kFailure, capture.failure());
        levels->Fill(capture.frameCount() / static_cast<double>(capture.sampleRate()), &block);
        const bool nowLit = block.levels[0] > 0.2f;
        const Clock::time_point now = Clock::now();
        if (nowLit && !lit) {
            std::lock_guard<std::mutex> lock(mutex);
            // The newest click not yet seen: the one this frame shows.
            if (next < clickTimes.size()) {
                latencies.push_back(std::chrono::duration<double>(now - clickTimes.back()).count());
                next = clickTimes.size();
            }
        }
        lit = nowLit;
    }
    stop = true;
    play.join();
    pa_simple_free(player);
    if (latencies.empty()) throw HostError(Fault::kFailure, "no click was seen");
    printf(
        "| live latency (click into the server to the first frame showing it) | clicks | median | 95th "
        "percentile |\n|---|---:|---:|---:|\n");
    printf("| --capture, the default output's monitor, frames at 60 fps | %zu | %.0f ms | %.0f ms |\n",
           latencies.size(), 1000 * Percentile(latencies, 0.5), 1000 * Percentile(latencies, 0.95));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int clicks = 60;
    if (argc == 3 && strcmp(argv[1], "--clicks") == 0) clicks = atoi(argv[2]);
    if (clicks < 1 || (argc != 1 && argc != 3)) {
        fprintf(stderr, "usage: lumagrove-latency-bench [--clicks N]\n");
        return 2;
    }
    try {
        return Bench(clicks);
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-latency-bench: %s\n", e.what());
        return 1;
    }
}
