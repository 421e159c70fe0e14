// obs_session.h - libobs started in the test's own process as OBS Studio
// starts it, headless: the OpenGL renderer (libobs-opengl) on an X display
// of its own (Xvfb), OBS's audio at 48 kHz stereo, the system's media
// source module (obs-ffmpeg) and the Lumagrove module from the build. One
// scene is the program output; its frames are read back as BGRA through a
// raw video callback, as an encoder would take them.
//
// libobs is started once per process (Session()) and shut down at exit. The
// tests and the benchmark make their sources on it and remove them again.
// Run inside a private network namespace (tests/obs/isolated.sh): nothing
// leaves the machine.
#ifndef LUMAGROVE_TESTS_OBS_SESSION_H
#define LUMAGROVE_TESTS_OBS_SESSION_H

#include <obs.h>
#include <stdint.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/preview_runner.h"

class ObsSession {
public:
    static constexpr int kWidth = 640, kHeight = 360, kFps = 30;

    // The process's session, started at the first call (fails the test
    // program when libobs does not start).
    static ObsSession& Get();
    ~ObsSession();

    // A media source (obs-ffmpeg) playing `file` from its start, in the scene.
    obs_source_t* AddMediaSource(const std::string& name, const std::string& file, bool loop = true);
    // A Lumagrove source following `audioSource`, in the scene at (x, y),
    // drawn at its own size scaled by `scale`. `plugin` "" for the default.
    obs_source_t* AddLumagrove(const std::string& name, const std::string& audioSource, int width, int height,
                               float x = 0, float y = 0, float scale = 1, const std::string& plugin = "");
    // A module of the system's OBS (e.g. "linux-pulseaudio"), loaded now.
    static void LoadSystemModule(const std::string& name);
    // Takes a source out of the scene and releases it (removed from OBS).
    void Remove(obs_source_t* source);

    // The output frame after the next one OBS renders from now (so that
    // anything changed before the call shows), as RGB, top row first.
    Picture NextFrame();
    // Every output frame for `seconds`.
    std::vector<Picture> Record(double seconds);

    // What OBS logged since the session began.
    std::string Log() const;

private:
    ObsSession();
    Picture FrameAfter(int64_t frames);  // the `frames`th frame from now
    static void TakeFrame(void* param, struct video_data* frame);
    static void TakeLog(int level, const char* format, va_list args, void* param);

    void* display_ = nullptr;  // the X display OBS renders on
    std::unique_ptr<VirtualDisplay> xvfb_;
    std::string configDir_;
    obs_scene_t* scene_ = nullptr;

    mutable std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<uint8_t> latest_;  // BGRA
    int64_t framesSeen_ = 0;
    std::string log_;
};

// The resident memory of this process, in bytes.
int64_t ResidentBytes();

#endif
