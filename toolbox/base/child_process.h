// child_process.h - a helper program (the video encoder) run as a child
// process whose standard input this process writes through a pipe.
//
// The child gets its own process group, so a Ctrl-C at the terminal reaches
// only this process, which then decides how the child ends. Its standard
// output is discarded and its standard error kept in an anonymous temporary
// file, read back by LastErrorLine() to explain a failure.
#ifndef LUMAGROVE_CHILD_PROCESS_H
#define LUMAGROVE_CHILD_PROCESS_H

#include <stddef.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts argv[0] (looked up on PATH) with the given arguments. Throws
    // HostError (a failure) when it cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv);
    // Kills the child if it still runs, and waits for it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all of `data` to the child's standard input. Returns false when
    // the child no longer reads it (it has exited or closed its input).
    bool Write(const void* data, size_t size);
    // Closes the child's input and waits for it to exit; when `killAfterMs`
    // is not negative and the child still runs that long after, ends it with
    // SIGKILL. Returns its exit status, or 128 + the signal that ended it.
    int CloseAndWait(int killAfterMs = -1);
    // Ends the child at once (SIGKILL). Safe from any thread, any time.
    void Kill() noexcept;

    // The last non-empty line the child wrote to its standard error.
    std::string LastErrorLine() const;
    // How the child ended, once waited for: "exit status 1", "killed by SIGKILL".
    std::string HowItEnded() const;
    // The child's peak resident memory in KiB, known once it has been waited for.
    long peakMemoryKiB() const { return peakMemoryKiB_; }

private:
    int pid_ = -1;
    int input_ = -1;     // write end of the pipe to the child's standard input
    int errorLog_ = -1;  // the child's standard error
    int exitStatus_ = -1;
    int endSignal_ = 0;  // the signal that ended the child; 0 when it exited
    long peakMemoryKiB_ = 0;
};

// The full path of `program` found on PATH, or "" when there is none.
std::string FindProgram(const std::string& program);

#endif
