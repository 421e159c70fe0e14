#include "toolbox/base/interrupt.h"

#include <signal.h>
#ifndef _WIN32
#  include <unistd.h>
#endif

namespace {

volatile sig_atomic_t interrupts = 0;

void OnInterrupt(int signal) {
    interrupts = interrupts + 1;
    if (interrupts == 2) {
        // Asked again, as GNU timeout, systemd and container runtimes do (the
        // process, then its group): what is being finished is kept.
#ifndef _WIN32
        static const char kNote[] = "lumagrove-preview: still finishing; interrupt once more to abandon it\n";
        if (write(2, kNote, sizeof kNote - 1) < 0) {
        }
#endif
    } else if (interrupts >= 3) {
        ::signal(signal, SIG_DFL);
        raise(signal);
    }
}

}  // namespace

void InstallInterruptHandlers() {
    signal(SIGINT, OnInterrupt);
    signal(SIGTERM, OnInterrupt);
#ifdef SIGPIPE
    signal(SIGPIPE, SIG_IGN);
#endif
}

bool InterruptRequested() { return interrupts != 0; }
