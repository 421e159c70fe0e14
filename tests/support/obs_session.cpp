#include "tests/support/obs_session.h"

#include <X11/Xlib.h>
#include <graphics/vec2.h>
#include <obs-nix-platform.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <util/profiler.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace {

constexpr const char* kSystemModules = "/usr/lib/x86_64-linux-gnu/obs-plugins";
constexpr const char* kSystemModuleData = "/usr/share/obs/obs-plugins";

void LoadModule(const std::string& path, const std::string& data) {
    obs_module_t* module = nullptr;
    if (obs_open_module(&module, path.c_str(), data.c_str()) != MODULE_SUCCESS || !obs_init_module(module))
        throw std::runtime_error("libobs cannot load the module " + path);
}

}  // namespace

ObsSession& ObsSession::Get() {
    static ObsSession* session = [] {
        ObsSession* s = new ObsSession();
        atexit([] { delete session; });
        return s;
    }();
    return *session;
}

ObsSession::ObsSession() {
    base_set_log_handler(TakeLog, this);
    xvfb_ = std::make_unique<VirtualDisplay>(1280, 720);
    setenv("DISPLAY", xvfb_->name().c_str(), 1);
    display_ = XOpenDisplay(xvfb_->name().c_str());
    if (!display_) throw std::runtime_error("cannot open the X display " + xvfb_->name());
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display_);
    char dir[] = "/tmp/lumagrove-obs-XXXXXX";
    if (!mkdtemp(dir)) throw std::runtime_error("cannot make a folder for OBS's settings");
    configDir_ = dir;
    profiler_start();  // OBS's own timing of its frames, as OBS Studio runs it
    if (!obs_startup("en-US", configDir_.c_str(), nullptr)) throw std::runtime_error("libobs does not start");

    obs_video_info video = {};
    video.graphics_module = "libobs-opengl";
    video.fps_num = kFps;
    video.fps_den = 1;
    video.base_width = video.output_width = kWidth;
    video.base_height = video.output_height = kHeight;
    video.output_format = VIDEO_FORMAT_BGRA;
    video.gpu_conversion = true;
    video.colorspace = VIDEO_CS_SRGB;
    video.range = VIDEO_RANGE_FULL;
    video.scale_type = OBS_SCALE_BICUBIC;
    const int reset = obs_reset_video(&video);
    if (reset != OBS_VIDEO_SUCCESS) throw std::runtime_error("libobs has no video: " + std::to_string(reset));
    obs_audio_info audio = {48000, SPEAKERS_STEREO};
    if (!obs_reset_audio(&audio)) throw std::runtime_error("libobs has no audio");

    LoadModule(std::string(kSystemModules) + "/obs-ffmpeg.so", std::string(kSystemModuleData) + "/obs-ffmpeg");
    // The build's module, another build's that a benchmark sets beside it,
    // or ("system") the one OBS finds in its own folders, as it starts.
    const char* other = getenv("LUMAGROVE_OBS_MODULE_FOLDER");
    const std::string module = other && *other ? other : LUMAGROVE_OBS_DIR;
    if (module == "system") {
        std::pair<std::string, std::string> found;
        obs_find_modules(
            [](void* param, const obs_module_info* info) {
                const std::string bin = info->bin_path;
                if (bin.size() > 17 && bin.compare(bin.size() - 17, 17, "/lumagrove-obs.so") == 0)
                    *static_cast<std::pair<std::string, std::string>*>(param) = {bin, info->data_path};
            },
            &found);
        if (found.first.empty()) throw std::runtime_error("OBS finds no lumagrove-obs module in its folders");
        LoadModule(found.first, found.second);
    } else {
        LoadModule(module + "/bin/64bit/lumagrove-obs.so", module + "/data");
    }
    obs_post_load_modules();

    scene_ = obs_scene_create("Lumagrove test");
    obs_set_output_source(0, obs_scene_get_source(scene_));
    video_scale_info conversion = {};
    conversion.format = VIDEO_FORMAT_BGRA;
    conversion.width = kWidth;
    conversion.height = kHeight;
    conversion.range = VIDEO_RANGE_FULL;
    conversion.colorspace = VIDEO_CS_SRGB;
    obs_add_raw_video_callback(&conversion, TakeFrame, this);
}

