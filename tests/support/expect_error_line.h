// expect_error_line.h - the check every failing end-to-end run shares: the
// program said what went wrong in exactly one line, its name first.
#ifndef LUMAGROVE_TESTS_EXPECT_ERROR_LINE_H
#define LUMAGROVE_TESTS_EXPECT_ERROR_LINE_H

#include <gtest/gtest.h>

#include <string>

#include "tests/support/preview_runner.h"

// stderr is the single line "lumagrove-preview: ...", and the line holds `named`.
inline void ExpectOneLine(const Outcome& run, const std::string& named) {
    EXPECT_EQ(run.err.rfind("lumagrove-preview: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
}

#endif
