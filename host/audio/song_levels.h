// song_levels.h - a song's levels: for each frame, the window of the song
// around the frame's time, folded into its two sides (SideMix) and handed
// to the analysis stage (host/analysis/analysis.h).
#ifndef LUMAGROVE_SONG_LEVELS_H
#define LUMAGROVE_SONG_LEVELS_H

#include <memory>

#include "host/analysis/level_source.h"
#include "host/audio/audio_source.h"

// Analyses `song` (kept alive by the caller) at the times passed to Fill(),
// whatever their spacing; a time earlier than the last starts the analysis
// afresh. duration() is the song's. Throws HostError (status 1) if the FFT
// cannot be set up. Allocates nothing per frame.
std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song);

// The same for live sound (a LiveCapture), which cannot be looked ahead of:
// each frame analyses the window that ends at the frame's time, not the one
// centred on it. duration() is what was captured so far.
std::unique_ptr<LevelSource> AnalyseLive(AudioSource& sound);

#endif
