// sound_server.h - a sound server of the test's own, in a private runtime
// folder, with one null sink ("lumagrove_test") as the default output, so
// its monitor ("lumagrove_test.monitor") is what the machine plays: a
// PulseAudio daemon, or PipeWire with its PulseAudio server (pipewire,
// wireplumber and pipewire-pulse under a D-Bus session of their own).
// Programs reach it through env(); Play() plays a file into it with paplay.
#ifndef LUMAGROVE_TESTS_SOUND_SERVER_H
#define LUMAGROVE_TESTS_SOUND_SERVER_H

#include <sys/types.h>

#include <string>
#include <vector>

class SoundServer {
public:
    enum class Kind { kPulseAudio, kPipeWire };

    // `sink` adds options to the null sink ("rate=96000 channels=6 ...").
    // Throws std::runtime_error when the daemon does not come up.
    explicit SoundServer(const std::string& sink = "", Kind kind = Kind::kPulseAudio);
    ~SoundServer();  // Kill(), and the runtime folder removed
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // "NAME=value" entries that point a client at this server.
    const std::vector<std::string>& env() const { return env_; }
    // Starts paplay on `file`, into the null sink, and returns its pid once
    // the server lists its stream.
    pid_t Play(const std::string& file);
    // Ends the daemon at once (SIGKILL), as a crash would.
    void Kill();
    pid_t pid() const { return daemon_; }
    // Removes the null sink, as unplugging a device would.
    void UnloadSink();

private:
    std::string runtime_;
    std::vector<std::string> env_;
    pid_t daemon_ = -1;  // PipeWire: the leader of the servers' process group
    Kind kind_;
    std::string sinkModule_;  // the null sink's module index
    std::vector<pid_t> players_;
};

#endif
