// lumagrove-obs-offset-bench: how late the OBS source's glow follows a kick,
// on a Desktop-Audio-like source and on a Media Source, in the same OBS.
//
// libobs headless (tests/support/obs_session.h) with a private PulseAudio
// daemon (a null sink): a click track played into the sink with paplay and
// captured by OBS's own "pulse_output_capture" of its monitor, set as a
// global audio channel as OBS's Desktop Audio is, on mixer track 1; the same
// track in a Media Source on track 2. One Lumagrove source follows each,
// side by side. OBS's mixed audio of each track (raw audio callbacks) gives
// each kick's onset on OBS's clock, and OBS's output frames (raw video
// callback, 30 fps) each source's blue glow: the offset is the glow's peak
// less the kick's onset, the mean over the kicks. Prints a Markdown table.
//
// Run it in a private network namespace (tests/obs/isolated.sh), as `make
// bench` does.
#include <obs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/obs_session.h"
#include "tests/support/sound_files.h"
#include "tests/support/sound_server.h"
#include "toolbox/toolbox.h"

namespace {

constexpr int kRate = 48000;

struct Track {
    std::mutex lock;
    std::vector<uint64_t> onsets;  // kick onsets, OBS time in ns
    uint64_t lastLoud = 0;
};

struct Frames {
    std::mutex lock;
    std::vector<uint64_t> times;
    std::vector<int> left, right;  // blue glow pixels in each half
};

Track tracks[2];
Frames frames;

void TakeAudio(void* param, size_t, struct audio_data* data) {
    Track& t = *static_cast<Track*>(param);
    const float* samples = reinterpret_cast<const float*>(data->data[0]);
    if (!samples) return;
    std::lock_guard<std::mutex> held(t.lock);
    for (uint32_t i = 0; i < data->frames; ++i) {
        const uint64_t at = data->timestamp + uint64_t(i) * 1000000000ull / kRate;
        if (std::abs(samples[i]) <= 0.02f) continue;
        if (at - t.lastLoud > 200000000ull) t.onsets.push_back(at);  // sound after 200 ms of none
        t.lastLoud = at;
    }
}

int BlueGlow(const uint8_t* row0, int linesize, int x0, int x1, int height) {
    int glowing = 0;
    for (int y = 0; y < height; y += 2)
        for (int x = x0; x < x1; x += 2) {
            const uint8_t* p = row0 + y * linesize + x * 4;  // BGRA
            glowing += p[0] > 60 && p[0] - std::max(p[1], p[2]) > 40;
        }
    return glowing;
}

void TakeFrame(void*, struct video_data* frame) {
    const int half = ObsSession::kWidth / 2;
    const int left = BlueGlow(frame->data[0], static_cast<int>(frame->linesize[0]), 0, half, ObsSession::kHeight);
    const int right =
        BlueGlow(frame->data[0], static_cast<int>(frame->linesize[0]), half, 2 * half, ObsSession::kHeight);
    std::lock_guard<std::mutex> held(frames.lock);
    frames.times.push_back(frame->timestamp);
    frames.left.push_back(left);
    frames.right.push_back(right);
}

// Mean milliseconds from each onset to the glow's peak within 400 ms after it.
double MeanOffset(const std::vector<uint64_t>& onsets, const std::vector<int>& glow, int* kicks) {
    double sum = 0;
    *kicks = 0;
    for (uint64_t onset : onsets) {
        int best = -1;
        for (size_t i = 0; i < frames.times.size(); ++i)
            if (frames.times[i] >= onset && frames.times[i] < onset + 400000000ull &&
                (best < 0 || glow[i] > glow[static_cast<size_t>(best)]))
                best = static_cast<int>(i);
        if (best < 0 || glow[static_cast<size_t>(best)] < 20) continue;
        sum += (frames.times[static_cast<size_t>(best)] - onset) / 1e6;
        ++*kicks;
    }
    return *kicks ? sum / *kicks : -1;
}

}  // namespace

int main() {
    try {
        SoundServer server;
        for (const std::string& setting : server.env()) putenv(strdup(setting.c_str()));
        ObsSession& obs = ObsSession::Get();
        ObsSession::LoadSystemModule("linux-pulseaudio");
        ScratchFolder scratch;
        const std::string clicks = scratch.path() + "/clicks.wav";
        const Channel kick = Kicks(kRate, 10.0, 0.25, 0.1);
        WriteSound(clicks, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {kick, kick});

        obs_data_t* settings = obs_data_create();
        obs_data_set_string(settings, "device_id", "lumagrove_test.monitor");
        obs_source_t* desktop = obs_source_create("pulse_output_capture", "Desktop", settings, nullptr);
        obs_data_release(settings);
        if (!desktop) throw HostError(Fault::kFailure, "no pulse_output_capture source");
        obs_set_output_source(1, desktop);  // a global audio channel, as OBS's Desktop Audio
        obs_source_set_audio_mixers(desktop, 1 << 0);
        obs_source_t* media = obs.AddMediaSource("Media", clicks, true);
        obs_source_set_audio_mixers(media, 1 << 1);
        const int half = ObsSession::kWidth / 2;
        obs_source_t* onDesktop = obs.AddLumagrove("OnDesktop", "Desktop", half, ObsSession::kHeight, 0, 0);
        obs_source_t* onMedia = obs.AddLumagrove("OnMedia", "Media", half, ObsSession::kHeight, float(half), 0);
        for (size_t mix = 0; mix < 2; ++mix) obs_add_raw_audio_callback(mix, nullptr, TakeAudio, &tracks[mix]);
        video_scale_info conversion = {};
        conversion.format = VIDEO_FORMAT_BGRA;
        conversion.width = ObsSession::kWidth;
        conversion.height = ObsSession::kHeight;
        conversion.range = VIDEO_RANGE_FULL;
        conversion.colorspace = VIDEO_CS_SRGB;
        obs_add_raw_video_callback(&conversion, TakeFrame, nullptr);
        server.Play(clicks);
        std::this_thread::sleep_for(std::chrono::seconds(9));
        obs_remove_raw_video_callback(TakeFrame, nullptr);
        for (size_t mix = 0; mix < 2; ++mix) obs_remove_raw_audio_callback(mix, TakeAudio, &tracks[mix]);

        int desktopKicks = 0, mediaKicks = 0;
        std::lock_guard<std::mutex> held(frames.lock);
        const double onDesktopMs = MeanOffset(tracks[0].onsets, frames.left, &desktopKicks);
        const double onMediaMs = MeanOffset(tracks[1].onsets, frames.right, &mediaKicks);
        printf("| audio source | kicks | kick onset to the blue glow's peak (mean, OBS at 30 fps) |\n");
        printf("|---|---:|---:|\n");
        printf("| Desktop Audio (pulse_output_capture of a sink's monitor) | %d | %.1f ms |\n", desktopKicks,
               onDesktopMs);
        printf("| Media Source | %d | %.1f ms |\n", mediaKicks, onMediaMs);
        obs.Remove(onDesktop);
        obs.Remove(onMedia);
        obs.Remove(media);
        obs_set_output_source(1, nullptr);
        obs_source_release(desktop);
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-obs-offset-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
