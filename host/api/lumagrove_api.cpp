// lumagrove_api.cpp - the C API (include/lumagrove/lumagrove.h) over the
// Visualiser: every call checks its arguments, runs inside one catch that
// turns the library's failures into a result and a message, and never lets
// an exception out.
#define LUMAGROVE_BUILDING_LIBRARY 1
#include "lumagrove/lumagrove.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <unistd.h>
#endif
#include <GL/gl.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "host/visualiser.h"

namespace {

constexpr int kDefaultWidth = 1280, kDefaultHeight = 720, kLeastSide = 16, kMostSide = 8192;
constexpr int kDefaultRate = 48000, kLeastRate = 1000, kMostRate = 768000;
constexpr double kDefaultQuietSeconds = 0.25, kMostQuietSeconds = 3600.0;

// An enum a caller set, as the int it holds: C lets a caller put any int
// there, and in C++ an enum read outside its values is undefined.
template <typename Enum>
int Raw(const Enum& value) {
    static_assert(sizeof(Enum) == sizeof(int), "the API's enums are ints");
    int raw;
    memcpy(&raw, &value, sizeof raw);
    return raw;
}

struct Failure {
    lumagrove_result result;
    std::string message;
};

// The failure of a create that made no visualiser, for this thread.
thread_local std::string lastCreateError;

lumagrove_result ResultOf(const HostError& e) {
    switch (e.part) {
        case FailedPart::kPlugin:
            return LUMAGROVE_ERROR_PLUGIN;
        case FailedPart::kGl:
            return LUMAGROVE_ERROR_GL;
        case FailedPart::kOther:
            break;
    }
    return e.fault == Fault::kBadInput ? LUMAGROVE_ERROR_ARGUMENT : LUMAGROVE_ERROR_INTERNAL;
}

// Runs `call`, turning whatever it throws into a failure.
template <typename Call>
Failure Guarded(Call&& call) noexcept {
    try {
        call();
        return {LUMAGROVE_OK, ""};
    } catch (const HostError& e) {
        return {ResultOf(e), e.what()};
    } catch (const std::bad_alloc&) {
        return {LUMAGROVE_ERROR_MEMORY, "out of memory"};
    } catch (const std::exception& e) {
        return {LUMAGROVE_ERROR_INTERNAL, e.what()};
    } catch (...) {
        return {LUMAGROVE_ERROR_INTERNAL, "an unknown failure"};
    }
}

// The sound desc with its defaults; a message when it is out of range.
std::string CheckSound(lumagrove_sound_desc* sound) {
    if (sound->rate == 0) sound->rate = kDefaultRate;
    if (sound->channels == 0) sound->channels = 2;
    if (Raw(sound->mode) == LUMAGROVE_SOUND_DEFAULT) sound->mode = LUMAGROVE_SOUND_RECORDED;
    if (sound->quiet_seconds == 0.0) sound->quiet_seconds = kDefaultQuietSeconds;
    if (!(sound->quiet_seconds <= kMostQuietSeconds)) return "quiet seconds outside ..3600, or no number";
    if (!(sound->keep_seconds >= 0.0 && sound->keep_seconds <= kMostQuietSeconds))
        return "keep seconds outside 0..3600, or no number";
    if (sound->rate < kLeastRate || sound->rate > kMostRate)
        return "a sound rate of " + std::to_string(sound->rate) + " Hz is outside " + std::to_string(kLeastRate) +
               ".." + std::to_string(kMostRate);
    if (sound->channels < 1 || sound->channels > LUMAGROVE_MAX_CHANNELS)
        return std::to_string(sound->channels) + " channels are outside 1.." + std::to_string(LUMAGROVE_MAX_CHANNELS);
    if (Raw(sound->mode) != LUMAGROVE_SOUND_RECORDED && Raw(sound->mode) != LUMAGROVE_SOUND_LIVE)
        return "sound mode " + std::to_string(Raw(sound->mode)) + " is none of recorded and live";
    const std::vector<ChannelSide> byPlace = DefaultChannelSides(sound->channels);
    for (int c = 0; c < sound->channels; ++c) {
        lumagrove_side& side = sound->sides[c];
        if (Raw(side) == LUMAGROVE_SIDE_DEFAULT)
            side = byPlace[c] == ChannelSide::kLeft    ? LUMAGROVE_SIDE_LEFT
                   : byPlace[c] == ChannelSide::kRight ? LUMAGROVE_SIDE_RIGHT
                                                       : LUMAGROVE_SIDE_BOTH;
        if (Raw(side) != LUMAGROVE_SIDE_LEFT && Raw(side) != LUMAGROVE_SIDE_RIGHT && Raw(side) != LUMAGROVE_SIDE_BOTH)
            return "channel " + std::to_string(c) + " has side " + std::to_string(Raw(side)) +
                   ", none of left, right and both";
    }
    for (int c = sound->channels; c < LUMAGROVE_MAX_CHANNELS; ++c) sound->sides[c] = LUMAGROVE_SIDE_DEFAULT;
    return "";
}

// The plug-in installed with this library: beside it (a build folder), or
// in lumagrove/ beside it (LIBDIR/lumagrove/lumagrove.so, an install).
std::string InstalledPlugin() {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
    return DefaultPluginPath();  // beside the program; in a page, linked in
#else
    const std::string beside = PluginBesideModule(reinterpret_cast<const void*>(&InstalledPlugin));
    if (access(beside.c_str(), F_OK) == 0) return beside;
    return beside.substr(0, beside.rfind('/') + 1) + "lumagrove/lumagrove.so";
#endif
}

SoundDesc SoundOf(const lumagrove_sound_desc& sound) {
    SoundDesc made;
    made.rate = sound.rate;
    made.mode = sound.mode == LUMAGROVE_SOUND_LIVE ? SoundMode::kLive : SoundMode::kRecorded;
    made.keepAll = sound.keep_all != 0;
    made.keepNewest = sound.keep_seconds;
    for (int c = 0; c < sound.channels; ++c)
        made.sides.push_back(sound.sides[c] == LUMAGROVE_SIDE_LEFT    ? ChannelSide::kLeft
                             : sound.sides[c] == LUMAGROVE_SIDE_RIGHT ? ChannelSide::kRight
                                                                      : ChannelSide::kBoth);
    return made;
}

std::string SizeProblem(int width, int height) {
    if (width >= kLeastSide && width <= kMostSide && height >= kLeastSide && height <= kMostSide) return "";
    return "a frame of " + std::to_string(width) + "x" + std::to_string(height) + " is outside " +
           std::to_string(kLeastSide) + ".." + std::to_string(kMostSide) + " a side";
}

// The caller's own context, current while it calls: frames are drawn into
// its bound framebuffer at the size it sets, and it reads or shows them.
class CurrentTarget : public FrameTarget {
public:
    int width = 0, height = 0;
    void Size(int* w, int* h) const override {
        *w = width;
        *h = height;
    }
    void Read(const PictureBuffer&) const override {
        throw HostError(Fault::kFailure, "a frame in the caller's context is the caller's to read");
    }
    bool Shows() const override { return true; }
};

}  // namespace

