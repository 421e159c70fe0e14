// level_source.h - what fills the AudioBlock the preview host hands the
// plug-in each frame: the analysis of a song, or levels replayed from a CSV.
//
// The block's layout (waveform, spectrum, levels) and every choice of the
// analysis are in host/audio_block.h.
//
// The levels CSV: a header line "time,l0,l1,...,l15", then one row per frame,
// time in seconds then the sixteen levels, e.g. "0.016667,0.25,...". Written
// with six decimals for the time and nine significant digits for a level (a
// float read back is the float written). Read back: blank lines are skipped,
// CR LF line ends and spaces around values are accepted; every row needs 17
// finite numbers (a level within float range) and times must not go back.
// Replay at time t uses the row with the greatest time <= t + 1 us (the slack
// covers the six-decimal rounding); before the first row the levels are 0. The
// host data before `levels` is zero. duration() is the last row's time plus
// the mean spacing of the rows (1/60 s for a single row). The rows are held in
// memory, 68 bytes a frame.
#ifndef LUMAGROVE_LEVEL_SOURCE_H
#define LUMAGROVE_LEVEL_SOURCE_H

#include <memory>
#include <string>

#include "host/audio_source.h"
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

// Analyses `song` (kept alive by the caller) frame by frame at `fps`. The
// envelopes follow the times actually passed to Fill(), so any spacing works.
// duration() is the song's. Throws HostError (status 1) if the FFT cannot be
// set up. Allocates nothing per frame.
std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song, double fps);

// Replays a CSV written by LevelsCsvWriter. Throws HostError (status 2)
// naming the file and the first bad row ("levels.csv line 7: ..."), or saying
// the file is missing, empty or has no rows.
std::unique_ptr<LevelSource> ReadLevelsCsv(const std::string& path);

// Writes one row per frame: "time,l0,...,l15" with a header line. The file is
// written under "<path>.part" and renamed on Close(); destroying the writer
// without Close() removes the partial file. The constructor throws HostError
// status 2 when the file cannot be created (a missing or read-only folder);
// Write() and Close() throw status 1 when writing fails (a full disk).
class LevelsCsvWriter {
public:
    explicit LevelsCsvWriter(const std::string& path);
    ~LevelsCsvWriter();
    void Write(double time, const float levels[16]);
    // Hands every row written so far to the file system, so that a full disk
    // shows here rather than in Close(); throws status 1 when it cannot.
    void Flush();
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#endif
