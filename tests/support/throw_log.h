// throw_log.h - the C++ exceptions a program threw, as throw_log.so
// (tests/support/throw_log.c) logged them: preload it with
// ThrowLogEnvironment(log) before the program.
#ifndef LUMAGROVE_TESTS_THROW_LOG_H
#define LUMAGROVE_TESTS_THROW_LOG_H

#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

// "LD_PRELOAD=... LUMAGROVE_THROW_LOG=<log>", for a shell command's
// environment; `first`, if given, is preloaded before it.
inline std::string ThrowLogEnvironment(const std::string& log, const std::string& first = "") {
    return "LD_PRELOAD='" + (first.empty() ? "" : first + " ") +
           LUMAGROVE_THROW_LOG_LIBRARY "' LUMAGROVE_THROW_LOG=" + log;
}

// Whether the log was written by a process the library was preloaded into.
inline bool ThrowLogLoaded(const std::string& log) { return log.rfind("loaded ", 0) == 0; }

// The log's throws and rethrows from code in an object whose file name has
// `part` in it (the project's modules all have "lumagrove").
inline std::vector<std::string> ThrowsFrom(const std::string& log, const std::string& part = "lumagrove") {
    std::vector<std::string> found;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string what, object;
        fields >> what >> object;
        if ((what == "throw" || what == "rethrow") &&
            object.substr(object.rfind('/') + 1).find(part) != std::string::npos)
            found.push_back(line);
    }
    return found;
}

// A crash the log names: its signal, and the files of the frames of the
// thread it hit, innermost first. `signal` is 0 when there was none.
struct LoggedCrash {
    int signal = 0;
    std::vector<std::string> frames;
};
inline LoggedCrash CrashIn(const std::string& log) {
    LoggedCrash crash;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string what, object, type;
        fields >> what >> object >> type;
        if (what == "crash" && crash.signal == 0) crash.signal = std::atoi(type.c_str());
        else if (what == "frame" && crash.signal != 0) crash.frames.push_back(object);
    }
    return crash;
}

#endif
