// capture_run.h - live sound from the sound server (toolbox/audio/live_capture.h),
// shown in the window (hosts/preview/live_view.h) or recorded to the outputs.
//
// A recording is a Visualiser (host/visualiser.h) listening to the capture as
// recorded sound, on its SoundClock: frame i is at i / fps seconds of captured sound, never the
// wall clock, drawn from the window centred on that time, as an offline
// render draws a song, once the capture has reached half a window past it:
// the video's picture is in step with its sound. (The live view, which shows
// the newest sound, analyses the window that ends there.) The captured sound
// goes to the video's sound track as it comes (muxed in at the end). It draws
// offscreen, or with --window in a window of the recording's size that shows
// each frame as it is recorded.
//
// A recording ends after --duration, at Ctrl-C or SIGTERM (even while the
// writer is behind), or when the window is closed or Esc pressed: all the
// normal end, after which every output is finished and published together.
// When the capture fails part-way (the server or the device goes away), what
// was recorded is published all the same, and the failure is then thrown
// (HostError, status 1). Any other failure removes the outputs.
#ifndef LUMAGROVE_CAPTURE_RUN_H
#define LUMAGROVE_CAPTURE_RUN_H

struct Options;

void RunCapture(const Options& o);

#endif