struct lumagrove_visualiser {
    lumagrove_visualiser_desc desc = {};  // with its defaults, the plug-in's path our own copy
    std::string pluginPath;
    std::unique_ptr<CurrentTarget> current;  // LUMAGROVE_TARGET_CURRENT (outlives the visualiser)
    std::unique_ptr<Visualiser> visualiser;
    int channels = 2;
    int width = 0, height = 0;
    std::vector<float> converted;  // 16-bit sound as floats
    // Live sound that stops: silence as time passes (under soundLock).
    std::unique_ptr<SilenceFiller> quiet;
    mutable std::mutex frameLock;  // a frame drawn, against a restart, a new sound or size from another thread
    std::mutex soundLock;          // a push against a restart or a new sound (taken after frameLock)
    PluginInfo info = {};

    mutable std::mutex errorLock;
    std::string lastError;

    // Keeps `failure`'s message (and logs it); returns its result.
    lumagrove_result Note(const Failure& failure) {
        if (failure.result == LUMAGROVE_OK) return LUMAGROVE_OK;
        {
            std::lock_guard<std::mutex> lock(errorLock);
            lastError = failure.message;
        }
        if (desc.log) desc.log(desc.log_user, LUMAGROVE_LOG_ERROR, failure.message.c_str());
        return failure.result;
    }
    lumagrove_result Fail(lumagrove_result result, const std::string& message) { return Note({result, message}); }

