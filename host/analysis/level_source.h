// level_source.h - what fills the AudioBlock a host hands the plug-in each
// frame: the analysis of sound (host/analysis/sound_levels.h).
//
// The block's layout (waveform, spectrum, levels) is in
// host/analysis/audio_block.h, and every choice of the analysis in
// docs/analysis.md.
#ifndef LUMAGROVE_LEVEL_SOURCE_H
#define LUMAGROVE_LEVEL_SOURCE_H

#include <stdint.h>

#include "host/base/frame_time.h"
#include "plugin/plugin_interface.h"

class LevelSource {
public:
    virtual ~LevelSource() = default;
    // Seconds of material available from time 0.
    virtual double duration() const = 0;
    // Fills `block` for one frame (all 10304 bytes). Times are meant to
    // increase: the analysis carries attack and release from frame to frame.
    // A time earlier than the last one (a seek) starts the analysis afresh there.
    virtual void Fill(const FrameTime& frame, AudioBlock* block) = 0;
    // The frame at `time` of a song or a replay, whose sound starts at time 0.
    void Fill(double time, AudioBlock* block) { Fill(FrameTime{0, time, time}, block); }
};

#endif
