// offline_run.h - the offline render: every frame of a stretch of the song
// (or of a levels replay), drawn offscreen as fast as it can be, to the
// outputs. The Linux and the Windows builds share it.
//
// A run of frames (toolbox/run/frame_run.h) fed from the song, on its clock:
// frame i at --start + i / --fps, never the wall clock, so the same input
// always gives the same frames; an offscreen target of the job's size;
// Ctrl-C removes the outputs (status 130). A video's sound track is the
// sound the analysis reads, handed on as the frames are drawn (a song is
// decoded once), and muxed in when the frames are done.
#ifndef LUMAGROVE_OFFLINE_RUN_H
#define LUMAGROVE_OFFLINE_RUN_H

#include <memory>
#include <string>

#include "hosts/preview/job_plan.h"
#include "toolbox/toolbox.h"

struct Options;
class AudioSource;

// What a run draws from: a song, or levels replayed from a CSV.
struct SongOrReplay {
    AudioSource* song = nullptr;           // the caller's; null for a replay
    std::unique_ptr<LevelsReplay> replay;  // in place of a song
    std::string title;                     // what is shown: the song's tags or name, the replay's file

    double duration() const;
    // What a run's frames are drawn from (the replay, which it then owns),
    // and the visualiser's sound for it.
    std::unique_ptr<RunFeed> Feed();
    lumagrove_sound_desc sound() const;
};

void RunOffline(const Options& o, SongOrReplay& what);

#endif
