// audio_tap.h - the sound of one OBS audio source, chosen by its name, pushed
// into a visualiser (lumagrove.h) as live sound.
//
// The data contract: OBS hands a source's sound to its capture callbacks as
// it comes out of the source, already at OBS's own rate and speaker layout,
// one plane of floats per channel. The tap interleaves it and pushes it, the
// visualiser's sound being of that rate and layout, each channel going to
// the side its speaker position names (SoundOfLayout). A muted source is
// silence: what the stream hears.
//
// The source is followed by name: when it is renamed the tap keeps it (and
// name() says the new name); when it is removed or destroyed the tap lets
// go, and takes up a source of that name again as soon as one exists. While
// no sound comes (no source, a paused media source, an idle device), the
// visualiser counts silence in as time passes (its sound's quiet_seconds),
// so the newest window decays to silence and the picture to the outline alone.
//
// Threads: OBS calls the capture callback on the source's audio thread and
// the signals on whatever thread removes or renames; everything else is
// called on OBS's graphics thread (the source's video tick) or its UI
// thread. The tap's state has its own lock; the visualiser takes sound from
// any thread.
#ifndef LUMAGROVE_OBS_AUDIO_TAP_H
#define LUMAGROVE_OBS_AUDIO_TAP_H

#include <obs.h>

#include <mutex>
#include <string>
#include <vector>

#include "lumagrove/lumagrove.h"

// Live sound at OBS's rate, its channels' sides by OBS's speaker layout in
// OBS's channel order.
lumagrove_sound_desc SoundOfLayout(int sampleRate, enum speaker_layout layout);

class AudioTap {
public:
    // Sound of `channels` interleaved channels (OBS's own layout's, SoundOfLayout).
    explicit AudioTap(int channels);
    ~AudioTap();
    AudioTap(const AudioTap&) = delete;
    AudioTap& operator=(const AudioTap&) = delete;

    // Follows the source called `name` ("" for none), from now on.
    void Follow(const std::string& name);
    // The name followed, renames included.
    std::string name() const;
    // A source of that name exists and feeds the tap.
    bool attached() const;

    // Once per OBS frame: takes up the named source if it has come (back).
    void Tick();

    // Where the sound goes from now on (null: nowhere); the caller's, kept
    // alive until it is replaced here.
    void PushTo(lumagrove_visualiser* visualiser);

private:
    static void Captured(void* param, obs_source_t* source, const struct audio_data* audio, bool muted);
    static void SourceGone(void* param, calldata_t* data);
    static void SourceRenamed(void* param, calldata_t* data);
    void Attach(obs_source_t* source);
    // Lets go of the source, if it is `only` (any when null).
    void Detach(obs_source_t* only);

    const int channels_;
    mutable std::mutex lock_;
    std::string name_;
    obs_weak_source_t* source_ = nullptr;  // the source followed, while attached
    lumagrove_visualiser* visualiser_ = nullptr;
    std::vector<float> interleaved_;  // a callback's sound, on the audio thread
};

#endif
