// host_error.h - the one way the host library reports a failure.
//
// Every stage throws HostError with one complete sentence ("cannot open
// song.wav: no such file") and a status: 2 for bad input (options, files, the
// environment), 1 for a failure while running, 130 when interrupted. Each
// host program reports it its own way: lumagrove-preview prints it as the
// single line "lumagrove-preview: ..." and exits with the status.
#ifndef LUMAGROVE_HOST_ERROR_H
#define LUMAGROVE_HOST_ERROR_H

#include <stdexcept>
#include <string>

enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitBadInput = 2, kExitInterrupted = 130 };

// What failed, for a caller that tells failures apart (the C API's results).
enum class FailedPart { kOther, kPlugin, kGl };

struct HostError : std::runtime_error {
    HostError(int status, const std::string& message, FailedPart part = FailedPart::kOther)
        : std::runtime_error(message), status(status), part(part) {}
    int status;
    FailedPart part;
};

#endif
