#include "hosts/preview/program.h"

#include <stdio.h>

#include <new>

#include "host/visualiser.h"

int RunProgram(int argc, char** argv, void (*run)(const Options& options)) {
    try {
        Options options;
        if (!ParseOptions(argc, argv, &options)) return kExitOk;
        InstallInterruptHandlers();
        run(options);
        return kExitOk;
    } catch (const HostError& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return e.status;
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "lumagrove-preview: out of memory\n");
        return kExitFailure;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return kExitFailure;
    }
}
