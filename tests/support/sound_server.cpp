#include "tests/support/sound_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/preview_runner.h"

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& log,
            bool ownGroup = false) {
    std::vector<std::string> argv = args, envv = env;
    for (char** e = environ; *e; ++e) envv.push_back(*e);
    std::vector<char*> a, e;
    for (std::string& s : argv) a.push_back(&s[0]);
    a.push_back(nullptr);
    for (std::string& s : envv) e.push_back(&s[0]);
    e.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&files, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, a[0], &files, &attributes, a.data(), e.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (failed) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

// Runs a client (pactl) against the server; returns what it printed.
std::string RunClient(const std::vector<std::string>& args, const std::vector<std::string>& env,
                      const std::string& runtime) {
    const std::string log = runtime + "/client.out";
    unlink(log.c_str());
    const pid_t pid = Spawn(args, env, log);
    int status = 0;
    waitpid(pid, &status, 0);
    std::string out;
    if (FILE* f = fopen(log.c_str(), "r")) {
        for (int c = fgetc(f); c != EOF; c = fgetc(f)) out += static_cast<char>(c);
        fclose(f);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed: " + out);
    return out;
}

}  // namespace

SoundServer::SoundServer(const std::string& sink, Kind kind) : kind_(kind) {
    char pattern[] = "/tmp/lumagrove-pulse-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a runtime folder");
    runtime_ = pattern;
    env_ = {"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_, "PULSE_SERVER=unix:" + runtime_ + "/pulse/native"};
    if (kind == Kind::kPulseAudio) {
        daemon_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                         "--log-target=stderr", "-L", "module-null-sink sink_name=lumagrove_test " + sink, "-L",
                         "module-native-protocol-unix", "-L", "module-always-sink"},
                        env_, runtime_ + "/daemon.log");
    } else {
        daemon_ =
            // WirePlumber and the PulseAudio server once PipeWire's socket is there.
            Spawn({"dbus-run-session", "--", "sh", "-c",
                   "pipewire & until [ -S \"$XDG_RUNTIME_DIR/pipewire-0\" ]; do sleep 0.05; done;"
                   " wireplumber & pipewire-pulse & wait"},
                  env_, runtime_ + "/daemon.log", true);
    }
    // Bounds only a server that does not start reaches, however busy the machine.
    if (WaitUntil([&] { return access((runtime_ + "/pulse/native").c_str(), F_OK) == 0; }, 60)) {
        if (kind == Kind::kPulseAudio) return;
        // PipeWire: the null sink, made the default output, once its PulseAudio server answers.
        const bool loaded = WaitUntil(
            [&] {
                try {
                    std::vector<std::string> load = {
                        "timeout", "20", "pactl", "load-module", "module-null-sink", "sink_name=lumagrove_test"};
                    if (!sink.empty()) load.push_back(sink);
                    sinkModule_ = RunClient(load, env_, runtime_);
                    while (!sinkModule_.empty() && (sinkModule_.back() == '\n' || sinkModule_.back() == ' '))
                        sinkModule_.pop_back();
                    RunClient({"timeout", "20", "pactl", "set-default-sink", "lumagrove_test"}, env_, runtime_);
                    return true;
                } catch (const std::runtime_error&) {
                    return false;
                }
            },
            60);
        if (loaded) return;
    }
    Kill();
    throw std::runtime_error("the sound server did not start in a minute (see " + runtime_ + "/daemon.log)");
}

SoundServer::~SoundServer() {
    for (pid_t p : players_) {
        kill(p, SIGKILL);
        waitpid(p, nullptr, 0);
    }
    Kill();
    std::error_code ignored;
    std::filesystem::remove_all(runtime_, ignored);
}

pid_t SoundServer::Play(const std::string& file) {
    const auto streams = [&] {
        const std::string list = RunClient({"timeout", "20", "pactl", "list", "short", "sink-inputs"}, env_, runtime_);
        return std::count(list.begin(), list.end(), '\n');
    };
    const auto before = streams();
    const pid_t pid = Spawn({"paplay", "--device=lumagrove_test", file}, env_, runtime_ + "/paplay.log");
    players_.push_back(pid);
    // Playing once the server lists its stream.
    if (!WaitUntil([&] { return streams() > before; }, 60))
        throw std::runtime_error("paplay's stream did not reach the server in a minute (see " + runtime_ +
                                 "/paplay.log)");
    return pid;
}

// The server says the module is unloaded before its sink is gone (PipeWire's
// PulseAudio server, busy, now and then keeps it): the sink is waited for to
// leave the server's list, and unloaded again by name if it stays, so a
// test's device is really gone when this returns.
void SoundServer::UnloadSink() {
    std::string module = sinkModule_.empty() ? "module-null-sink" : sinkModule_;
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            RunClient({"timeout", "10", "pactl", "unload-module", module}, env_, runtime_);
        } catch (const std::runtime_error&) {
            // already unloaded, or the server was slow: the list tells
        }
        if (WaitUntil(
                [&] {
                    return RunClient({"timeout", "10", "pactl", "list", "short", "sinks"}, env_, runtime_)
                               .find("lumagrove_test") == std::string::npos;
                },
                20))
            return;
        module = "module-null-sink";
    }
    throw std::runtime_error("the test sink would not go away");
}

void SoundServer::Kill() {
    if (daemon_ <= 0) return;
    kill(kind_ == Kind::kPipeWire ? -daemon_ : daemon_, SIGKILL);
    waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
}