    // The sound's format from now on, and its quiet filler.
    void StartSound(const lumagrove_sound_desc& sound) {
        visualiser->StartSound(SoundOf(sound));
        desc.sound = sound;
        channels = sound.channels;
        quiet.reset();
        if (sound.mode == LUMAGROVE_SOUND_LIVE && sound.quiet_seconds > 0.0)
            quiet =
                std::make_unique<SilenceFiller>(SilenceFillerDesc{sound.quiet_seconds, sound.quiet_seconds, 0.0, true});
    }
    // Under soundLock, after sound came.
    void Heard() {
        if (quiet) quiet->Heard(visualiser->soundEnd(), SilenceFiller::Clock::now());
    }
    // The silence due by now, if the sound has stopped. Any thread.
    void FillQuiet() {
        std::lock_guard<std::mutex> lock(soundLock);
        if (!quiet) return;
        const int64_t due = quiet->Due(visualiser->soundEnd(), desc.sound.rate, SilenceFiller::Clock::now());
        if (due > 0) visualiser->PushSilence(due);
    }
};

extern "C" {

void lumagrove_version(int* major, int* minor, int* patch) {
    if (major) *major = LUMAGROVE_VERSION_MAJOR;
    if (minor) *minor = LUMAGROVE_VERSION_MINOR;
    if (patch) *patch = LUMAGROVE_VERSION_PATCH;
}

const char* lumagrove_version_string(void) {
#define LUMAGROVE_TEXT_(x) #x
#define LUMAGROVE_TEXT(x) LUMAGROVE_TEXT_(x)
    return LUMAGROVE_TEXT(LUMAGROVE_VERSION_MAJOR) "." LUMAGROVE_TEXT(LUMAGROVE_VERSION_MINOR) "." LUMAGROVE_TEXT(
        LUMAGROVE_VERSION_PATCH);
}

const char* lumagrove_result_text(lumagrove_result result) {
    switch (Raw(result)) {
        case LUMAGROVE_OK:
            return "no failure";
        case LUMAGROVE_ERROR_ARGUMENT:
            return "invalid argument";
        case LUMAGROVE_ERROR_STATE:
            return "not possible now";
        case LUMAGROVE_ERROR_PLUGIN:
            return "plug-in failure";
        case LUMAGROVE_ERROR_GL:
            return "OpenGL failure";
        case LUMAGROVE_ERROR_MEMORY:
            return "out of memory";
        case LUMAGROVE_ERROR_INTERNAL:
            return "internal failure";
    }
    return "unknown result";
}

lumagrove_visualiser_desc lumagrove_desc_defaults(const lumagrove_visualiser_desc* desc) {
    lumagrove_visualiser_desc d = {};
    if (desc) d = *desc;
    if (!d.plugin_path || !*d.plugin_path) {
        static const std::string installed = InstalledPlugin();
        d.plugin_path = installed.c_str();
    }
    if (d.width == 0) d.width = kDefaultWidth;
    if (d.height == 0) d.height = kDefaultHeight;
    if (Raw(d.target) == LUMAGROVE_TARGET_DEFAULT) d.target = LUMAGROVE_TARGET_OFFSCREEN;
    CheckSound(&d.sound);  // a sound out of range stays as it is, for create to refuse
    return d;
}

lumagrove_result lumagrove_create(const lumagrove_visualiser_desc* desc, lumagrove_visualiser** out) {
    if (!out) return LUMAGROVE_ERROR_ARGUMENT;
    *out = nullptr;
    auto refuse = [](lumagrove_result result, const std::string& message) {
        lastCreateError = message;
        return result;
    };
    std::unique_ptr<lumagrove_visualiser> made(new (std::nothrow) lumagrove_visualiser);
    if (!made) return refuse(LUMAGROVE_ERROR_MEMORY, "out of memory");
    lumagrove_visualiser& v = *made;
    const Failure failure = Guarded([&] {
        v.desc = lumagrove_desc_defaults(desc);
        v.pluginPath = v.desc.plugin_path;
        v.desc.plugin_path = v.pluginPath.c_str();
        std::string problem = SizeProblem(v.desc.width, v.desc.height);
        if (problem.empty()) problem = CheckSound(&v.desc.sound);
        if (problem.empty() && Raw(v.desc.target) != LUMAGROVE_TARGET_OFFSCREEN &&
            Raw(v.desc.target) != LUMAGROVE_TARGET_SHARED && Raw(v.desc.target) != LUMAGROVE_TARGET_CURRENT)
            problem = "target " + std::to_string(Raw(v.desc.target)) + " is none of offscreen, shared and current";
        if (!problem.empty()) throw HostError(Fault::kBadInput, problem);
        VisualiserDesc inner;
        inner.plugin = v.pluginPath;
        inner.target = v.desc.target == LUMAGROVE_TARGET_SHARED    ? TargetKind::kShared
                       : v.desc.target == LUMAGROVE_TARGET_CURRENT ? TargetKind::kHost
                                                                   : TargetKind::kOffscreen;
        if (inner.target == TargetKind::kHost) {
            v.current = std::make_unique<CurrentTarget>();
            v.current->width = v.desc.width;
            v.current->height = v.desc.height;
            inner.makeTarget = [&v]() -> FrameTarget* {
                if (!glGetString(GL_VERSION))
                    throw HostError(Fault::kFailure, "no OpenGL context is current on this thread", FailedPart::kGl);
                return v.current.get();
            };
        }
        const ForeignContext renderer{v.desc.share_egl_display, v.desc.share_egl_context};
        if (inner.target == TargetKind::kShared && renderer.context) inner.shareWith = &renderer;
        inner.width = v.desc.width;
        inner.height = v.desc.height;
        v.visualiser = std::make_unique<Visualiser>(inner);
        v.StartSound(v.desc.sound);
        v.visualiser->SetSize(v.desc.width, v.desc.height);
        v.width = v.desc.width;
        v.height = v.desc.height;
        v.info = v.visualiser->pluginInfo();
    });
    if (failure.result != LUMAGROVE_OK) {
        if (v.desc.log) v.desc.log(v.desc.log_user, LUMAGROVE_LOG_ERROR, failure.message.c_str());
        return refuse(failure.result, failure.message);
    }
    if (v.desc.log) {
        const std::string said = "plug-in " + v.pluginPath + " (" + (v.info.name ? v.info.name : "?") + " " +
                                 (v.info.version ? v.info.version : "?") + "), frames of " + std::to_string(v.width) +
                                 "x" + std::to_string(v.height);
        v.desc.log(v.desc.log_user, LUMAGROVE_LOG_INFO, said.c_str());
    }
    *out = made.release();
    return LUMAGROVE_OK;
}

void lumagrove_destroy(lumagrove_visualiser* visualiser) {
    if (!visualiser) return;
    try {
        visualiser->visualiser.reset();
    } catch (...) {
    }
    delete visualiser;
}

const char* lumagrove_last_error(const lumagrove_visualiser* visualiser) {
    if (!visualiser) return lastCreateError.c_str();
    std::lock_guard<std::mutex> lock(visualiser->errorLock);
    return visualiser->lastError.c_str();
}

lumagrove_result lumagrove_plugin_info_of(const lumagrove_visualiser* visualiser, lumagrove_plugin_info* info) {
    if (!visualiser || !info) return LUMAGROVE_ERROR_ARGUMENT;
    const PluginInfo& p = visualiser->info;
    *info = lumagrove_plugin_info{p.author, p.name, p.version, p.date, p.email, p.url, visualiser->pluginPath.c_str()};
    return LUMAGROVE_OK;
}

lumagrove_result lumagrove_push_float(lumagrove_visualiser* visualiser, const float* samples, int64_t count) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    if (count < 0 || (count > 0 && !samples))
        return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, "no samples, or a count below 0");
    std::lock_guard<std::mutex> lock(visualiser->soundLock);
    return visualiser->Note(Guarded([&] {
        visualiser->visualiser->PushSound(samples, count);
        visualiser->Heard();
    }));
}

