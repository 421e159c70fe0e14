#include "hosts/preview/sdl_window.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

[[noreturn]] void SdlFailed(const char* what) {
    throw HostError(Fault::kFailure, std::string("cannot open the preview window: ") + what + ": " + SDL_GetError());
}

}  // namespace

void WithoutLibraryChatter(const std::function<void()>& open) {
    fflush(stderr);
    const int saved = dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    if (saved >= 0 && null >= 0) dup2(null, 2);
    open();
    if (saved >= 0) {
        dup2(saved, 2);
        close(saved);
    }
    if (null >= 0) close(null);
}

SdlWindow::SdlWindow(int width, int height, const std::string& title, bool fullscreen, bool resizable)
    : resizable_(resizable) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // Ctrl-C and SIGTERM are handled by the host
    int failed = 0;
    WithoutLibraryChatter([&] { failed = SDL_Init(SDL_INIT_VIDEO); });
    if (failed != 0) SdlFailed("no video");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    // Full screen from the start is also made the size of the screen, at its
    // corner: without a window manager to honour the request (a bare X
    // server) it still covers the screen.
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    SDL_DisplayMode desktop;
    if (fullscreen && SDL_GetDesktopDisplayMode(0, &desktop) == 0) x = 0, y = 0, width = desktop.w, height = desktop.h;
    const Uint32 flags = SDL_WINDOW_OPENGL | (resizable ? SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI : 0) |
                         (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    window_ = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
    if (!window_) SdlFailed("no window");
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) SdlFailed("no OpenGL context");
    if (SDL_GL_MakeCurrent(window_, context_) != 0) SdlFailed("cannot make the context current");
    // Follow the display: adaptive vsync where the driver has it (a late
    // frame is shown at once rather than a whole refresh later), plain vsync
    // otherwise; the frame cap holds where there is neither.
    if (SDL_GL_SetSwapInterval(-1) != 0) SDL_GL_SetSwapInterval(1);
}

// SDL itself stays initialised until the process ends: SDL_Quit() would
// unload the X11 and sound libraries SDL opened, and what they keep for the
// process's life would then show as leaks of nameless modules.
SdlWindow::~SdlWindow() {
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
}

void SdlWindow::Size(int* width, int* height) const { SDL_GL_GetDrawableSize(window_, width, height); }

void SdlWindow::Read(const PictureBuffer& into) const {
    int width = 0, height = 0;
    Size(&width, &height);
    // The back buffer, just drawn, bottom row first, BGRA (a window's
    // recording keeps the layout of toolbox/output/frame.h).
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(into.stride / 4));
    glReadPixels(0, 0, width, height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, into.pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
}

void SdlWindow::Present() { SDL_GL_SwapWindow(window_); }

void SdlWindow::SetTitle(const std::string& title) { SDL_SetWindowTitle(window_, title.c_str()); }

SdlWindow::Requests SdlWindow::Poll() {
    Requests r;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) quit_ = true;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) quit_ = true;
        if (event.type == SDL_KEYDOWN && !event.key.repeat) {
            if (event.key.keysym.sym == SDLK_ESCAPE) quit_ = true;
            if (event.key.keysym.sym == SDLK_SPACE) r.togglePause = !r.togglePause;
            if (event.key.keysym.sym == SDLK_F11 && resizable_) {
                const bool full = SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP;
                SDL_SetWindowFullscreen(window_, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
            }
        }
        if (event.type == SDL_DROPFILE) {
            r.dropped = event.drop.file;
            SDL_free(event.drop.file);
        }
    }
    r.quit = quit_ || InterruptRequested();
    return r;
}
