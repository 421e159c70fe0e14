// levels_csv.h - levels saved to a CSV file (host/output/levels_csv_writer.h)
// and replayed from it.
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

#include "host/base/levels_csv_header.h"

// Replays a CSV written by LevelsCsvWriter. Throws HostError (bad input)
// naming the file and the first bad row ("levels.csv line 7: ..."), or saying
// the file is missing, empty or has no rows.
std::unique_ptr<LevelSource> ReadLevelsCsv(const std::string& path);

#endif
