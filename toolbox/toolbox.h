// toolbox.h - what programs need and embedders do not, over the C library
// (lumagrove/lumagrove.h): errors and interrupts, scratch
// folders and staged outputs, song files and the demo piece, live capture,
// the file outputs (PNG frames, contact sheet, video, levels CSV, WAV), and
// a run of frames to them (toolbox/run/). lumagrove-preview is built on it;
// it reaches the core only through the C library.
#ifndef LUMAGROVE_TOOLBOX_H
#define LUMAGROVE_TOOLBOX_H

#include "host/base/frame_time.h"
#include "host/base/host_error.h"
#include "lumagrove/lumagrove.h"
#include "toolbox/base/clock_text.h"
#include "toolbox/base/interrupt.h"
#include "toolbox/levels/levels_csv.h"
#include "toolbox/output/contact_sheet.h"
#include "toolbox/output/frame_sink.h"
#include "toolbox/output/levels_csv_writer.h"
#include "toolbox/output/png_folder_sink.h"
#include "toolbox/output/video_quality.h"
#include "toolbox/output/wav_writer.h"
#include "toolbox/run/frame_run.h"
#include "toolbox/run/levels_run_feed.h"
#if !defined(_WIN32)
#  include "toolbox/base/child_process.h"
#  include "toolbox/base/scratch_folder.h"
#  include "toolbox/output/video_sink.h"
#endif
// Song files, the demo piece and live capture, where the build has them
// (not on Windows).
#if LUMAGROVE_SOUND_SOURCES
#  include "toolbox/audio/audio_file.h"
#  include "toolbox/audio/demo_song.h"
#  include "toolbox/audio/live_capture.h"
#  include "toolbox/run/song_run_feed.h"
#  include "toolbox/run/song_wav.h"
#endif

#endif