lumagrove_result lumagrove_push_s16(lumagrove_visualiser* visualiser, const int16_t* samples, int64_t count) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    if (count < 0 || (count > 0 && !samples))
        return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, "no samples, or a count below 0");
    std::lock_guard<std::mutex> lock(visualiser->soundLock);
    return visualiser->Note(Guarded([&] {
        std::vector<float>& floats = visualiser->converted;
        floats.resize(static_cast<size_t>(count) * visualiser->channels);
        for (size_t i = 0; i < floats.size(); ++i) floats[i] = samples[i] * (1.0f / 32768.0f);
        visualiser->visualiser->PushSound(floats.data(), count);
        visualiser->Heard();
    }));
}

lumagrove_result lumagrove_push_silence(lumagrove_visualiser* visualiser, int64_t count) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    if (count < 0) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, "a count of silence below 0");
    std::lock_guard<std::mutex> lock(visualiser->soundLock);
    return visualiser->Note(Guarded([&] {
        visualiser->visualiser->PushSilence(count);
        visualiser->Heard();
    }));
}

int64_t lumagrove_fill_gap_to(lumagrove_visualiser* visualiser, int64_t at) {
    if (!visualiser || at < 0) return 0;
    std::lock_guard<std::mutex> lock(visualiser->soundLock);
    int64_t overlap = 0;
    const Failure failure = Guarded([&] { overlap = visualiser->visualiser->FillGapTo(at); });
    if (failure.result != LUMAGROVE_OK) {
        visualiser->Note(failure);
        return 0;
    }
    visualiser->Heard();
    return overlap;
}

