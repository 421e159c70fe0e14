#include "hosts/obs/lumagrove_source.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <stdint.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hosts/obs/audio_tap.h"
#include "lumagrove/lumagrove.h"

namespace {

constexpr int kDefaultWidth = 1280, kDefaultHeight = 720, kLeastSide = 16, kMostSide = 8192;
constexpr double kGoneSeconds = 1.0;

// Where OBS's renderer shares no textures with the shared context (OBS on
// GLX, or the context made for another host first), each frame is read
// into this memory (the framebuffer's rows, bottom first) and uploaded at
// the next render.
struct ReadBack {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool fresh = false;  // drawn since the last upload
    bool drawn = false;  // some frame was
};

struct LumagroveSource {
    obs_source_t* self = nullptr;
    std::mutex lock;  // the UI thread's update against the graphics thread's tick and render

    // From the settings.
    std::string pluginPath;
    std::string audioName;  // the audio source followed, as the settings say
    // Read without the lock: OBS asks a source's size from any thread, also
    // one that holds its graphics while the tick holds the lock and waits for them.
    std::atomic<int> width{kDefaultWidth}, height{kDefaultHeight};

    std::unique_ptr<AudioTap> tap;
    lumagrove_sound_desc sound = {};             // OBS's rate and layout, live
    lumagrove_visualiser* visualiser = nullptr;  // while the plug-in library is loaded
    ReadBack readBack;
    EGLDisplay rendererDisplay = EGL_NO_DISPLAY;  // OBS's own context, on EGL
    EGLContext rendererContext = EGL_NO_CONTEXT;
    bool direct = false;       // the frames are drawn straight into `texture`
    std::string problem;       // what keeps it from drawing, until the settings change
    bool heardSource = false;  // the audio source was there, as last said
    double goneFor = 0.0;      // seconds the audio source has been gone
    double time = 0.0;         // OBS's video time since the source was made
    int64_t frames = 0;

    gs_texture_t* texture = nullptr;  // the graphics thread's
    bool drawn = false;               // `texture` holds a frame

    // `texture` of the source's size (made anew when it is not), with OBS's
    // context current. False when OBS cannot make it.
    bool TextureOfSize(int w, int h, gs_color_format format) {
        if (texture && gs_texture_get_width(texture) == static_cast<uint32_t>(w) &&
            gs_texture_get_height(texture) == static_cast<uint32_t>(h) &&
            gs_texture_get_color_format(texture) == format)
            return true;
        if (texture) gs_texture_destroy(texture);
        texture = gs_texture_create(w, h, format, 1, nullptr, GS_DYNAMIC);
        drawn = false;
        return texture != nullptr;
    }

    void Fail(const std::string& why) {
        problem = why;
        drawn = readBack.drawn = false;  // no picture left over
        blog(LOG_ERROR, "[lumagrove] %s: %s", obs_source_get_name(self), why.c_str());
    }

