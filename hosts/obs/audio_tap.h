// audio_tap.h - the sound of one OBS audio source, chosen by its name, into a
// sample store (host/analysis/sample_store.h) for the live analysis.
//
// The data contract: OBS hands a source's sound to its capture callbacks as
// it comes out of the source, already at OBS's own rate and speaker layout,
// one plane of floats per channel. The tap interleaves it into its store, a
// ring of the newest kLiveSeconds at that rate, each channel going to the
// side its speaker position names (SidesOfLayout). A muted source is
// silence: what the stream hears.
//
// The source is followed by name: when it is renamed the tap keeps it (and
// name() says the new name); when it is removed or destroyed the tap lets
// go, and takes up a source of that name again as soon as one exists. While
// no sound comes (no source, a paused media source, an idle device), the
// store is filled with silence at the rate after kQuietSeconds, so the
// newest window decays to silence and the picture to the outline alone.
//
// Threads: OBS calls the capture callback on the source's audio thread and
// the signals on whatever thread removes or renames; everything else is
// called on OBS's graphics thread (the source's video tick) or its UI
// thread. The store and the tap's state have their own locks.
#ifndef LUMAGROVE_OBS_AUDIO_TAP_H
#define LUMAGROVE_OBS_AUDIO_TAP_H

#include <obs.h>

#include <mutex>
#include <string>
#include <vector>

#include "host/visualiser.h"

// The sides of OBS's speaker layouts, in OBS's channel order.
std::vector<ChannelSide> SidesOfLayout(enum speaker_layout layout);

class AudioTap {
public:
    static constexpr double kQuietSeconds = 0.25;

    // At OBS's own rate and layout (obs_get_audio_info).
    AudioTap(int sampleRate, enum speaker_layout layout);
    ~AudioTap();
    AudioTap(const AudioTap&) = delete;
    AudioTap& operator=(const AudioTap&) = delete;

    // Follows the source called `name` ("" for none), from now on.
    void Follow(const std::string& name);
    // The name followed, renames included.
    std::string name() const;
    // A source of that name exists and feeds the tap.
    bool attached() const;

    // Once per OBS frame: takes up the named source if it has come (back),
    // and fills silence where no sound has come for kQuietSeconds.
    void Tick();

    SampleStore& store() { return store_; }

private:
    static void Captured(void* param, obs_source_t* source, const struct audio_data* audio, bool muted);
    static void SourceGone(void* param, calldata_t* data);
    static void SourceRenamed(void* param, calldata_t* data);
    void Attach(obs_source_t* source);
    // Lets go of the source, if it is `only` (any when null).
    void Detach(obs_source_t* only);

    SampleStore store_;
    const int channels_;
    mutable std::mutex lock_;
    std::string name_;
    obs_weak_source_t* source_ = nullptr;  // the source followed, while attached
    std::vector<float> interleaved_;       // a callback's sound, on the audio thread
    // Silence once nothing has come for kQuietSeconds, then every tick until sound comes.
    SilenceFiller quiet_{SilenceFillerDesc{kQuietSeconds, kQuietSeconds, 0.0, true}};
};

#endif
