// level_source.h - what fills the AudioBlock the preview host hands the
// plug-in each frame: the analysis of a song, or levels replayed from a CSV.
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
    // Fills `block` for the frame at `time` seconds. Times passed in must not
    // decrease (the analysis carries attack and release from frame to frame).
    virtual void Fill(double time, AudioBlock* block) = 0;
};

// Analyses `song` (kept alive by the caller) frame by frame at `fps`.
std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song, double fps);

// Replays a CSV written by LevelsCsvWriter. Throws HostError (status 2)
// naming the file and the first bad row.
std::unique_ptr<LevelSource> ReadLevelsCsv(const std::string& path);

// Writes one row per frame: "time,l0,...,l15" with a header line. The file is
// written under "<path>.part" and renamed on Close(); destroying the writer
// without Close() removes the partial file.
class LevelsCsvWriter {
public:
    explicit LevelsCsvWriter(const std::string& path);
    ~LevelsCsvWriter();
    void Write(double time, const float levels[16]);
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#endif
