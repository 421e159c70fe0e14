// render_loop.h - the offline render: drives the plug-in over every frame of
// a stretch of the song and hands the pictures to the frame sinks.
//
// The plug-in's slots are called in the order it requires: slot 0 (build the
// image), then the offscreen GL context is made current and the host's clear
// colour (black) set, slot 1 (create the texture), slot 4 (free the image: the
// texture is all the frames need), then slot 3 once per drawn frame.
//
// The clock: frame i is at time start + i / fps seconds, never the wall clock,
// so the same input always gives the same frames. For every frame, drawn or
// not, the level source fills the AudioBlock (its attack and release follow
// every frame) and the levels CSV, if any, gets a row; a frame is drawn and
// read back only if some sink wants it. Reading back and writing overlap
// through a FrameQueue.
//
// When all frames are done the levels CSV is written out, the sinks are
// finished (their outputs moved under their final names) and the CSV closed. On any failure or interrupt
// every sink is aborted, the CSV's partial file removed, and the error thrown.
#ifndef LUMAGROVE_RENDER_LOOP_H
#define LUMAGROVE_RENDER_LOOP_H

#include <stdint.h>

#include <memory>
#include <vector>

#include "host/frame_sink.h"
#include "host/level_source.h"
#include "host/plugin_loader.h"
#include "host/progress.h"

struct RenderJob {
    int width = 1280;
    int height = 720;
    int fps = 60;
    double start = 0.0;      // time of frame 0, seconds
    int64_t frameCount = 0;  // frames to render

    double FrameTime(int64_t index) const { return start + static_cast<double>(index) / fps; }
};

// Frames that cover `seconds` at `fps`: at least one, and none for a sliver
// of less than a thousandth of a frame (times read back from text are rounded).
int64_t FrameCountFor(double seconds, int fps);

struct Options;

// The job for the options' size, rate and stretch (--start, --duration: to the
// end when not given) of a song `songSeconds` long; at least one frame.
// Throws HostError (status 2) when the stretch starts or ends past the song.
RenderJob ChooseStretch(const Options& o, double songSeconds);

// With the frames' GL context current (slot 0 already called): sets the
// host's black background, then slots 1 and 4, so frames can follow.
void PrepareFrames(PluginLibrary& plugin);

// `levelsOut` and `progress` may be null.
void RenderOffline(const RenderJob& job, PluginLibrary& plugin, LevelSource& levels, LevelsCsvWriter* levelsOut,
                   const std::vector<FrameSink*>& sinks, ProgressMeter* progress);

// RenderOffline to the outputs the options name: `video` (made by the caller
// for an --out FILE.mp4; may be null), a PngFolderSink for --out FOLDER, a
// ContactSheetSink for --sheet; with the progress report unless --quiet.
void RenderToOutputs(const Options& o, const RenderJob& job, PluginLibrary& plugin, LevelSource& levels,
                     LevelsCsvWriter* levelsOut, std::unique_ptr<FrameSink> video);

#endif