ObsSession::~ObsSession() {
    obs_wait_for_destroy_queue();
    obs_remove_raw_video_callback(TakeFrame, this);
    obs_set_output_source(0, nullptr);
    obs_scene_release(scene_);
    obs_shutdown();
    profiler_stop();
    profiler_free();
    base_set_log_handler(nullptr, nullptr);
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
    Capture("rm -rf '" + configDir_ + "'");
}

void ObsSession::TakeLog(int, const char* format, va_list args, void* param) {
    ObsSession* s = static_cast<ObsSession*>(param);
    char line[4096];
    vsnprintf(line, sizeof line, format, args);
    std::lock_guard<std::mutex> lock(s->lock_);
    s->log_ += line;
    s->log_ += '\n';
}

std::string ObsSession::Log() const {
    std::lock_guard<std::mutex> lock(lock_);
    return log_;
}

void ObsSession::TakeFrame(void* param, struct video_data* frame) {
    ObsSession* s = static_cast<ObsSession*>(param);
    std::lock_guard<std::mutex> lock(s->lock_);
    s->latest_.resize(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
        std::copy_n(frame->data[0] + static_cast<size_t>(y) * frame->linesize[0], kWidth * 4,
                    s->latest_.data() + static_cast<size_t>(y) * kWidth * 4);
    ++s->framesSeen_;
    s->arrived_.notify_all();
}

Picture ObsSession::NextFrame() { return FrameAfter(2); }

Picture ObsSession::FrameAfter(int64_t frames) {
    std::unique_lock<std::mutex> lock(lock_);
    const int64_t wanted = framesSeen_ + frames;
    if (!arrived_.wait_for(lock, std::chrono::seconds(10), [&] { return framesSeen_ >= wanted; }))
        throw std::runtime_error("OBS renders no frames");
    Picture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    picture.rgb.resize(static_cast<size_t>(kWidth) * kHeight * 3);
    for (size_t i = 0, n = static_cast<size_t>(kWidth) * kHeight; i < n; ++i) {
        picture.rgb[i * 3 + 0] = latest_[i * 4 + 2];
        picture.rgb[i * 3 + 1] = latest_[i * 4 + 1];
        picture.rgb[i * 3 + 2] = latest_[i * 4 + 0];
    }
    return picture;
}

std::vector<Picture> ObsSession::Record(double seconds) {
    std::vector<Picture> frames;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) frames.push_back(FrameAfter(1));
    return frames;
}

void ObsSession::LoadSystemModule(const std::string& name) {
    LoadModule(std::string(kSystemModules) + "/" + name + ".so", std::string(kSystemModuleData) + "/" + name);
}

obs_source_t* ObsSession::AddMediaSource(const std::string& name, const std::string& file, bool loop) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "local_file", file.c_str());
    obs_data_set_bool(settings, "looping", loop);
    obs_data_set_bool(settings, "is_local_file", true);
    obs_source_t* source = obs_source_create("ffmpeg_source", name.c_str(), settings, nullptr);
    obs_data_release(settings);
    if (!source) throw std::runtime_error("no media source");
    obs_scene_add(scene_, source);
    return source;
}

obs_source_t* ObsSession::AddLumagrove(const std::string& name, const std::string& audioSource, int width, int height,
                                       float x, float y, float scale, const std::string& plugin) {
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "audio_source", audioSource.c_str());
    obs_data_set_int(settings, "width", width);
    obs_data_set_int(settings, "height", height);
    if (!plugin.empty()) obs_data_set_string(settings, "plugin", plugin.c_str());
    obs_source_t* source = obs_source_create("lumagrove_source", name.c_str(), settings, nullptr);
    obs_data_release(settings);
    if (!source) throw std::runtime_error("no Lumagrove source: is the module loaded?");
    obs_sceneitem_t* item = obs_scene_add(scene_, source);
    vec2 at, by;
    vec2_set(&at, x, y);
    vec2_set(&by, scale, scale);
    obs_sceneitem_set_pos(item, &at);
    obs_sceneitem_set_scale(item, &by);
    return source;
}

void ObsSession::Remove(obs_source_t* source) {
    obs_sceneitem_t* item = obs_scene_find_source(scene_, obs_source_get_name(source));
    if (item) obs_sceneitem_remove(item);
    obs_source_remove(source);
    obs_source_release(source);
    // Gone from the scene at the next frame, and destroyed after it.
    FrameAfter(2);
    obs_wait_for_destroy_queue();
}

int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
    return static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE);
}
