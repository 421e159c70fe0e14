// level_source.h - what fills the AudioBlock a host hands the plug-in each
// frame: the analysis of sound (host/audio/song_levels.h for a song), or
// levels replayed from a CSV (host/analysis/levels_csv.h).
//
// The block's layout (waveform, spectrum, levels) and every choice of the
// analysis are in host/analysis/audio_block.h.
#ifndef LUMAGROVE_LEVEL_SOURCE_H
#define LUMAGROVE_LEVEL_SOURCE_H

#include "plugin/plugin_interface.h"

class LevelSource {
public:
    virtual ~LevelSource() = default;
    // Seconds of material available from time 0.
    virtual double duration() const = 0;
    // Fills `block` for the frame at `time` seconds (all 10304 bytes). Times
    // are meant to increase: the analysis carries attack and release from
    // frame to frame. A time earlier than the last one (a seek) starts the
    // analysis afresh there.
    virtual void Fill(double time, AudioBlock* block) = 0;
};

#endif