int64_t lumagrove_sound_end(const lumagrove_visualiser* visualiser) {
    if (!visualiser) return 0;
    try {
        const_cast<lumagrove_visualiser*>(visualiser)->FillQuiet();
    } catch (...) {  // out of memory for the silence: the sound there is
    }
    return visualiser->visualiser->soundEnd();
}

lumagrove_result lumagrove_restart(lumagrove_visualiser* visualiser) { return lumagrove_restart_at(visualiser, 0); }

lumagrove_result lumagrove_restart_at(lumagrove_visualiser* visualiser, int64_t at) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    if (at < 0) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, "a restart at sample frame " + std::to_string(at));
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    std::lock_guard<std::mutex> lock(visualiser->soundLock);
    return visualiser->Note(Guarded([&] {
        visualiser->visualiser->Restart(at);
        if (visualiser->quiet) visualiser->quiet->Heard(at, SilenceFiller::Clock::now());
    }));
}

lumagrove_result lumagrove_last_levels(const lumagrove_visualiser* visualiser, float levels[16]) {
    if (!visualiser || !levels) return LUMAGROVE_ERROR_ARGUMENT;
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    std::copy(visualiser->visualiser->levels(), visualiser->visualiser->levels() + 16, levels);
    return LUMAGROVE_OK;
}

