// sound_server.h - a PulseAudio daemon of the test's own, in a private
// runtime folder, with one null sink ("lumagrove_test") as the default
// output, so its monitor ("lumagrove_test.monitor") is what the machine plays.
// Programs reach it through env(); Play() plays a file into it with paplay.
#ifndef LUMAGROVE_TESTS_SOUND_SERVER_H
#define LUMAGROVE_TESTS_SOUND_SERVER_H

#include <sys/types.h>

#include <string>
#include <vector>

class SoundServer {
public:
    // `sink` adds options to the null sink ("rate=96000 channels=6 ...").
    // Throws std::runtime_error when the daemon does not come up.
    explicit SoundServer(const std::string& sink = "");
    ~SoundServer();  // Kill(), and the runtime folder removed
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // "NAME=value" entries that point a client at this server.
    const std::vector<std::string>& env() const { return env_; }
    // Starts paplay on `file`, into the null sink; returns its pid.
    pid_t Play(const std::string& file);
    // Ends the daemon at once (SIGKILL), as a crash would.
    void Kill();
    pid_t pid() const { return daemon_; }

private:
    std::string runtime_;
    std::vector<std::string> env_;
    pid_t daemon_ = -1;
    std::vector<pid_t> players_;
};

#endif
