// visualization.lumagrove: Lumagrove as a Kodi visualisation, an adapter of
// liblumagrove.
//
// Kodi's threads: Start(), Render(), Stop() and UpdateTrack() come on its
// GUI thread with its OpenGL context current; AudioData() on the audio
// engine's thread, each block when it is heard (Kodi holds the sound back
// until then), always as 44.1 kHz stereo floats whatever the song's. The
// blocks are pushed as recorded sound: the sound's sample frames count from
// Start(), and the frame drawn at each Render() is the one at the sample
// being heard then (estimated between blocks from the clock), or, where the
// analysis window centred on it is not all there yet, the newest frame
// whose window is: at most half a window (2048 samples, 46 ms) behind what
// is heard.
//
// Drawing: in Kodi's context where it is a compatibility one, else in the
// library's offscreen context into a texture of Kodi's (kodi_gl.h).
//
// Errors: a plug-in that will not load, or a context that cannot show it, is
// one line in Kodi's log and Start() returns false (Kodi shows no
// visualisation and plays on); a failure while drawing is logged once and
// the frames stop. Nothing is thrown to Kodi.
#include <EGL/egl.h>
#include <dlfcn.h>
#include <kodi/addon-instance/Visualization.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kodi_gl.h"
#include "lumagrove/lumagrove.h"

namespace {

using Clock = std::chrono::steady_clock;

void ToKodiLog(void*, lumagrove_log_level level, const char* message) {
    const ADDON_LOG kodiLevel = level == LUMAGROVE_LOG_ERROR     ? ADDON_LOG_ERROR
                                : level == LUMAGROVE_LOG_WARNING ? ADDON_LOG_WARNING
                                : level == LUMAGROVE_LOG_INFO    ? ADDON_LOG_INFO
                                                                 : ADDON_LOG_DEBUG;
    kodi::Log(kodiLevel, "Lumagrove: %s", message);
}

// The plug-in beside this add-on's library, where an install puts it; else
// the one installed with liblumagrove.
std::string PluginBesideAddon() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&PluginBesideAddon), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        path = path.substr(0, path.rfind('/') + 1) + "lumagrove.so";
        struct stat st;
        if (stat(path.c_str(), &st) == 0) return path;
    }
    return lumagrove_desc_defaults(nullptr).plugin_path;
}

// Kodi makes the add-on anew when its visualisation window opens, so one
// song can call Start() twice: a failure to start is logged once a song.
// The add-on's library stays loaded once it has run (Kodi may unload it
// between the two), so that what was said is remembered.
bool FirstTimeFor(const std::string& song, const std::string& problem) {
    static std::mutex mutex;
    static std::string said;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&FirstTimeFor), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    std::lock_guard<std::mutex> lock(mutex);
    const std::string key = song + '\n' + problem;
    if (key == said) return false;
    said = key;
    return true;
}

// Where the sound being heard is: the end of the last block and when it
// came, so that a frame between blocks falls between them.
class HeardClock {
public:
    void Restart() {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = end_ = 0;
        heard_ = Clock::time_point();
    }
    // A block of sample frames [start, end) began to be heard now.
    void Heard(int64_t start, int64_t end) {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = start;
        end_ = end;
        heard_ = Clock::now();
    }
    // The sample frame heard now, at `rate`: within the last block.
    int64_t Now(int rate) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (heard_ == Clock::time_point()) return 0;
        const double since = std::chrono::duration<double>(Clock::now() - heard_).count();
        const int64_t at = start_ + static_cast<int64_t>(since * rate);
        return at < end_ ? at : end_;
    }

private:
    mutable std::mutex mutex_;
    int64_t start_ = 0, end_ = 0;
    Clock::time_point heard_;
};

class LumagroveVisualization : public kodi::addon::CAddonBase, public kodi::addon::CInstanceVisualization {
public:
    ~LumagroveVisualization() override { Release(); }

    bool Start(int channels, int samplesPerSec, int bitsPerSample, const std::string& songName) override;
    void Stop() override { Release(); }
    void AudioData(const float* audioData, size_t audioDataLength) override;
    bool IsDirty() override { return visualiser_ != nullptr; }
    void Render() override;
    void RenderInKodi(const ControlRect& rect, const lumagrove_frame& frame);
    void RenderAsTexture(const ControlRect& rect, const lumagrove_frame& frame);
    bool UpdateTrack(const kodi::addon::VisualizationTrack& track) override;

private:
    // Drops the visualiser and the framebuffer (in Kodi's context).
    void Release();
    bool Failed(const char* what);
    bool CannotStart(const std::string& song, const std::string& problem);

