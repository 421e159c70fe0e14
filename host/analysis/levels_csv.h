// levels_csv.h - levels saved to a CSV file and replayed from it.
//
// The file: a header line "time,l0,l1,...,l15", then one row per frame,
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
#ifndef LUMAGROVE_LEVELS_CSV_H
#define LUMAGROVE_LEVELS_CSV_H

#include <memory>
#include <string>

#include "host/analysis/level_source.h"
#include "host/base/staged_file.h"

// Replays a CSV written by LevelsCsvWriter. Throws HostError (status 2)
// naming the file and the first bad row ("levels.csv line 7: ..."), or saying
// the file is missing, empty or has no rows.
std::unique_ptr<LevelSource> ReadLevelsCsv(const std::string& path);

// Writes one row per frame: "time,l0,...,l15" with a header line. The file is
// a staged output of the run: written under "<path>.part", completed by
// Finish() and renamed by Publish() together with the run's other outputs;
// Close() does both, for a CSV written on its own. Destroying the writer
// before Publish() removes the partial file. The constructor throws HostError
// status 2 when the file cannot be created (a missing or read-only folder);
// Write(), Flush(), Finish() and Publish() throw status 1 when writing fails
// (a full disk).
class LevelsCsvWriter : public StagedOutput {
public:
    explicit LevelsCsvWriter(const std::string& path);
    void Write(double time, const float levels[16]);
    // Hands every row written so far to the file system, so that a full disk
    // shows here rather than at the end; throws status 1 when it cannot.
    void Flush() { file_.Flush(); }
    void Finish() override { file_.Close(); }
    void Publish() override { file_.Publish(); }
    void Withdraw() noexcept override { file_.Withdraw(); }
    void Abort() noexcept override { file_.Abort(); }
    void Close() {
        Finish();
        Publish();
    }

private:
    StagedFile file_;
};

#endif
