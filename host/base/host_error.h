// host_error.h - the one way the library's stages report a failure.
//
// Every stage throws HostError with one complete sentence ("cannot open
// song.wav: no such file") and what kind of failure it is: bad input (what
// the caller gave: options, files, the environment), a failure while
// running, or a stop that was asked for. Each caller reports it its own way:
// the C API as a result code and its last error, lumagrove-preview as the
// single line "lumagrove-preview: ..." and an exit status of its own.
#ifndef LUMAGROVE_HOST_ERROR_H
#define LUMAGROVE_HOST_ERROR_H

#include <stdexcept>
#include <string>

enum class Fault { kBadInput, kFailure, kStopped };

// What failed, for a caller that tells failures apart (the C API's results).
enum class FailedPart { kOther, kPlugin, kGl };

struct HostError : std::runtime_error {
    HostError(Fault fault, const std::string& message, FailedPart part = FailedPart::kOther)
        : std::runtime_error(message), fault(fault), part(part) {}
    Fault fault;
    FailedPart part;
};

#endif
