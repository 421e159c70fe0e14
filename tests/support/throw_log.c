/* throw_log.so: preloaded (LD_PRELOAD) into a program that loads one of
 * Lumagrove's modules, it writes a line for every C++ exception thrown in the
 * process to the file LUMAGROVE_THROW_LOG names, and the stack of a crash:
 *   loaded <pid>                        once, as the process starts
 *   throw <object> <type>               each throw (and rethrow: "rethrow <object>")
 *   crash <this library> <signal>       a fatal signal, then a line for each
 *   frame <object>                        frame of the thread it hit, innermost first
 * where <object> is the file of the code that threw or ran. After a crash
 * the signal takes its course (a core, the status of that signal). A
 * signal the program already handles when this loads (a sanitizer's
 * runtime) is left to it. It is C, and links no
 * C++ runtime of its own, so the process loads its libraries in the order it
 * would without it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void Note(const char* what, const void* code, const char* type) {
    const char* log = getenv("LUMAGROVE_THROW_LOG");
    if (!log) return;
    Dl_info info;
    const char* object = dladdr(code, &info) && info.dli_fname ? info.dli_fname : "?";
    char line[1024];
    const int n = snprintf(line, sizeof line, "%s %s %s\n", what, object, type ? type : "");
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    if (n > 0) (void)!write(fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    close(fd);
}

/* The C++ runtime's own entry: found through the runtime a module brought in,
 * which need not be in the global scope. */
static void* Real(const char* name) {
    void* found = dlsym(RTLD_NEXT, name);
    if (!found) {
        void* runtime = dlopen("libstdc++.so.6", RTLD_NOW | RTLD_NOLOAD);
        if (runtime) found = dlsym(runtime, name);
    }
    if (!found) abort();
    return found;
}

/* A fatal signal: the crashing thread's frames, then the signal again with
 * its default action (the handler is reset as it runs). */
static void Crashed(int signal) {
    char number[16];
    snprintf(number, sizeof number, "%d", signal);
    Note("crash", (const void*)Crashed, number);
    void* frames[64];
    const int count = backtrace(frames, 64);
    for (int i = 0; i < count; ++i) Note("frame", frames[i], "");
    raise(signal);
}

__attribute__((constructor)) static void Loaded(void) {
    char pid[32];
    snprintf(pid, sizeof pid, "%d", (int)getpid());
    Note("loaded", (const void*)Loaded, pid);
    void* warm[1];
    backtrace(warm, 1); /* the unwinder loaded now, not inside a handler */
    struct sigaction crash;
    memset(&crash, 0, sizeof crash);
    crash.sa_handler = Crashed;
    crash.sa_flags = (int)SA_RESETHAND;
    const int fatal[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
    for (size_t i = 0; i < sizeof fatal / sizeof fatal[0]; ++i) {
        struct sigaction before;
        /* A handler of the program's own (a sanitizer's runtime) keeps the signal. */
        if (sigaction(fatal[i], NULL, &before) == 0 && before.sa_handler == SIG_DFL && !(before.sa_flags & SA_SIGINFO))
            sigaction(fatal[i], &crash, NULL);
    }
}

/* A std::type_info is a vtable pointer followed by the mangled name. */
void __cxa_throw(void* object, void* type, void (*destroy)(void*)) {
    Note("throw", __builtin_return_address(0), type ? ((const char* const*)type)[1] : "");
    void (*real)(void*, void*, void (*)(void*));
    *(void**)&real = Real("__cxa_throw");
    real(object, type, destroy);
    abort();
}

void __cxa_rethrow(void) {
    Note("rethrow", __builtin_return_address(0), "");
    void (*real)(void);
    *(void**)&real = Real("__cxa_rethrow");
    real();
    abort();
}
