// Levels saved to a CSV and replayed from it: the round trip, which row a
// time picks, the partial file, and every kind of bad file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/base/host_error.h"
#include "tests/support/sound_files.h"
#include "toolbox/levels/levels_csv.h"
#include "toolbox/output/levels_csv_writer.h"

namespace {

const std::string kHeader = "time,l0,l1,l2,l3,l4,l5,l6,l7,l8,l9,l10,l11,l12,l13,l14,l15\n";

TEST(LevelsCsv, ReplaysExactlyTheLevelsWrittenFrameByFrame) {
    ScratchDir dir;
    const std::string path = dir.File("levels.csv");
    std::vector<std::vector<float>> written;
    {
        LevelsCsvWriter writer(path);
        for (int f = 0; f < 200; ++f) {
            std::vector<float> levels(16);
            for (int i = 0; i < 16; ++i)
                levels[i] = (f % 2 ? 1.0f / 3 : 0.1234567f) * static_cast<float>(i) + 1e-7f * f;
            writer.Write(f / 60.0, levels.data());
            written.push_back(levels);
        }
        EXPECT_EQ(FileSize(path), -1) << "not under its name before Close()";
        writer.Close();
    }
    std::unique_ptr<LevelsReplay> replay = ReadLevelsCsv(path);
    EXPECT_NEAR(replay->duration(), 200 / 60.0, 1e-6);

    for (int f = 0; f < 200; ++f) {
        const float* levels = replay->LevelsAt(f / 60.0);
        for (int i = 0; i < 16; ++i) ASSERT_EQ(levels[i], written[f][i]) << "frame " << f << " level " << i;
    }
    // Between rows the earlier one holds; past the last, the last.
    EXPECT_EQ(replay->LevelsAt(10.5 / 60.0)[3], written[10][3]);
    EXPECT_EQ(replay->LevelsAt(1000.0)[15], written[199][15]);
}

TEST(LevelsCsv, BeforeTheFirstRowLevelsAreZeroAndRowsMayBeHandWritten) {
    ScratchDir dir;
    const std::string path = dir.File("hand.csv");
    WriteText(path, kHeader + "\r\n" +
                        " 1.5 , 0.5,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0.25\r\n"
                        "\n"
                        "2.5,0.1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n");
    std::unique_ptr<LevelsReplay> replay = ReadLevelsCsv(path);
    EXPECT_DOUBLE_EQ(replay->duration(), 3.5);  // the last row plus the rows' spacing
    EXPECT_EQ(replay->LevelsAt(1.0)[0], 0.0f);
    EXPECT_EQ(replay->LevelsAt(1.5)[0], 0.5f);
    EXPECT_EQ(replay->LevelsAt(1.5)[15], 0.25f);
    EXPECT_EQ(replay->LevelsAt(2.4999)[0], 0.5f);
    EXPECT_FLOAT_EQ(replay->LevelsAt(2.5)[0], 0.1f);
}

TEST(LevelsCsv, AWriterNotClosedLeavesNothingBehind) {
    ScratchDir dir;
    const std::string path = dir.File("cancelled.csv");
    {
        LevelsCsvWriter writer(path);
        const float levels[16] = {};
        writer.Write(0.0, levels);
    }
    EXPECT_EQ(FileSize(path), -1);
    EXPECT_EQ(FileSize(path + ".part"), -1);

    try {
        LevelsCsvWriter writer(dir.File("no/such/folder/levels.csv"));
        ADD_FAILURE() << "opened a file in a missing folder";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kBadInput);
        EXPECT_NE(std::string(e.what()).find("no/such/folder/levels.csv"), std::string::npos) << e.what();
    }
}

// A pipe (as /dev/null or /dev/stdout would be) is written through, never
// renamed over or removed, whether the writer finishes or not.
TEST(LevelsCsv, AWriterToAPipeWritesThroughItAndLeavesItInPlace) {
    ScratchDir dir;
    const std::string path = dir.File("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // Held open for reading (and writing, so opening it does not wait).
    const int pipe = open(path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(pipe, 0);
    for (bool finish : {true, false}) {
        SCOPED_TRACE(finish ? "closed" : "abandoned");
        {
            LevelsCsvWriter writer(path);
            const float levels[16] = {0.25f};
            writer.Write(0.5, levels);
            if (finish) writer.Close();
        }
        char text[4096] = {};
        const ssize_t n = read(pipe, text, sizeof text - 1);
        ASSERT_GT(n, 0) << "nothing came through the pipe";
        EXPECT_EQ(std::string(text).substr(0, kHeader.size() + 14), kHeader + "0.500000,0.25,");
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
        EXPECT_EQ(FileSize(path + ".part"), -1);
    }
    close(pipe);
}

struct BadCase {
    const char* name;
    std::string text;  // nullptr-free; "" is an empty file
    const char* says;
};

class BadLevels : public testing::TestWithParam<BadCase> {};

TEST_P(BadLevels, AreRefusedNamingTheFileAndTheLine) {
    ScratchDir dir;
    const std::string path = dir.File(std::string(GetParam().name) + ".csv");
    WriteText(path, GetParam().text);
    try {
        ReadLevelsCsv(path);
        ADD_FAILURE() << "accepted";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kBadInput);
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(GetParam().says), std::string::npos) << e.what();
    }
}

const std::string kRow = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n";

INSTANTIATE_TEST_SUITE_P(
    Files, BadLevels,
    testing::Values(BadCase{"empty", "", "is empty"}, BadCase{"blank", "\n\n", "is empty"},
                    BadCase{"header_only", kHeader, "no rows"},
                    BadCase{"no_header", kRow + kRow, "line 1: expected the header"},
                    BadCase{"short_row", kHeader + kRow + "0.1,1,2,3\n", "line 3: expected 17 values"},
                    BadCase{"long_row", kHeader + "0.1," + kRow,
                            "line 2: expected 17 values (time and 16 levels), found 18"},
                    BadCase{"word", kHeader + kRow + "0.2,0,0,0,loud,0,0,0,0,0,0,0,0,0,0,0,0\n",
                            "line 3: value 5 (\"loud\") is not a number"},
                    BadCase{"nan", kHeader + "0.2,0,0,0,nan,0,0,0,0,0,0,0,0,0,0,0,0\n",
                            "line 2: value 5 (\"nan\") is not a finite level"},
                    BadCase{"inf_time", kHeader + "inf,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n", "not a finite time"},
                    BadCase{"huge", kHeader + "0.2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1e39\n",
                            "value 17 (\"1e39\") is not a finite level"},
                    BadCase{"backwards", kHeader + "0.5" + kRow.substr(1) + kRow, "line 3: time 0 goes back"},
                    BadCase{"trailing", kHeader + "0.1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0.5x\n", "is not a number"}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(LevelsCsv, AMissingFileIsNamed) {
    try {
        ReadLevelsCsv("/nonexistent/levels.csv");
        ADD_FAILURE() << "opened";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kBadInput);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/levels.csv"), std::string::npos) << e.what();
    }
}

}  // namespace
