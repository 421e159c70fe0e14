// Memcheck over the preview host: a few seconds of the demo piece, rendered
// with the real plug-in and Mesa's software GL to every kind of output, under
// valgrind. The suppressions (tests/sanitizer/valgrind.supp) cover the GL
// stack and the dynamic linker only; a plug-in with planted faults shows they
// hide nothing of the code the host runs. No song file is read: the song
// reader would bring FFmpeg's libraries, and with them libhwy, which valgrind
// cannot start on every machine (tests/support/memcheck_log.h); it runs under
// the sanitizers instead, and in the reader's fuzzer.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/memcheck_log.h"
#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"

namespace {

const int kValgrindFound = 99;  // valgrind's exit status when it reports an error

// The host's arguments run under memcheck, its log written to `log`.
Outcome RunUnderMemcheck(const std::vector<std::string>& args, const std::string& log) {
    const std::vector<std::string> valgrind = {
        "valgrind", "-v", "--tool=memcheck", "--error-exitcode=" + std::to_string(kValgrindFound), "--leak-check=full",
        "--show-leak-kinds=definite,indirect,possible", "--errors-for-leak-kinds=definite,indirect,possible",
        // the plug-in is unloaded before leaks are listed
        "--keep-debuginfo=yes",
        // ffmpeg is not the host's code
        "--child-silent-after-fork=yes", "--num-callers=40", "--suppressions=" LUMAGROVE_VALGRIND_SUPPRESSIONS,
        "--log-file=" + log};
    const Outcome run = PreviewProcess(args, {}, valgrind).Wait();
    const std::vector<std::string> mapped = MappedObjects(ReadFile(log));
    EXPECT_FALSE(mapped.empty()) << "valgrind -v names the objects it maps";
    EXPECT_EQ(NotRunnableEverywhere(mapped), std::vector<std::string>{})
        << "in the process under memcheck: valgrind stops at its start-up code where CPUID hides RDTSCP";
    return run;
}

// A number from the log's summary lines, e.g. Count(log, "ERROR SUMMARY: (\\d+) errors").
long Count(const std::string& log, const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(log, match, std::regex(pattern))) return -1;
    return std::stol(std::regex_replace(match[1].str(), std::regex(","), ""));
}

TEST(Memcheck, PreviewRunHasNoErrorAndLeaksNothing) {
    ScratchDir dir;
    const std::vector<std::string> common = {"--duration", "3", "--size", "128x72", "--fps", "10", "--quiet"};
    struct Run {
        const char* what;
        std::vector<std::string> outputs;
    };
    for (const Run& r : {Run{"video, sheet, levels",
                             {"--out", dir.File("song.mp4"), "--sheet", dir.File("sheet.png"), "--levels-out",
                              dir.File("levels.csv")}},
                         Run{"frames", {"--out", dir.File("frames")}}}) {
        SCOPED_TRACE(r.what);
        std::vector<std::string> args = common;
        args.insert(args.end(), r.outputs.begin(), r.outputs.end());
        const std::string logPath = dir.File("memcheck.log");
        const Outcome run = RunUnderMemcheck(args, logPath);
        const std::string log = ReadFile(logPath);
        EXPECT_EQ(run.status, 0) << run.err << log;
        EXPECT_EQ(Count(log, "ERROR SUMMARY: ([\\d,]+) errors"), 0) << log;
        EXPECT_EQ(Count(log, "definitely lost: ([\\d,]+) bytes"), 0) << log;
        EXPECT_EQ(Count(log, "possibly lost: ([\\d,]+) bytes"), 0) << log;
        // The run did the work: the outputs are all there.
        for (size_t i = 1; i < r.outputs.size(); i += 2) EXPECT_TRUE(Exists(r.outputs[i])) << r.outputs[i];
    }
    EXPECT_EQ(ListFolder(dir.File("frames")).size(), 30u);
}

TEST(Memcheck, FaultsInCodeTheHostRunsAreReported) {
    ScratchDir dir;
    const std::string logPath = dir.File("memcheck.log");
    const Outcome run = RunUnderMemcheck({"--duration", "0.5", "--plugin", LUMAGROVE_CANARY_PLUGIN, "--out",
                                          dir.File("frames"), "--size", "64x36", "--fps", "10", "--quiet"},
                                         logPath);
    const std::string log = ReadFile(logPath);
    EXPECT_EQ(run.status, kValgrindFound) << run.err << log;
    EXPECT_NE(log.find("Conditional jump or move depends on uninitialised value"), std::string::npos) << log;
    EXPECT_NE(log.find("BranchOnUnsetMemory"), std::string::npos) << log;
    EXPECT_EQ(Count(log, "definitely lost: ([\\d,]+) bytes"), 4096) << log;
    EXPECT_NE(log.find("LoseABlock"), std::string::npos) << log;
}

}  // namespace
