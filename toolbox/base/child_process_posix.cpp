// ChildProcess on POSIX systems: posix_spawn with a pipe.
#include "toolbox/base/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/base/host_error.h"

extern char** environ;

namespace {

// A pipe of 1 MiB holds a good part of a frame, so the writer wakes the child
// less often. Larger requests fail for unprivileged users: keep the default then.
const int kPipeBytes = 1 << 20;

[[noreturn]] void CannotStart(const std::string& program, int err) {
    throw HostError(Fault::kFailure, "cannot start " + program + ": " + strerror(err));
}

int AnonymousTempFile() {
    const char* dir = getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/lumagrove-child-XXXXXX";
    const int fd = mkstemp(&pattern[0]);
    if (fd >= 0) unlink(pattern.c_str());
    return fd;
}

}  // namespace

std::string FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0 ? program : "";
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t begin = 0; begin <= dirs.size();) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > begin ? dirs.substr(begin, end - begin) : ".";
        const std::string candidate = dir + "/" + program;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return "";
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    const std::string& program = argv.at(0);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) CannotStart(program, errno);
    fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);
    input_ = fds[1];
    errorLog_ = AnonymousTempFile();
    if (errorLog_ < 0) {
        const int err = errno;
        close(fds[0]);
        CannotStart(program, err);
    }

    // The child: stdin from the pipe, stdout discarded, stderr to the log; its
    // own process group; default handling of the signals this process catches
    // or ignores.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorLog_, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int err = posix_spawnp(&pid, program.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (err != 0) {
        close(input_);
        close(errorLog_);
        CannotStart(program, err);
    }
    pid_ = pid;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && exitStatus_ < 0) {
        Kill();
        CloseAndWait();
    }
    if (input_ >= 0) close(input_);
    if (errorLog_ >= 0) close(errorLog_);
}

bool ChildProcess::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(input_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;  // EPIPE: the child is gone (SIGPIPE is ignored by this process)
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int ChildProcess::CloseAndWait(int killAfterMs) {
    if (exitStatus_ >= 0) return exitStatus_;
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
    int status = 0;
    struct rusage usage;
    memset(&usage, 0, sizeof usage);
    bool reaped = false;
    // Give the child its time to end on its own, looking every 10 ms.
    for (int waited = 0; killAfterMs >= 0 && !reaped; waited += 10) {
        const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            reaped = true;
        } else if (done < 0 && errno != EINTR) {
            break;
        } else if (waited >= killAfterMs) {
            Kill();
            break;
        } else {
            usleep(10000);
        }
    }
    while (!reaped && wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    peakMemoryKiB_ = usage.ru_maxrss;
    endSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exitStatus_;
}

void ChildProcess::Kill() noexcept {
    if (pid_ > 0 && exitStatus_ < 0) kill(pid_, SIGKILL);
}

std::string ChildProcess::HowItEnded() const {
    if (endSignal_ == 0) return "exit status " + std::to_string(exitStatus_);
    const char* name = sigabbrev_np(endSignal_);
    return name ? std::string("killed by SIG") + name : "killed by signal " + std::to_string(endSignal_);
}

std::string ChildProcess::LastErrorLine() const {
    std::string text;
    char buffer[4096];
    ssize_t n;
    for (off_t at = 0; (n = pread(errorLog_, buffer, sizeof buffer, at)) > 0; at += n) text.append(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    const size_t start = text.find_last_of("\r\n");
    return start == std::string::npos ? text : text.substr(start + 1);
}