    // The plug-in released: no more sound goes to it first.
    void LetGo() {
        tap->PushTo(nullptr);
        lumagrove_destroy(visualiser);
        visualiser = nullptr;
    }
};

const char* Text(const char* key) { return obs_module_text(key); }

// A width or height as set (a scene file, obs-websocket may set any), within
// 16..8192: one outside is taken to the nearest end, and said in the log.
int SideWithin(const char* source, const char* side, int64_t asked) {
    const int64_t side16 = std::clamp<int64_t>(asked, kLeastSide, kMostSide);
    if (side16 != asked)
        blog(LOG_WARNING, "[lumagrove] %s: %s %lld is outside %d..%d: %lld", source, side,
             static_cast<long long>(asked), kLeastSide, kMostSide, static_cast<long long>(side16));
    return static_cast<int>(side16);
}

const char* GetName(void*) { return Text("Lumagrove"); }

void Update(void* data, obs_data_t* settings) {
    LumagroveSource* s = static_cast<LumagroveSource*>(data);
    std::lock_guard<std::mutex> lock(s->lock);
    const char* name = obs_source_get_name(s->self);
    const std::string path = obs_data_get_string(settings, "plugin");
    s->width = SideWithin(name, "width", obs_data_get_int(settings, "width"));
    s->height = SideWithin(name, "height", obs_data_get_int(settings, "height"));
    const std::string before = s->problem;
    s->audioName = obs_data_get_string(settings, "audio_source");
    s->tap->Follow(s->audioName);
    // New settings: whatever went wrong is tried again.
    s->problem.clear();
    if (path != s->pluginPath) s->LetGo();
    s->pluginPath = path;
    if (!s->visualiser) {
        lumagrove_visualiser_desc desc = {};
        desc.plugin_path = path.c_str();  // "": the one installed with the library
        desc.width = s->width;
        desc.height = s->height;
        desc.target = LUMAGROVE_TARGET_SHARED;
        desc.share_egl_display = s->rendererDisplay;
        desc.share_egl_context = s->rendererContext;
        // Live: each frame from the window that ends at the newest sound.
        desc.sound = s->sound;
        if (lumagrove_create(&desc, &s->visualiser) != LUMAGROVE_OK) {
            s->Fail(lumagrove_last_error(nullptr));
        } else {
            lumagrove_plugin_info info = {};
            lumagrove_plugin_info_of(s->visualiser, &info);
            if (path.empty())
                blog(LOG_INFO, "[lumagrove] %s: no plug-in library is chosen: the installed one, %s", name, info.path);
            s->tap->PushTo(s->visualiser);
        }
    }
    // An open properties dialog shows the error, or its end, at once.
    if (s->problem != before) obs_source_update_properties(s->self);
}

void* Create(obs_data_t* settings, obs_source_t* source) {
    LumagroveSource* s = new LumagroveSource();
    s->self = source;
    obs_audio_info audio = {};
    if (!obs_get_audio_info(&audio)) audio = {48000, SPEAKERS_STEREO};
    s->sound = SoundOfLayout(static_cast<int>(audio.samples_per_sec), audio.speakers);
    s->tap = std::make_unique<AudioTap>(s->sound.channels);
    // OBS's renderer on EGL: the shared context is made sharing its textures,
    // and frames are drawn straight into the source's texture.
    obs_enter_graphics();
    s->rendererDisplay = eglGetCurrentDisplay();
    s->rendererContext = eglGetCurrentContext();
    obs_leave_graphics();
    Update(s, settings);
    return s;
}

void Destroy(void* data) {
    LumagroveSource* s = static_cast<LumagroveSource*>(data);
    s->LetGo();
    s->tap.reset();
    blog(LOG_INFO, "[lumagrove] %s: removed", obs_source_get_name(s->self));
    if (s->texture) {
        obs_enter_graphics();
        gs_texture_destroy(s->texture);
        obs_leave_graphics();
    }
    delete s;
}

void GetDefaults(obs_data_t* settings) {
    obs_data_set_default_string(settings, "audio_source", "Desktop Audio");
    obs_data_set_default_int(settings, "width", kDefaultWidth);
    obs_data_set_default_int(settings, "height", kDefaultHeight);
    obs_data_set_default_string(settings, "plugin", "");  // the one installed with the library
}

bool ListAudioSource(void* param, obs_source_t* source) {
    if (obs_source_get_output_flags(source) & OBS_SOURCE_AUDIO) {
        const char* name = obs_source_get_name(source);
        obs_property_list_add_string(static_cast<obs_property_t*>(param), name, name);
    }
    return true;
}

obs_properties_t* GetProperties(void* data) {
    LumagroveSource* s = static_cast<LumagroveSource*>(data);
    std::string followed, problem;
    bool attached = false;
    {
        std::lock_guard<std::mutex> lock(s->lock);
        followed = s->tap->name();
        attached = s->tap->attached();
        problem = s->problem;
    }
    obs_properties_t* props = obs_properties_create();
    obs_property_t* list = obs_properties_add_list(props, "audio_source", Text("AudioSource"), OBS_COMBO_TYPE_LIST,
                                                   OBS_COMBO_FORMAT_STRING);
    obs_enum_sources(ListAudioSource, list);
    if (!followed.empty() && !attached) {
        // Kept in the list, so the choice is not lost while it is gone.
        const std::string label = followed + " " + Text("NotThere");
        obs_property_list_item_disable(list, obs_property_list_add_string(list, label.c_str(), followed.c_str()), true);
    }
    obs_properties_add_int(props, "width", Text("Width"), kLeastSide, kMostSide, 1);
    obs_properties_add_int(props, "height", Text("Height"), kLeastSide, kMostSide, 1);
    obs_properties_add_path(props, "plugin", Text("Plugin"), OBS_PATH_FILE, "Plug-in (*.so)", nullptr);
    if (!problem.empty()) {
        obs_property_t* shown = obs_properties_add_text(props, "problem", problem.c_str(), OBS_TEXT_INFO);
        obs_property_text_set_info_type(shown, OBS_TEXT_INFO_ERROR);
    } else if (!followed.empty() && !attached) {
        const std::string why = std::string(Text("SourceGone")) + " (" + followed + ")";
        obs_property_t* shown = obs_properties_add_text(props, "problem", why.c_str(), OBS_TEXT_INFO);
        obs_property_text_set_info_type(shown, OBS_TEXT_INFO_WARNING);
    }
    return props;
}

uint32_t GetWidth(void* data) { return static_cast<uint32_t>(static_cast<LumagroveSource*>(data)->width.load()); }

uint32_t GetHeight(void* data) { return static_cast<uint32_t>(static_cast<LumagroveSource*>(data)->height.load()); }

void VideoTick(void* data, float seconds) {
    LumagroveSource* s = static_cast<LumagroveSource*>(data);
    std::lock_guard<std::mutex> lock(s->lock);
    s->time += seconds;
    s->tap->Tick();
    // The audio source renamed: the setting follows it; gone: said once.
    const std::string followed = s->tap->name();
    if (followed != s->audioName) {
        obs_data_t* settings = obs_source_get_settings(s->self);
        obs_data_set_string(settings, "audio_source", followed.c_str());
        obs_data_release(settings);
        s->audioName = followed;
    }
    // The audio source gone is said once it has been gone kGoneSeconds (OBS
    // tearing down its sources at exit goes faster: nothing is said then);
    // back, at once. The properties follow either.
    const bool heard = s->tap->attached();
    s->goneFor = heard ? 0.0 : s->goneFor + seconds;
    const bool said = heard || s->goneFor >= kGoneSeconds;
    if (said && heard != s->heardSource) {
        if (!followed.empty())
            blog(heard ? LOG_INFO : LOG_WARNING, "[lumagrove] %s: audio source \"%s\" %s", obs_source_get_name(s->self),
                 followed.c_str(), heard ? "is there" : "is gone: the outline alone until it comes back");
        s->heardSource = heard;
        obs_source_update_properties(s->self);
    }

    if (!obs_source_showing(s->self) || !s->visualiser || !s->problem.empty()) return;
    const int width = s->width, height = s->height;
    lumagrove_visualiser* v = s->visualiser;
    const bool direct = lumagrove_shares_textures(v) != 0;
    if (direct != s->direct || !s->frames)
        blog(LOG_INFO, "[lumagrove] %s: %dx%d frames %s", obs_source_get_name(s->self), width, height,
             direct ? "drawn straight into OBS's texture" : "read back and uploaded to OBS's texture");
    s->direct = direct;
    // At OBS's video time, on the window that ends at the newest sound.
    const lumagrove_frame frame = {s->frames++, s->time, double(lumagrove_sound_end(v)) / s->sound.rate};
    lumagrove_result result = lumagrove_set_size(v, width, height);
    if (result == LUMAGROVE_OK && direct) {
        obs_enter_graphics();
        const bool made = s->TextureOfSize(width, height, GS_BGRA);
        const unsigned name = made ? *static_cast<GLuint*>(gs_texture_get_obj(s->texture)) : 0;
        obs_leave_graphics();
        if (!made) {
            s->Fail("OBS cannot make a texture of " + std::to_string(width) + "x" + std::to_string(height));
            obs_source_update_properties(s->self);
            return;
        }
        result = lumagrove_draw_to_texture(v, &frame, name);
        s->drawn = result == LUMAGROVE_OK;
    } else if (result == LUMAGROVE_OK) {
        ReadBack& back = s->readBack;
        back.width = width, back.height = height;
        back.pixels.resize(static_cast<size_t>(width) * height * 4);
        const lumagrove_picture picture = {back.pixels.data(), 0, LUMAGROVE_PIXELS_BGRA, 1};
        result = lumagrove_draw_to_memory(v, &frame, &picture);
        back.fresh = back.drawn = result == LUMAGROVE_OK;
    }
    if (result != LUMAGROVE_OK) {
        s->Fail(lumagrove_last_error(v));
        obs_source_update_properties(s->self);
    }
}

void VideoRender(void* data, gs_effect_t*) {
    LumagroveSource* s = static_cast<LumagroveSource*>(data);
    std::lock_guard<std::mutex> lock(s->lock);
    if (!s->direct) {
        ReadBack& out = s->readBack;
        if (!out.drawn || !s->TextureOfSize(out.width, out.height, GS_BGRX)) return;
        if (out.fresh || !s->drawn)
            gs_texture_set_image(s->texture, out.pixels.data(), static_cast<uint32_t>(out.width) * 4, false);
        out.fresh = false;
        s->drawn = true;
    }
    if (s->drawn) obs_source_draw(s->texture, 0, 0, 0, 0, true);  // the rows come bottom first
}

}  // namespace

struct obs_source_info lumagroveSourceInfo = [] {
    obs_source_info info = {};
    info.id = "lumagrove_source";
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = GetName;
    info.create = Create;
    info.destroy = Destroy;
    info.get_width = GetWidth;
    info.get_height = GetHeight;
    info.get_defaults = GetDefaults;
    info.get_properties = GetProperties;
    info.update = Update;
    info.video_tick = VideoTick;
    info.video_render = VideoRender;
    info.icon_type = OBS_ICON_TYPE_CUSTOM;  // a picture, not to be taken for a sound source
    return info;
}();