lumagrove_result lumagrove_set_levels(lumagrove_visualiser* visualiser, const float levels[16]) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    visualiser->visualiser->GiveLevels(levels);
    return LUMAGROVE_OK;
}

lumagrove_result lumagrove_set_sound(lumagrove_visualiser* visualiser, const lumagrove_sound_desc* sound) {
    if (!visualiser || !sound) return LUMAGROVE_ERROR_ARGUMENT;
    lumagrove_sound_desc checked = *sound;
    const std::string problem = CheckSound(&checked);
    if (!problem.empty()) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, problem);
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    std::lock_guard<std::mutex> lock(visualiser->soundLock);
    return visualiser->Note(Guarded([&] { visualiser->StartSound(checked); }));
}

int64_t lumagrove_held_back(const lumagrove_visualiser* visualiser) {
    return visualiser ? visualiser->visualiser->heldBack() : 0;
}

int lumagrove_frame_due(const lumagrove_visualiser* visualiser, double sound_time) {
    return visualiser && visualiser->visualiser->FrameDue(sound_time) ? 1 : 0;
}

int64_t lumagrove_position_at(const lumagrove_visualiser* visualiser, double sound_time) {
    return visualiser ? visualiser->visualiser->PositionAt(sound_time) : 0;
}

int lumagrove_next_frame(const lumagrove_visualiser* visualiser, lumagrove_frame_clock* clock, lumagrove_frame* frame) {
    if (!visualiser || !clock || !frame || clock->fps_num < 0 || clock->fps_den < 0 || clock->next < 0) return 0;
    SoundClock frames(*visualiser->visualiser, clock->fps_num ? clock->fps_num : 30,
                      clock->fps_den ? clock->fps_den : 1);
    frames.StartAt(clock->next);
    frames.SetTimeOrigin(clock->time_origin);
    frames.SetEnding(clock->ending != 0);
    FrameTime next;
    try {
        if (!frames.Next(&next)) return 0;
    } catch (...) {
        return 0;
    }
    clock->next = frames.next();
    *frame = lumagrove_frame{next.index, next.time, next.soundTime};
    return 1;
}

lumagrove_result lumagrove_set_size(lumagrove_visualiser* visualiser, int width, int height) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    const std::string problem = SizeProblem(width, height);
    if (!problem.empty()) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, problem);
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    if (width == visualiser->width && height == visualiser->height) return LUMAGROVE_OK;
    if (visualiser->current) {
        visualiser->current->width = visualiser->width = width;
        visualiser->current->height = visualiser->height = height;
        return LUMAGROVE_OK;
    }
    if (visualiser->desc.target != LUMAGROVE_TARGET_SHARED)
        return visualiser->Fail(LUMAGROVE_ERROR_STATE, "an offscreen target keeps the size it was made with, " +
                                                           std::to_string(visualiser->width) + "x" +
                                                           std::to_string(visualiser->height));
    visualiser->visualiser->SetSize(width, height);
    visualiser->width = width;
    visualiser->height = height;
    return LUMAGROVE_OK;
}

}  // extern "C"

namespace {

// A frame as the library takes it; a message when it is no frame.
std::string FrameOf(const lumagrove_frame* frame, FrameTime* made) {
    if (!frame) return "no frame";
    if (frame->index < 0) return "frame index " + std::to_string(frame->index) + " is below 0";
    *made = FrameTime{frame->index, frame->time, frame->sound_time};
    return "";
}

}  // namespace

extern "C" {

lumagrove_result lumagrove_frame_levels(lumagrove_visualiser* visualiser, const lumagrove_frame* frame,
                                        float levels[16]) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    FrameTime at;
    const std::string problem = FrameOf(frame, &at);
    if (!problem.empty()) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, problem);
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    return visualiser->Note(Guarded([&] {
        visualiser->FillQuiet();
        visualiser->visualiser->Skip(at);
        if (levels) std::copy(visualiser->visualiser->levels(), visualiser->visualiser->levels() + 16, levels);
    }));
}

