// preview_runner.h - runs the built lumagrove-preview as a person would, for
// the end-to-end tests: a child process with its exit status and stderr,
// the PNG files it writes read back with libpng, and a virtual X display
// (Xvfb) for the live window, with a screenshot of it.
#ifndef LUMAGROVE_TESTS_PREVIEW_RUNNER_H
#define LUMAGROVE_TESTS_PREVIEW_RUNNER_H

#include <stdint.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct Outcome {
    int status;       // exit status, or 128 + the signal that ended it
    std::string err;  // everything written to stderr
};

// The program running; the destructor kills it if it still runs.
class PreviewProcess {
public:
    // `env` entries ("NAME=value") are added to, or replace, the test's own.
    // A `launcher` ("unshare", "-m", ...; looked up on PATH) is run instead,
    // with the program's path and `args` after its own arguments; the process
    // is then the launcher's.
    explicit PreviewProcess(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                            const std::vector<std::string>& launcher = {});
    ~PreviewProcess();
    void Signal(int signal) const;
    pid_t pid() const { return pid_; }
    Outcome Wait();

private:
    pid_t pid_ = -1;
    std::string errPath_;
};

Outcome RunPreview(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// An 8-bit RGB picture, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    double Brightness() const;  // mean of all channels of all pixels, 0..255
};
Picture ReadPng(const std::string& path);
// Pixels whose channels differ by more than 40: glow, not the white outline
// nor the black around it; in the rectangle given (the whole picture by default).
int ColouredPixels(const Picture& picture, int left = 0, int top = 0, int width = -1, int height = -1);

// Every name in a folder (not "." or ".."), sorted; empty when it does not exist.
std::vector<std::string> ListFolder(const std::string& path);
bool Exists(const std::string& path);
std::string ReadFile(const std::string& path);

// Looks every 50 ms whether `done()` holds, for at most `seconds`: a bound that
// only a fault reaches, however busy the machine. False if it never held.
bool WaitUntil(const std::function<bool()>& done, double seconds = 90);

// Runs a command through the shell and returns its standard output.
std::string Capture(const std::string& command);

// What ffprobe says of one stream ("v:0", "a:0") of a video: codec_name,
// width, height, pix_fmt, nb_read_frames, duration, sample_rate, channels
// (those the stream has), field name to value. Empty when there is no such stream.
std::map<std::string, std::string> ProbeStream(const std::string& video, const std::string& stream);

// An X server of its own (Xvfb) for the duration of a test.
class VirtualDisplay {
public:
    VirtualDisplay(int width, int height);
    ~VirtualDisplay();
    const std::string& name() const { return name_; }  // ":N", for DISPLAY
    // The whole screen as it is now.
    Picture Screenshot() const;
    // Resizes the top-level window now showing at `width` x `height`, as a
    // user dragging its corner would. False when there is no such window.
    bool ResizeWindow(int width, int height, int newWidth, int newHeight) const;
    // Sends the top-level window now showing at `width` x `height` a press
    // and release of the key `keysym` (an X KeySym, XK_space). False when
    // there is no such window.
    bool PressKey(int width, int height, unsigned long keysym) const;

private:
    pid_t pid_ = -1;
    std::string name_;
};

#endif
