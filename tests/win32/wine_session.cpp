#include "tests/win32/wine_session.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

#include "tests/support/preview_runner.h"

extern char** environ;

namespace {

// A temporary file, removed when this goes out of scope.
struct TempFile {
    TempFile() {
        const char* dir = getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/lumagrove-wine-XXXXXX";
        fd = mkstemp(&path[0]);
        if (fd < 0) throw std::runtime_error("cannot create a temporary file in " + path);
    }
    ~TempFile() {
        close(fd);
        unlink(path.c_str());
    }
    std::string Contents() const {
        std::string text;
        char buffer[4096];
        ssize_t n;
        for (off_t at = 0; (n = pread(fd, buffer, sizeof buffer, at)) > 0; at += n) text.append(buffer, n);
        return text;
    }
    std::string path;
    int fd;
};

std::vector<char*> CArgv(const std::vector<std::string>& argv) {
    std::vector<char*> c;
    for (const std::string& a : argv) c.push_back(const_cast<char*>(a.c_str()));
    c.push_back(nullptr);
    return c;
}

int WaitStatus(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The X server and the Wine prefix, for the life of the test process.
class Session {
public:
    static Session& Get() {
        static Session session;
        return session;
    }

    ~Session() { RunProgram({"wineserver", "-k"}, 30); }

private:
    Session() {
        setenv("WINEPREFIX", LUMAGROVE_WINE_PREFIX, 1);
        setenv("WINEARCH", "win32", 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no Mono or Gecko installer
        display_ = std::make_unique<VirtualDisplay>(1024, 768);
        setenv("DISPLAY", display_->name().c_str(), 1);
        if (!Exists(std::string(LUMAGROVE_WINE_PREFIX) + "/system.reg")) CreatePrefix();
    }

    static void CreatePrefix() {
        const ProgramResult boot = RunProgram({"wineboot", "--init"}, 300);
        const ProgramResult quiet = RunProgram({"wine", "reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v",
                                                "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"},
                                               120);
        RunProgram({"wineserver", "-w"}, 120);
        if (boot.status != 0 || quiet.status != 0)
            throw std::runtime_error("cannot create the Wine prefix " LUMAGROVE_WINE_PREFIX ": " + boot.err +
                                     quiet.err);
    }

    std::unique_ptr<VirtualDisplay> display_;  // Wine's X server
};

}  // namespace

std::string WineUnavailable() {
    if (RunProgram({"sh", "-c", "command -v wine"}, 30).status == 0) return "";
    std::string reason = ReadFile(LUMAGROVE_WINE_UNAVAILABLE);
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    return reason;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutSeconds) {
    std::vector<std::string> limited = {"timeout", "--kill-after=5", std::to_string(timeoutSeconds)};
    limited.insert(limited.end(), argv.begin(), argv.end());
    TempFile out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd, 2);
    pid_t pid;
    const int spawnError = posix_spawnp(&pid, "timeout", &actions, nullptr, CArgv(limited).data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) throw std::runtime_error("cannot start " + argv[0]);
    const int status = WaitStatus(pid);
    return {status, out.Contents(), err.Contents()};
}

ProgramResult RunUnderWine(const std::vector<std::string>& argv, int timeoutSeconds) {
    Session::Get();
    std::vector<std::string> wine = {"wine"};
    wine.insert(wine.end(), argv.begin(), argv.end());
    return RunProgram(wine, timeoutSeconds);
}

std::string Win32BuildDir() { return LUMAGROVE_WIN32_DIR; }
