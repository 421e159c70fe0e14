// levels_csv_writer.h - the levels of every frame written to a CSV, one row
// a frame, in the format toolbox/levels/levels_csv.h reads back.
//
// An output of the run (toolbox/output/frame_sink.h) that takes each frame's
// levels and no picture: written under "<path>.part", completed by Finish()
// and renamed by Publish() together with the run's other outputs; Close()
// does both, for a CSV written on its own. Destroying the writer before
// Publish() removes the partial file. The constructor throws HostError
// bad input when the file cannot be created (a missing or read-only folder);
// Write(), Flush(), Finish() and Publish() throw a failure when writing fails
// (a full disk).
#ifndef LUMAGROVE_LEVELS_CSV_WRITER_H
#define LUMAGROVE_LEVELS_CSV_WRITER_H

#include <string>

#include "toolbox/base/staged_file.h"
#include "toolbox/output/frame_sink.h"

class LevelsCsvWriter : public FrameSink {
public:
    explicit LevelsCsvWriter(const std::string& path);
    // One row: "time,l0,...,l15".
    void Write(double time, const float levels[16]);
    void Close() {
        Finish();
        Publish();
    }

    bool TakesPictures() const override { return false; }
    void TakeLevels(const FrameTime& frame, const float levels[16]) override { Write(frame.time, levels); }
    // Hands every row to the file system first, so that a full disk under it
    // fails the run before any other output is final.
    void Finish() override {
        file_.Flush();
        file_.Close();
    }
    void Publish() override { file_.Publish(); }
    void Withdraw() noexcept override { file_.Withdraw(); }
    void Abort() noexcept override { file_.Abort(); }

private:
    StagedFile file_;
};

#endif
