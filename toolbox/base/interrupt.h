// interrupt.h - Ctrl-C and termination requests, turned into a flag that a
// host's frame loop checks between frames and while it waits.
//
// After InstallInterruptHandlers(), the first SIGINT or SIGTERM only sets the
// flag; what it means is the run's to decide (host/driver/frame_driver.h): an
// offline render removes its outputs and fails as stopped, a recording or
// a live window ends normally and publishes what it made. A second one (GNU
// timeout, systemd and container runtimes send one to the process and then
// its group) says once on stderr that the program is still finishing, and
// changes nothing; a third ends the program at once. SIGPIPE is ignored, so a
// child that stops reading shows as a failed write.
#ifndef LUMAGROVE_INTERRUPT_H
#define LUMAGROVE_INTERRUPT_H

void InstallInterruptHandlers();
bool InterruptRequested();

#endif
