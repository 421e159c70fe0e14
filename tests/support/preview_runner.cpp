#include "tests/support/preview_runner.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// The test's environment with `extra` added or replacing entries of the same name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(extra.begin(), extra.end(),
                                          [&](const std::string& x) { return x.compare(0, name.size(), name) == 0; });
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(&s[0]);
    p.push_back(nullptr);
    return p;
}

}  // namespace

PreviewProcess::PreviewProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                               const std::vector<std::string>& launcher) {
    char pattern[] = "/tmp/lumagrove-stderr-XXXXXX";
    const int errFd = mkstemp(pattern);
    if (errFd < 0) throw std::runtime_error("cannot make a file for stderr");
    errPath_ = pattern;
    std::vector<std::string> argv = launcher;
    argv.push_back(LUMAGROVE_PREVIEW_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = MergedEnvironment(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    const int err =
        posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, Pointers(argv).data(), Pointers(envp).data());
    posix_spawn_file_actions_destroy(&actions);
    close(errFd);
    if (err != 0) throw std::runtime_error(std::string("cannot start the preview: ") + strerror(err));
}

PreviewProcess::~PreviewProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(errPath_.c_str());
}

void PreviewProcess::Signal(int signal) const { kill(pid_, signal); }

Outcome PreviewProcess::Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(errPath_)};
}

Outcome RunPreview(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return PreviewProcess(args, env).Wait();
}

double Picture::Brightness() const {
    double sum = 0;
    for (uint8_t v : rgb) sum += v;
    return rgb.empty() ? 0.0 : sum / rgb.size();
}

int ColouredPixels(const Picture& picture, int left, int top, int width, int height) {
    if (width < 0) width = picture.width - left;
    if (height < 0) height = picture.height - top;
    int count = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            const uint8_t* p = picture.At(x, y);
            count += std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 40;
        }
    return count;
}

Picture ReadPng(const std::string& path) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) throw std::runtime_error("cannot read PNG " + path);
    image.format = PNG_FORMAT_RGB;
    Picture p;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr))
        throw std::runtime_error("cannot decode PNG " + path + ": " + image.message);
    return p;
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* e = readdir(dir))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::map<std::string, std::string> ProbeStream(const std::string& video, const std::string& stream) {
    std::stringstream lines(Capture("ffprobe -v error -count_frames -select_streams " + stream +
                                    " -show_entries stream=codec_name,width,height,pix_fmt,nb_read_frames,duration,"
                                    "sample_rate,channels -of default=noprint_wrappers=1 '" +
                                    video + "'"));
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(lines, line);)
        if (line.find('=') != std::string::npos)
            fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return fields;
}

VirtualDisplay::VirtualDisplay(int width, int height) {
    // Xvfb picks a free display number and writes it to the pipe given by -displayfd.
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("cannot make a pipe");
    std::vector<std::string> argv = {
        "Xvfb",      "-displayfd", std::to_string(fds[1]),
        "-screen",   "0",          std::to_string(width) + "x" + std::to_string(height) + "x24",
        "-nolisten", "tcp",        "-noreset"};  // no reset when the last client leaves
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const int err = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, Pointers(argv).data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
        close(fds[0]);
        throw std::runtime_error(std::string("cannot start Xvfb: ") + strerror(err));
    }
    // The number comes as digits, then a newline, maybe in separate writes:
    // closing the pipe before the newline would make the server quit.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not start");
    }
    name_ = ":" + number;
    // The server names its display before it is ready for clients: wait until one gets in.
    if (WaitUntil(
            [&] {
                Display* display = XOpenDisplay(name_.c_str());
                if (display) XCloseDisplay(display);
                return display != nullptr;
            },
            60))
        return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    throw std::runtime_error("Xvfb on " + name_ + " takes no clients");
}

VirtualDisplay::~VirtualDisplay() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

Picture VirtualDisplay::Screenshot() const {
    Display* display = XOpenDisplay(name_.c_str());
    if (!display) throw std::runtime_error("cannot open display " + name_);
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    Picture p;
    p.width = attributes.width;
    p.height = attributes.height;
    p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            uint8_t* q = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
            q[0] = static_cast<uint8_t>((pixel & image->red_mask) >> 16);
            q[1] = static_cast<uint8_t>((pixel & image->green_mask) >> 8);
            q[2] = static_cast<uint8_t>(pixel & image->blue_mask);
        }
    XDestroyImage(image);
    XCloseDisplay(display);
    return p;
}

// Runs `act` on the top-level window now showing at `width` x `height`, on a
// connection of its own. False when there is no such window.
template <typename Act>
bool WithWindowOfSize(const std::string& name, int width, int height, Act act) {
    Display* display = XOpenDisplay(name.c_str());
    if (!display) return false;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    bool found = false;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable && a.width == width &&
                a.height == height) {
                act(display, children[i]);
                found = true;
            }
        }
        XFree(children);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return found;
}

bool VirtualDisplay::ResizeWindow(int width, int height, int newWidth, int newHeight) const {
    return WithWindowOfSize(name_, width, height, [&](Display* display, Window window) {
        XResizeWindow(display, window, newWidth, newHeight);
    });
}

bool VirtualDisplay::PressKey(int width, int height, unsigned long keysym) const {
    return WithWindowOfSize(name_, width, height, [&](Display* display, Window window) {
        // Focus, then a press and a release, as a keyboard would send them.
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XKeyEvent key = {};
        key.display = display;
        key.window = window;
        key.root = DefaultRootWindow(display);
        key.same_screen = True;
        key.keycode = XKeysymToKeycode(display, keysym);
        for (int type : {KeyPress, KeyRelease}) {
            key.type = type;
            XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                       reinterpret_cast<XEvent*>(&key));
        }
    });
}