    lumagrove_visualiser* visualiser_ = nullptr;
    std::mutex sound_;  // the visualiser's life against the audio thread's pushes
    int rate_ = 0, channels_ = 0;
    HeardClock clock_;
    Clock::time_point lastRender_;
    double time_ = 0;  // the frames' time: it runs while the sound does
    int64_t frames_ = 0, lastPosition_ = 0;
    KodiGl gl_ = KodiGl::kUnusable;
    std::unique_ptr<FrameBuffer> framebuffer_;  // Kodi's compatibility context
    std::unique_ptr<TexturedQuad> quad_;        // Kodi's core profile
    std::vector<unsigned char> pixels_;         // a frame on its way to the quad, where no texture is shared
    bool failed_ = false;
    // What the frames cost, said when the visualisation stops. With
    // LUMAGROVE_KODI_FINISH=1 (a benchmark) each frame is finished, its
    // drawing done, before and after it is timed.
    bool finishFrames_ = false;
    int64_t timedFrames_ = 0;
    double frameSeconds_ = 0, slowestFrame_ = 0;
    int drawnWidth_ = 0, drawnHeight_ = 0;  // the size last drawn at, for the log
};

bool LumagroveVisualization::Start(int channels, int samplesPerSec, int, const std::string& songName) {
    Release();
    std::string problem;
    const KodiGl gl = CurrentKodiGl(&problem);
    if (gl == KodiGl::kUnusable) return CannotStart(songName, problem);
    const std::string setting = kodi::addon::GetSettingString("plugin");
    const std::string plugin = setting.empty() ? PluginBesideAddon() : setting;
    lumagrove_visualiser_desc desc = {};
    desc.plugin_path = plugin.c_str();
    const ControlRect rect = CurrentViewport();
    desc.width = rect.width >= 16 ? rect.width : Width();
    desc.height = rect.height >= 16 ? rect.height : Height();
    desc.sound.rate = samplesPerSec;
    desc.sound.channels = channels;
    desc.sound.mode = LUMAGROVE_SOUND_RECORDED;
    if (gl == KodiGl::kCompatibility) {
        desc.target = LUMAGROVE_TARGET_CURRENT;
    } else {  // the library's context, sharing Kodi's textures where Kodi's is EGL's
        desc.target = LUMAGROVE_TARGET_SHARED;
        desc.share_egl_display = eglGetCurrentDisplay();
        desc.share_egl_context = eglGetCurrentContext();
    }
    desc.log = ToKodiLog;
    lumagrove_visualiser* made = nullptr;
    if (lumagrove_create(&desc, &made) != LUMAGROVE_OK) return CannotStart(songName, lumagrove_last_error(nullptr));
    {
        std::lock_guard<std::mutex> lock(sound_);
        visualiser_ = made;
        rate_ = samplesPerSec;
        channels_ = channels;
    }
    clock_.Restart();
    lastRender_ = Clock::now();
    time_ = 0;
    frames_ = lastPosition_ = 0;
    failed_ = false;
    drawnWidth_ = drawnHeight_ = 0;
    gl_ = gl;
    const char* finish = getenv("LUMAGROVE_KODI_FINISH");
    finishFrames_ = finish && strcmp(finish, "1") == 0;
    timedFrames_ = 0;
    frameSeconds_ = slowestFrame_ = 0;
    lumagrove_plugin_info info = {};
    lumagrove_plugin_info_of(visualiser_, &info);
    const char* way = gl == KodiGl::kCompatibility      ? "drawn in Kodi's context"
                      : lumagrove_shares_textures(made) ? "drawn offscreen into Kodi's texture"
                                                        : "drawn offscreen, uploaded to Kodi's texture";
    kodi::Log(ADDON_LOG_INFO, "Lumagrove: started for \"%s\" (%d Hz, %d channels, %dx%d, %s, plug-in %s)",
              songName.c_str(), samplesPerSec, channels, desc.width, desc.height, way, info.path);
    return true;
}

bool LumagroveVisualization::UpdateTrack(const kodi::addon::VisualizationTrack& track) {
    kodi::Log(ADDON_LOG_INFO, "Lumagrove: now playing \"%s\"", track.GetTitle().c_str());
    return true;
}

void LumagroveVisualization::AudioData(const float* audioData, size_t audioDataLength) {
    std::lock_guard<std::mutex> lock(sound_);
    if (!visualiser_ || channels_ <= 0) return;
    const int64_t count = static_cast<int64_t>(audioDataLength / static_cast<size_t>(channels_));
    const int64_t start = lumagrove_sound_end(visualiser_);
    if (lumagrove_push_float(visualiser_, audioData, count) == LUMAGROVE_OK) clock_.Heard(start, start + count);
}

