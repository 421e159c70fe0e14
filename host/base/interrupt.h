// interrupt.h - Ctrl-C and termination requests, turned into a flag that the
// render loop checks between frames.
//
// After InstallInterruptHandlers(), the first SIGINT or SIGTERM only sets the
// flag: the frame in flight ends, the outputs are closed and removed, and the
// program exits with status 130. A second one ends the program at once.
// SIGPIPE is ignored, so a child that stops reading shows as a failed write.
#ifndef LUMAGROVE_INTERRUPT_H
#define LUMAGROVE_INTERRUPT_H

void InstallInterruptHandlers();
bool InterruptRequested();
// Throws HostError (status 130) once an interrupt was requested.
void ThrowIfInterrupted();

#endif
