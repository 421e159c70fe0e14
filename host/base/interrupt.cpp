#include "host/base/interrupt.h"

#include <signal.h>

namespace {

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int signal) {
    if (interrupted) {
        // Asked twice: stop now.
        ::signal(signal, SIG_DFL);
        raise(signal);
        return;
    }
    interrupted = 1;
}

}  // namespace

void InstallInterruptHandlers() {
    signal(SIGINT, OnInterrupt);
    signal(SIGTERM, OnInterrupt);
#ifdef SIGPIPE
    signal(SIGPIPE, SIG_IGN);
#endif
}

bool InterruptRequested() { return interrupted != 0; }
