// offline_run.h - the offline render: every frame of a stretch of the song
// (or of a levels replay), drawn offscreen as fast as it can be, to the
// outputs. The Linux and the Windows builds share it.
//
// The frame driver (host/driver/frame_driver.h) on the song's clock: frame i
// at --start + i / --fps, never the wall clock, so the same input always gives
// the same frames; an offscreen target of the job's size; Ctrl-C removes the
// outputs (status 130).
#ifndef LUMAGROVE_OFFLINE_RUN_H
#define LUMAGROVE_OFFLINE_RUN_H

#include <string>

#include "host/analysis/level_source.h"

struct Options;

// `songPath` is the file whose sound a video carries ("" for none);
// `heading` names the render on its contact sheet.
void RunOffline(const Options& o, LevelSource& levels, const std::string& songPath, const std::string& heading);

#endif
