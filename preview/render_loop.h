// render_loop.h - the offline render: drives the plug-in over every frame of
// a stretch of the song and hands the pictures to the outputs.
//
// The plug-in is started as every host starts it (PluginLibrary::Start), with
// an offscreen GL context of the job's size made current; then slot 3 once
// per drawn frame.
//
// The clock: frame i is at time start + i / fps seconds, never the wall clock,
// so the same input always gives the same frames. For every frame, drawn or
// not, the level source fills the AudioBlock (its attack and release follow
// every frame) and the levels CSV, if any, gets a row; a frame is drawn and
// read back only if some sink wants it. Reading back and writing overlap
// through a FrameQueue.
//
// When all frames are done the levels CSV is flushed (a full disk under it
// fails the run before any output is final), then every output is finished
// and all are published together. On any failure or interrupt every output
// is aborted and the error thrown.
#ifndef LUMAGROVE_RENDER_LOOP_H
#define LUMAGROVE_RENDER_LOOP_H

#include <stdint.h>

#include "host/analysis/level_source.h"
#include "host/loader/plugin_loader.h"
#include "preview/outputs.h"
#include "preview/progress.h"

struct RenderJob {
    int width = 1280;
    int height = 720;
    int fps = 60;
    double start = 0.0;      // time of frame 0, seconds
    int64_t frameCount = 0;  // frames to render

    double FrameTime(int64_t index) const { return start + static_cast<double>(index) / fps; }
    double duration() const { return frameCount / static_cast<double>(fps); }
};

// Frames that cover `seconds` at `fps`: at least one, and none for a sliver
// of less than a thousandth of a frame (times read back from text are rounded).
int64_t FrameCountFor(double seconds, int fps);

struct Options;

// The job for the options' size, rate and stretch (--start, --duration: to the
// end when not given) of a song `songSeconds` long; at least one frame.
// Throws HostError (status 2) when the stretch starts or ends past the song.
RenderJob ChooseStretch(const Options& o, double songSeconds);

// `progress` may be null.
void RenderOffline(const RenderJob& job, PluginLibrary& plugin, LevelSource& levels, Outputs& outputs,
                   ProgressMeter* progress);

#endif
