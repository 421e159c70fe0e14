#include "hosts/obs/audio_tap.h"

#include <string.h>

#include <algorithm>

lumagrove_sound_desc SoundOfLayout(int sampleRate, enum speaker_layout layout) {
    const lumagrove_side L = LUMAGROVE_SIDE_LEFT, R = LUMAGROVE_SIDE_RIGHT, B = LUMAGROVE_SIDE_BOTH;
    std::vector<lumagrove_side> sides;
    switch (layout) {
        case SPEAKERS_MONO:
            sides = {B};
            break;
        case SPEAKERS_2POINT1:
            sides = {L, R, B};
            break;
        case SPEAKERS_4POINT0:
            sides = {L, R, B, B};
            break;
        case SPEAKERS_4POINT1:
            sides = {L, R, B, B, B};
            break;
        case SPEAKERS_5POINT1:
            sides = {L, R, B, B, L, R};
            break;
        case SPEAKERS_7POINT1:
            sides = {L, R, B, B, L, R, L, R};
            break;
        default:
            sides = {L, R};  // stereo, and OBS's fallback for an unknown layout
    }
    lumagrove_sound_desc sound = {};
    sound.rate = sampleRate;
    sound.channels = static_cast<int>(sides.size());
    std::copy(sides.begin(), sides.end(), sound.sides);
    sound.mode = LUMAGROVE_SOUND_LIVE;
    return sound;
}

AudioTap::AudioTap(int channels) : channels_(channels) {
    signal_handler_t* signals = obs_get_signal_handler();
    signal_handler_connect(signals, "source_remove", SourceGone, this);
    signal_handler_connect(signals, "source_destroy", SourceGone, this);
    signal_handler_connect(signals, "source_rename", SourceRenamed, this);
}

AudioTap::~AudioTap() {
    signal_handler_t* signals = obs_get_signal_handler();
    signal_handler_disconnect(signals, "source_remove", SourceGone, this);
    signal_handler_disconnect(signals, "source_destroy", SourceGone, this);
    signal_handler_disconnect(signals, "source_rename", SourceRenamed, this);
    Detach(nullptr);
}

void AudioTap::Follow(const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (name == name_) return;
        name_ = name;
    }
    Detach(nullptr);
    Tick();
}

std::string AudioTap::name() const {
    std::lock_guard<std::mutex> lock(lock_);
    return name_;
}

bool AudioTap::attached() const {
    std::lock_guard<std::mutex> lock(lock_);
    return source_ != nullptr;
}

void AudioTap::PushTo(lumagrove_visualiser* visualiser) {
    std::lock_guard<std::mutex> lock(lock_);
    visualiser_ = visualiser;
}

void AudioTap::Tick() {
    std::string wanted;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!source_) wanted = name_;
    }
    if (wanted.empty()) return;
    obs_source_t* source = obs_get_source_by_name(wanted.c_str());
    if (!source) return;
    if ((obs_source_get_output_flags(source) & OBS_SOURCE_AUDIO) && !obs_source_removed(source)) Attach(source);
    obs_source_release(source);
}

void AudioTap::Attach(obs_source_t* source) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (source_ || obs_source_get_name(source) != name_) return;
        source_ = obs_source_get_weak_source(source);
    }
    obs_source_add_audio_capture_callback(source, Captured, this);
}

void AudioTap::Detach(obs_source_t* only) {
    obs_weak_source_t* weak = nullptr;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!source_ || (only && !obs_weak_source_references_source(source_, only))) return;
        weak = source_;
        source_ = nullptr;
    }
    // Outside the tap's lock: OBS holds its own lock around the callback,
    // which takes the tap's. Once removed, the callback is not running.
    obs_source_t* source = only ? obs_source_get_ref(only) : obs_weak_source_get_source(weak);
    // (None when it is being destroyed: OBS has dropped its callbacks then.)
    if (source) {
        obs_source_remove_audio_capture_callback(source, Captured, this);
        obs_source_release(source);
    }
    obs_weak_source_release(weak);
}

void AudioTap::Captured(void* param, obs_source_t*, const struct audio_data* audio, bool muted) {
    AudioTap* tap = static_cast<AudioTap*>(param);
    std::lock_guard<std::mutex> lock(tap->lock_);
    const uint32_t frames = audio->frames;
    if (!tap->visualiser_) return;
    if (muted) {
        lumagrove_push_silence(tap->visualiser_, frames);
        return;
    }
    tap->interleaved_.resize(static_cast<size_t>(frames) * tap->channels_);
    for (int c = 0; c < tap->channels_; ++c) {
        const float* plane = reinterpret_cast<const float*>(audio->data[c]);
        float* out = tap->interleaved_.data() + c;
        for (uint32_t i = 0; i < frames; ++i) out[static_cast<size_t>(i) * tap->channels_] = plane ? plane[i] : 0.0f;
    }
    lumagrove_push_float(tap->visualiser_, tap->interleaved_.data(), frames);
}

void AudioTap::SourceGone(void* param, calldata_t* data) {
    obs_source_t* source = static_cast<obs_source_t*>(calldata_ptr(data, "source"));
    if (source) static_cast<AudioTap*>(param)->Detach(source);
}

void AudioTap::SourceRenamed(void* param, calldata_t* data) {
    AudioTap* tap = static_cast<AudioTap*>(param);
    obs_source_t* source = static_cast<obs_source_t*>(calldata_ptr(data, "source"));
    const char* newName = calldata_string(data, "new_name");
    if (!source || !newName) return;
    std::lock_guard<std::mutex> lock(tap->lock_);
    if (tap->source_ && obs_weak_source_references_source(tap->source_, source)) tap->name_ = newName;
}
