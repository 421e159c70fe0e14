// program.h - what every build of lumagrove-preview does around its run:
// read the options, arm Ctrl-C, run, and turn a failure into its one line.
#ifndef LUMAGROVE_PROGRAM_H
#define LUMAGROVE_PROGRAM_H

#include "hosts/preview/options.h"

// Parses argv (printing --help and returning 0 when asked), installs the
// interrupt handlers and calls `run`. Whatever `run` or the parsing throws is
// printed as the single line "lumagrove-preview: <message>" on stderr, and an
// exit status returned: 2 for bad input, 1 for a failure (and anything not a
// HostError), 130 when interrupted. Returns 0 when `run` returns.
int RunProgram(int argc, char** argv, void (*run)(const Options& options));

#endif
