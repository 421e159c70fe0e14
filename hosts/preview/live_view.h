// live_view.h - the live window: a resizable SDL2 window (hosts/preview/sdl_window.h)
// showing a song as it plays, or live capture as it comes.
//
// A run of frames (toolbox/run/frame_run.h) on the window's clock: a
// frame's time is the song's start + the position of the sound being played
// (hosts/preview/song_player.h), or the capture clock; with no audio device, or no
// song, a note says so once and the position comes from the program's own
// steady clock instead. At most `fps` frames are drawn a second, each at the
// window's drawable size, so resizing changes the frames' size.
//
// The keys and the mouse: F11 toggles full screen (--fullscreen starts so),
// space pauses and resumes a song, a song file dropped on the window plays in
// its place from its start (one that cannot be opened is said in a line, and
// the current one plays on).
//
// Ends with the song's stretch, on Esc, when the window is closed, or on
// Ctrl-C / SIGTERM: all of them a normal end, after which the outputs are
// published: the levels CSV, if any, holds one row per frame drawn. Throws
// HostError (status 1) when no window or GL context can be made, or when the
// capture fails.
#ifndef LUMAGROVE_LIVE_VIEW_H
#define LUMAGROVE_LIVE_VIEW_H

#include <string>

#include "hosts/preview/job_plan.h"
#include "hosts/preview/offline_run.h"
#include "toolbox/toolbox.h"

struct Options;

// A song's stretch (job.start, job.duration()), or levels replayed, drawn
// from `what` and played from `playback` (the same song opened apart; may be
// null), the window titled with what.title.
void ViewSong(const Options& o, const FrameJob& job, SongOrReplay& what, AudioSource* playback);

// What the capture device --capture names hears, each frame from the window
// that ends at its newest sound.
void ViewCapture(const Options& o);

#endif
