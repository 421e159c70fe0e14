// live_record.h - a recording of live sound: the capture drives the plug-in
// on the capture clock and the frames go to the outputs.
//
// Frame i is at i / fps seconds of captured sound, never the wall clock: it
// is drawn once the capture has reached that time, from the window that ends
// there (a live source cannot be looked ahead of). The captured sound is
// written as it comes to `sound` (the video's sound track, muxed in at the
// end).
//
// A recording ends after `duration` seconds (< 0: no limit), at Ctrl-C or
// SIGTERM, or when the window is closed or Esc pressed: all the normal end, after which every output is finished and
// published. When the capture fails part-way (the server or the device goes
// away), what was recorded is finished and published all the same, and the
// failure is then thrown (HostError, status 1). Any other failure aborts the
// outputs, as an offline render does.
#ifndef LUMAGROVE_LIVE_RECORD_H
#define LUMAGROVE_LIVE_RECORD_H

#include <string>

#include "host/audio/audio_file.h"
#include "host/audio/live_capture.h"
#include "host/loader/plugin_loader.h"
#include "preview/outputs.h"
#include "preview/progress.h"

struct LiveJob {
    int width = 1280;
    int height = 720;
    int fps = 60;
    double duration = -1.0;  // seconds to record; < 0 until stopped
    bool window = false;     // watch while recording: each frame is drawn in a window of the
                             // recording's size, read back from it, and shown
    std::string title;       // the window's
};

// `sound` and `progress` may be null.
void RecordCapture(const LiveJob& job, PluginLibrary& plugin, LiveCapture& capture, Outputs& outputs,
                   WavFileWriter* sound, ProgressMeter* progress);

#endif
