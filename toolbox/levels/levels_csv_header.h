// levels_csv_header.h - the first line of a levels CSV, "time,l0,...,l15":
// written by the levels writer (toolbox/output/levels_csv_writer.h) and checked
// by the replay (toolbox/levels/levels_csv.h), which share nothing else.
#ifndef LUMAGROVE_LEVELS_CSV_HEADER_H
#define LUMAGROVE_LEVELS_CSV_HEADER_H

#include <string>

inline std::string LevelsCsvHeader() {
    std::string header = "time";
    for (int i = 0; i < 16; ++i) header += ",l" + std::to_string(i);
    return header;
}

#endif
