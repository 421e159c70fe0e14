// memcheck_log.h - what a valgrind log (run with -v) says was in the process.
//
// Valgrind decodes an instruction only where the processor's CPUID reports
// it. Some virtual machines hide RDTSCP from CPUID while their processors run
// it, and libhwy (which FFmpeg's libavcodec brings in through libjxl) runs
// RDTSCP in its start-up code: under valgrind on such a machine the process
// stops there with "Unrecognised instruction", before any code of ours has
// run. The memcheck tests keep such libraries out of the process under test,
// and this names any that came in all the same, on every machine.
#ifndef LUMAGROVE_TESTS_MEMCHECK_LOG_H
#define LUMAGROVE_TESTS_MEMCHECK_LOG_H

#include <string>
#include <vector>

// The objects valgrind read symbols from: every library mapped in the process.
inline std::vector<std::string> MappedObjects(const std::string& log) {
    std::vector<std::string> objects;
    const std::string mark = "Reading syms from ";
    for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
        const size_t start = at + mark.size();
        objects.push_back(log.substr(start, log.find_first_of(" \n", start) - start));
    }
    return objects;
}

// Those of `objects` whose start-up code valgrind cannot run where CPUID hides an instruction.
inline std::vector<std::string> NotRunnableEverywhere(const std::vector<std::string>& objects) {
    std::vector<std::string> found;
    for (const std::string& object : objects)
        if (object.find("/libhwy.so") != std::string::npos) found.push_back(object);
    return found;
}

#endif
