// sdl_window.h - the preview's window and its GL context: SDL2 with an
// OpenGL compatibility context (the plug-in draws in immediate mode), current
// on the creating thread for the window's life: the screen of a run of
// frames (toolbox/run/frame_run.h), which shows every frame drawn.
//
// F11 toggles full screen (not in a window of fixed size), and the swap
// follows the display: adaptive vsync where the driver has it, else vsync.
// A resizable window draws at its drawable size (HiDPI's pixels); a window of
// fixed size is exactly the size asked for, so its frames can be recorded.
#ifndef LUMAGROVE_SDL_WINDOW_H
#define LUMAGROVE_SDL_WINDOW_H

#include <stdint.h>

#include <functional>
#include <string>

#include "toolbox/toolbox.h"

struct SDL_Window;

class SdlWindow : public RunScreen {
public:
    // Throws HostError (status 1) when no window or context can be made.
    SdlWindow(int width, int height, const std::string& title, bool fullscreen, bool resizable);
    ~SdlWindow() override;
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;

    // The drawable size.
    void Size(int* width, int* height) const override;
    // Reads the frame drawn so far, before Present().
    void Read(const PictureBuffer& into) const override;
    void Present() override;
    void SetTitle(const std::string& title);

    // What the user asked for since the last call.
    struct Requests {
        bool quit = false;         // Esc, the window closed, Ctrl-C, SIGTERM
        bool togglePause = false;  // space
        std::string dropped;       // a file dropped on the window
    };
    Requests Poll();

private:
    SDL_Window* window_ = nullptr;
    void* context_ = nullptr;  // SDL_GLContext
    bool resizable_;
    bool quit_ = false;
};

// Runs `open` with stderr sent to /dev/null: the libraries under SDL (ALSA,
// Wayland's client) print their own diagnostics while SDL probes for a device
// that is not there, and the host reports a failure in one line of its own.
void WithoutLibraryChatter(const std::function<void()>& open);

#endif