lumagrove_result lumagrove_draw_to_memory(lumagrove_visualiser* visualiser, const lumagrove_frame* frame,
                                          const lumagrove_picture* picture) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);  // the size too
    FrameTime at;
    std::string problem = FrameOf(frame, &at);
    const size_t row = static_cast<size_t>(visualiser->width) * 4;
    if (problem.empty() && (!picture || !picture->pixels)) problem = "no picture to draw into";
    if (problem.empty() && picture->stride != 0 && picture->stride < row)
        problem =
            "a stride of " + std::to_string(picture->stride) + " bytes is less than a row of " + std::to_string(row);
    if (problem.empty() && Raw(picture->format) != LUMAGROVE_PIXELS_DEFAULT &&
        Raw(picture->format) != LUMAGROVE_PIXELS_RGBA && Raw(picture->format) != LUMAGROVE_PIXELS_BGRA)
        problem = "pixel format " + std::to_string(Raw(picture->format)) + " is none of RGBA and BGRA";
    if (!problem.empty()) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, problem);
    if (visualiser->current)
        return visualiser->Fail(LUMAGROVE_ERROR_STATE, "a frame in the caller's context is the caller's to read");
    const size_t stride = picture->stride ? picture->stride : row;
    uint8_t* pixels = static_cast<uint8_t*>(picture->pixels);
    return visualiser->Note(Guarded([&] {
        visualiser->FillQuiet();
        visualiser->visualiser->DrawInto(at, PictureBuffer{pixels, stride, picture->bottom_row_first == 0});
        if (Raw(picture->format) == LUMAGROVE_PIXELS_BGRA) return;
        for (int y = 0; y < visualiser->height; ++y) {
            uint8_t* p = pixels + y * stride;
            for (int x = 0; x < visualiser->width; ++x, p += 4) std::swap(p[0], p[2]);
        }
    }));
}

lumagrove_result lumagrove_draw_to_texture(lumagrove_visualiser* visualiser, const lumagrove_frame* frame,
                                           unsigned int texture) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    FrameTime at;
    std::string problem = FrameOf(frame, &at);
    if (problem.empty() && texture == 0) problem = "texture 0 is no texture";
    if (!problem.empty()) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, problem);
    if (!lumagrove_shares_textures(visualiser))
        return visualiser->Fail(LUMAGROVE_ERROR_STATE,
                                "this visualiser's context shares no textures with the renderer given it");
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    return visualiser->Note(Guarded([&] {
        visualiser->FillQuiet();
        visualiser->visualiser->DrawIntoTexture(at, texture);
    }));
}

lumagrove_result lumagrove_draw_current(lumagrove_visualiser* visualiser, const lumagrove_frame* frame) {
    if (!visualiser) return LUMAGROVE_ERROR_ARGUMENT;
    FrameTime at;
    const std::string problem = FrameOf(frame, &at);
    if (!problem.empty()) return visualiser->Fail(LUMAGROVE_ERROR_ARGUMENT, problem);
    if (!visualiser->current)
        return visualiser->Fail(LUMAGROVE_ERROR_STATE, "only a visualiser on the caller's context draws into it");
    std::lock_guard<std::mutex> frameHeld(visualiser->frameLock);
    return visualiser->Note(Guarded([&] {
        visualiser->FillQuiet();
        visualiser->visualiser->Draw(at);
    }));
}

int lumagrove_shares_textures(const lumagrove_visualiser* visualiser) {
    if (!visualiser || visualiser->desc.target != LUMAGROVE_TARGET_SHARED || !visualiser->desc.share_egl_context)
        return 0;
    const ForeignContext renderer{visualiser->desc.share_egl_display, visualiser->desc.share_egl_context};
    try {
        return visualiser->visualiser->SharesTexturesWith(renderer) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