void LumagroveVisualization::Render() {
    if (!visualiser_ || failed_) return;
    const ControlRect rect = CurrentViewport();
    if (rect.width < 16 || rect.height < 16) return;  // too small to draw: Kodi shows what is behind
    // The sample heard now, or the newest whose window is all there; never back.
    int64_t position = clock_.Now(rate_);
    const int64_t ready = lumagrove_sound_end(visualiser_) - lumagrove_held_back(visualiser_);
    if (position > ready) position = ready;
    if (position < lastPosition_) position = lastPosition_;
    // Paused, Kodi sends no sound: the frame stays where it is, its time
    // too, so the picture holds still as a paused video does.
    const Clock::time_point now = Clock::now();
    if (position > lastPosition_) time_ += std::chrono::duration<double>(now - lastRender_).count();
    lastRender_ = now;
    lastPosition_ = position;
    const lumagrove_frame frame = {frames_++, time_, static_cast<double>(position) / rate_};

    if (finishFrames_) FinishDrawing();
    const Clock::time_point began = Clock::now();
    if (gl_ == KodiGl::kCompatibility) RenderInKodi(rect, frame);
    else RenderAsTexture(rect, frame);
    if (failed_) return;
    if (finishFrames_) FinishDrawing();
    const double took = std::chrono::duration<double>(Clock::now() - began).count();
    frameSeconds_ += took;
    slowestFrame_ = took > slowestFrame_ ? took : slowestFrame_;
    ++timedFrames_;
    if (rect.width != drawnWidth_ || rect.height != drawnHeight_) {
        drawnWidth_ = rect.width;
        drawnHeight_ = rect.height;
        kodi::Log(ADDON_LOG_INFO, "Lumagrove: drawing %dx%d frames at %d,%d", rect.width, rect.height, rect.x, rect.y);
    }
}

void LumagroveVisualization::RenderInKodi(const ControlRect& rect, const lumagrove_frame& frame) {
    ScopedKodiState kodiState;
    if (!framebuffer_) framebuffer_ = std::make_unique<FrameBuffer>();
    std::string problem;
    if (!framebuffer_->Bind(rect.width, rect.height, &problem)) {
        Failed(problem.c_str());
        return;
    }
    if (lumagrove_set_size(visualiser_, rect.width, rect.height) != LUMAGROVE_OK ||
        lumagrove_draw_current(visualiser_, &frame) != LUMAGROVE_OK) {
        Failed(lumagrove_last_error(visualiser_));
        return;
    }
    framebuffer_->CopyTo(kodiState.drawFramebuffer(), rect);
}

void LumagroveVisualization::RenderAsTexture(const ControlRect& rect, const lumagrove_frame& frame) {
    ScopedCoreState kodiState;
    if (!quad_) quad_ = std::make_unique<TexturedQuad>();
    std::string problem;
    if (!quad_->Prepare(rect.width, rect.height, &problem)) {
        Failed(problem.c_str());
        return;
    }
    if (lumagrove_set_size(visualiser_, rect.width, rect.height) != LUMAGROVE_OK) {
        Failed(lumagrove_last_error(visualiser_));
        return;
    }
    if (lumagrove_shares_textures(visualiser_)) {
        if (lumagrove_draw_to_texture(visualiser_, &frame, quad_->texture()) != LUMAGROVE_OK) {
            Failed(lumagrove_last_error(visualiser_));
            return;
        }
    } else {
        pixels_.resize(static_cast<size_t>(rect.width) * rect.height * 4);
        const lumagrove_picture picture = {pixels_.data(), 0, LUMAGROVE_PIXELS_RGBA, 1};
        if (lumagrove_draw_to_memory(visualiser_, &frame, &picture) != LUMAGROVE_OK) {
            Failed(lumagrove_last_error(visualiser_));
            return;
        }
        quad_->Upload(pixels_.data());
    }
    quad_->Draw();
}

bool LumagroveVisualization::CannotStart(const std::string& song, const std::string& problem) {
    kodi::Log(FirstTimeFor(song, problem) ? ADDON_LOG_ERROR : ADDON_LOG_DEBUG, "Lumagrove: cannot start: %s",
              problem.c_str());
    return false;
}

bool LumagroveVisualization::Failed(const char* what) {
    kodi::Log(ADDON_LOG_ERROR, "Lumagrove: stopped drawing: %s", what);
    failed_ = true;
    return false;
}

void LumagroveVisualization::Release() {
    if (visualiser_ && timedFrames_ > 0)
        kodi::Log(ADDON_LOG_INFO, "Lumagrove: stopped after %lld frames, %.2f ms each on average, %.2f ms the slowest",
                  static_cast<long long>(timedFrames_), 1000 * frameSeconds_ / timedFrames_, 1000 * slowestFrame_);
    timedFrames_ = 0;
    framebuffer_.reset();
    quad_.reset();
    lumagrove_visualiser* gone = nullptr;
    {
        std::lock_guard<std::mutex> lock(sound_);
        gone = visualiser_;
        visualiser_ = nullptr;
    }
    if (gone && gl_ == KodiGl::kCompatibility) {
        ScopedKodiState kodiState;  // the plug-in frees its texture in Kodi's context
        lumagrove_destroy(gone);
    } else if (gone) {
        lumagrove_destroy(gone);  // in the library's own context
    }
}

}  // namespace

ADDONCREATOR(LumagroveVisualization)
