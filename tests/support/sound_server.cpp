#include "tests/support/sound_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& log) {
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
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, a[0], &files, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&files);
    if (failed) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

}  // namespace

SoundServer::SoundServer(const std::string& sink) {
    char pattern[] = "/tmp/lumagrove-pulse-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a runtime folder");
    runtime_ = pattern;
    env_ = {"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_, "PULSE_SERVER=unix:" + runtime_ + "/pulse/native"};
    daemon_ = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                     "--log-target=stderr", "-L", "module-null-sink sink_name=lumagrove_test " + sink, "-L",
                     "module-native-protocol-unix", "-L", "module-always-sink"},
                    env_, runtime_ + "/daemon.log");
    for (int i = 0; i < 200; ++i) {
        if (access((runtime_ + "/pulse/native").c_str(), F_OK) == 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    Kill();
    throw std::runtime_error("the PulseAudio daemon did not start (see " + runtime_ + "/daemon.log)");
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
    const pid_t pid = Spawn({"paplay", "--device=lumagrove_test", file}, env_, runtime_ + "/paplay.log");
    players_.push_back(pid);
    return pid;
}

void SoundServer::Kill() {
    if (daemon_ <= 0) return;
    kill(daemon_, SIGKILL);
    waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
}
