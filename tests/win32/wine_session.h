// wine_session.h - runs the Windows build's programs under Wine for the tests.
//
// The first call in a test process starts the session: a private X server
// (a VirtualDisplay, see tests/support/preview_runner.h) that Wine's windows and
// OpenGL use, with Mesa's software rasteriser behind Wine's opengl32; and the 32-bit
// Wine prefix LUMAGROVE_WINE_PREFIX in the build tree, created on first use
// (wineboot) with crash dialogs turned off. Wine's debug channels are off and
// its Mono and Gecko installers are never offered. At process exit the
// prefix's wineserver is stopped and the X server ended.
//
// Programs run with a time limit (timeout(1), SIGKILL five seconds after the
// limit); their standard output and standard error are captured whole.
#ifndef LUMAGROVE_TESTS_WINE_SESSION_H
#define LUMAGROVE_TESTS_WINE_SESSION_H

#include <string>
#include <vector>

struct ProgramResult {
    int status;       // exit status; 124 when the time limit ended it, 128 + n for signal n
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a native program (argv[0] looked up on PATH).
ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutSeconds);

// Runs a Windows program under Wine: argv[0] is the .exe's path on this machine.
ProgramResult RunUnderWine(const std::vector<std::string>& argv, int timeoutSeconds = 120);

// Why Wine cannot run here, or "": the reason make recorded when Wine's
// packages could not be installed (LUMAGROVE_WINE_UNAVAILABLE), while wine is
// indeed missing. Wine missing with no such record is a failure, not this.
std::string WineUnavailable();

// At the start of a test that runs Windows programs: the test is reported as
// not run, with the reason, where Wine cannot be had.
#define LUMAGROVE_NEEDS_WINE()                                                       \
  do {                                                                               \
    const std::string lumagroveNoWine = WineUnavailable();                           \
    if (!lumagroveNoWine.empty()) GTEST_SKIP() << "needs Wine: " << lumagroveNoWine; \
  } while (0)

// The folder holding the Windows build (lumagrove.dll, lumagrove-preview.exe, the probes).
std::string Win32BuildDir();

#endif
