#include "hosts/preview/program.h"

#include <stdio.h>

#include <new>

#include "toolbox/toolbox.h"

namespace {

// The program's exit statuses: 2 for bad input (options, files, the
// environment), 1 for a failure while running, 130 when interrupted.
enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitBadInput = 2, kExitInterrupted = 130 };

int ExitStatusFor(Fault fault) {
    switch (fault) {
        case Fault::kBadInput:
            return kExitBadInput;
        case Fault::kStopped:
            return kExitInterrupted;
        case Fault::kFailure:
            break;
    }
    return kExitFailure;
}

}  // namespace

int RunProgram(int argc, char** argv, void (*run)(const Options& options)) {
    try {
        Options options;
        if (!ParseOptions(argc, argv, &options)) return kExitOk;
        InstallInterruptHandlers();
        run(options);
        return kExitOk;
    } catch (const HostError& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return ExitStatusFor(e.fault);
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "lumagrove-preview: out of memory\n");
        return kExitFailure;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return kExitFailure;
    }
}
