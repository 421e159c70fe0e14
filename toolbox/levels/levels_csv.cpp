// Levels replayed from a CSV file; the format and the replay
// rules are in toolbox/levels/levels_csv.h.
#include "toolbox/levels/levels_csv.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "host/base/host_error.h"

namespace {

constexpr int kLevels = 16;
constexpr double kTimeSlack = 1e-6;
constexpr double kSingleRowStep = 1.0 / 60;

using Row = LevelsReplay::Row;
const std::array<float, kLevels> kNoLevels = {};

// Parses one comma-separated number filling all of `text` but for spaces.
bool ParseNumber(const std::string& text, double* value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    *value = strtod(begin, &end);
    if (end == begin) return false;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0';
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',') fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

std::string Trimmed(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t lead = 0;
    while (lead < line.size() && (line[lead] == ' ' || line[lead] == '\t')) ++lead;
    return line.substr(lead);
}

}  // namespace

double LevelsReplay::duration() const {
    const double step = rows_.size() > 1 ? (rows_.back().time - rows_.front().time) / double(rows_.size() - 1) : 0.0;
    return rows_.back().time + (step > 0 ? step : kSingleRowStep);
}

const float* LevelsReplay::LevelsAt(double time) const {
    // The first row later than `time`; the one before it applies.
    const auto later = std::upper_bound(rows_.begin(), rows_.end(), time + kTimeSlack,
                                        [](double t, const Row& row) { return t < row.time; });
    return later == rows_.begin() ? kNoLevels.data() : (later - 1)->levels.data();
}

std::unique_ptr<LevelsReplay> ReadLevelsCsv(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) throw HostError(Fault::kBadInput, "cannot open " + path + ": " + strerror(errno));
    std::vector<Row> rows;
    std::string problem;
    int lineNumber = 0;
    bool sawHeader = false;
    std::string line;
    for (int c = fgetc(file); problem.empty(); c = fgetc(file)) {
        if (c != '\n' && c != EOF) {
            line += static_cast<char>(c);
            continue;
        }
        if (c == EOF && line.empty()) break;
        ++lineNumber;
        const std::string text = Trimmed(line);
        line.clear();
        const std::string where = path + " line " + std::to_string(lineNumber) + ": ";
        if (text.empty()) {
            // blank lines are skipped
        } else if (!sawHeader) {
            sawHeader = true;
            std::string header;
            for (const std::string& field : SplitFields(text)) header += (header.empty() ? "" : ",") + Trimmed(field);
            if (header != LevelsCsvHeader()) problem = where + "expected the header \"time,l0,...,l15\"";
        } else {
            const std::vector<std::string> fields = SplitFields(text);
            Row row = {};
            double values[kLevels + 1];
            if (fields.size() != kLevels + 1) {
                problem = where + "expected 17 values (time and 16 levels), found " + std::to_string(fields.size());
            }
            for (size_t i = 0; i < fields.size() && problem.empty(); ++i) {
                const std::string field = Trimmed(fields[i]);
                if (!ParseNumber(field, &values[i]))
                    problem = where + "value " + std::to_string(i + 1) + " (\"" + field + "\") is not a number";
                else if (!std::isfinite(values[i]) || (i > 0 && std::fabs(values[i]) > FLT_MAX))
                    problem = where + "value " + std::to_string(i + 1) + " (\"" + field + "\") is not a finite " +
                              (i > 0 ? "level" : "time");
            }
            if (problem.empty() && !rows.empty() && values[0] < rows.back().time)
                problem = where + "time " + Trimmed(fields[0]) + " goes back before the row above";
            if (problem.empty()) {
                row.time = values[0];
                for (int i = 0; i < kLevels; ++i) row.levels[i] = static_cast<float>(values[i + 1]);
                rows.push_back(row);
            }
        }
        if (c == EOF) break;
    }
    const bool readFailed = ferror(file) != 0;
    fclose(file);
    if (readFailed)
        throw HostError(Fault::kBadInput, "cannot read " + path + ": the file could not be read to its end");
    if (!problem.empty()) throw HostError(Fault::kBadInput, problem);
    if (!sawHeader) throw HostError(Fault::kBadInput, path + " is empty");
    if (rows.empty()) throw HostError(Fault::kBadInput, path + " has no rows of levels after its header");
    return std::make_unique<LevelsReplay>(std::move(rows));
}
