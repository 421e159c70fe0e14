// host_error.h - the one way the preview host reports a failure.
//
// Every module of the host throws HostError with one complete sentence
// ("cannot open song.wav: no such file"); main() prints it as a single
// "lumagrove-preview: ..." line and exits with the error's status:
// 2 for bad input (options, files), 1 for a failure while running.
#ifndef LUMAGROVE_HOST_ERROR_H
#define LUMAGROVE_HOST_ERROR_H

#include <stdexcept>
#include <string>

enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitBadInput = 2, kExitInterrupted = 130 };

struct HostError : std::runtime_error {
    HostError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
    int status;
};

#endif
