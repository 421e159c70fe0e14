// levels_csv.h - levels saved to a CSV file (toolbox/output/levels_csv_writer.h)
// and replayed from it.
//
// The file: a header line "time,l0,l1,...,l15", then one row per frame,
// time in seconds then the sixteen levels, e.g. "0.016667,0.25,...". Written
// with six decimals for the time and nine significant digits for a level (a
// float read back is the float written). Read back: blank lines are skipped,
// CR LF line ends and spaces around values are accepted; every row needs 17
// finite numbers (a level within float range) and times must not go back.
// Replay at time t uses the row with the greatest time <= t + 1 us (the slack
// covers the six-decimal rounding); before the first row the levels are 0.
// duration() is the last row's time plus
// the mean spacing of the rows (1/60 s for a single row). The rows are held in
// memory, 68 bytes a frame.
#ifndef LUMAGROVE_LEVELS_CSV_H
#define LUMAGROVE_LEVELS_CSV_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/levels/levels_csv_header.h"

class LevelsReplay {
public:
    struct Row {
        double time;
        std::array<float, 16> levels;
    };
    explicit LevelsReplay(std::vector<Row> rows) : rows_(std::move(rows)) {}

    // Seconds of levels from time 0.
    double duration() const;
    // The sixteen levels at `time` (seconds): valid until the replay goes.
    const float* LevelsAt(double time) const;

private:
    std::vector<Row> rows_;
};

// Replays a CSV written by LevelsCsvWriter. Throws HostError (bad input)
// naming the file and the first bad row ("levels.csv line 7: ..."), or saying
// the file is missing, empty or has no rows.
std::unique_ptr<LevelsReplay> ReadLevelsCsv(const std::string& path);

#endif
