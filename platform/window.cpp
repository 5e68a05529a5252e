#include "platform/window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>


#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/options.h"
#include "platform/process.h"
#include "platform/renderer.h"
#include "platform/window_system.h"

namespace {

struct WindowState {
    std::string title;
    std::string error;
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    int width = 0, height = 0;
    int seq = 0;
    int swap_interval = -2;  // what the context was last told; -2 unknown
    bool direct = false;     // presenting through the system's own path (window_system.h)
    bool full_screen = false;
    int full_screen_toggles = 0;
    // The player's window size (0 none), the size the game last gave the window, and the
    // size it was last seen at as a window, since when.
    int windowed_w = 0, windowed_h = 0;
    int given_w = 0, given_h = 0;
    int seen_w = 0, seen_h = 0;
    Uint32 seen_at = 0;
    // What the window shows: the picture's serial and the drawable's size at the last
    // present. A paced frame whose picture is the one shown is not presented again,
    // unless WHIRLBAT_PRESENT_EVERY_FRAME=1 asks for every frame.
    bool shown = false;
    uint64_t shown_serial = 0;
    int shown_w = 0, shown_h = 0;
    bool present_every_frame = false;
    void (*display_lost)() = nullptr;
};

WindowState win;

// The system took the window away for good and nothing may touch it again.
[[noreturn]] void display_lost(const char* line) {
    std::fprintf(stderr, "rc-whirlbat: %s\n", line);
    if (win.display_lost) win.display_lost();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}

void set_swap_interval(int interval) {
    if (win.swap_interval == interval) return;
    win.swap_interval = interval;
    SDL_GL_SetSwapInterval(interval);
}

// SDL falls back to a driver that shows nothing when it finds no display; a game that
// runs unseen helps nobody, unless that driver was asked for by name.
bool fell_back_to_invisible_driver() {
    const char* current = SDL_GetCurrentVideoDriver();
    if (!current) return true;
    std::string driver = current;
    if (driver != "offscreen" && driver != "dummy") return false;
    const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
    return !wanted || std::string(wanted).find(driver) == std::string::npos;
}

// The window's size: the player's, where it fits the desktop's work area, or the one
// that fits best.
SDL_Rect window_rect_for(int width, int height) {
    SDL_Rect usable{0, 0, width * 2, height * 2};
    SDL_GetDisplayUsableBounds(0, &usable);
    int w = win.windowed_w, h = win.windowed_h;
    if (w <= 0 || h <= 0 || w > usable.w || h > usable.h) FitWindowSize(width, height, usable.w, usable.h, &w, &h);
    win.given_w = w;
    win.given_h = h;
    return SDL_Rect{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h};
}

// Video and events, and the process-wide choices made before any thread starts.
bool start_video() {
    ProcessStart();
    if (engine_options.headless) SDL_setenv("SDL_VIDEODRIVER", SystemHeadlessDriver(), 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        win.error = SDL_GetError();
        return false;
    }
    if (!engine_options.headless && fell_back_to_invisible_driver()) {
        win.error = std::string("no display server answered, only SDL's invisible ") + SDL_GetCurrentVideoDriver() +
                    " driver";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

// Desktop full screen keeps the monitor's mode. The window is made the size of the
// desktop from the start, so it covers the screen even where no window manager carries
// out the full-screen request.
SDL_Window* create_window(int width, int height, bool full) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI | (engine_options.headless ? SDL_WINDOW_HIDDEN : 0);
    SDL_Rect rect{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height};
    if (!engine_options.headless) {
        if (full) {
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
            SDL_DisplayMode desktop;
            if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) rect = SDL_Rect{0, 0, desktop.w, desktop.h};
        } else {
            flags |= SDL_WINDOW_RESIZABLE;
            rect = window_rect_for(width, height);
        }
    }
    return SDL_CreateWindow(win.title.c_str(), rect.x, rect.y, rect.w, rect.h, flags);
}

}  // namespace

int GraphicsSeq() { return win.window ? win.seq : 0; }

void SetFullScreen(bool on) {
    if (on == win.full_screen) return;
    win.full_screen = on;
    ++win.full_screen_toggles;
    if (!win.window || engine_options.headless) return;
    if (on) {
        // Made the size of the desktop first, as a window opened full screen is, so that
        // it covers the screen where no window manager carries out the request.
        SDL_DisplayMode desktop;
        SDL_SetWindowBordered(win.window, SDL_FALSE);
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            SDL_SetWindowPosition(win.window, 0, 0);
            SDL_SetWindowSize(win.window, desktop.w, desktop.h);
        }
        SDL_SetWindowFullscreen(win.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(win.window, 0);
        // A window made full screen from the start has no size of its own to go back to.
        SDL_SetWindowBordered(win.window, SDL_TRUE);
        SDL_SetWindowResizable(win.window, SDL_TRUE);
        SDL_Rect rect = window_rect_for(win.width, win.height);
        win.seen_w = win.seen_h = 0;
        SDL_SetWindowSize(win.window, rect.w, rect.h);
        SDL_SetWindowPosition(win.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

bool FullScreen() { return win.full_screen; }

void FitWindowSize(int picture_w, int picture_h, int area_w, int area_h, int* w, int* h) {
    int scale = 1;
    while (picture_w * (scale + 1) <= area_w && picture_h * (scale + 1) <= area_h) ++scale;
    if (scale > 1) {
        *w = picture_w * scale;
        *h = picture_h * scale;
        return;
    }
    // The largest size of the picture's shape: the sharp-bilinear enlargement keeps it crisp.
    long long wide = (long long)area_h * picture_w, tall = (long long)area_w * picture_h;
    if (wide <= tall) {
        *h = area_h;
        *w = int(wide / picture_h);
    } else {
        *w = area_w;
        *h = int(tall / picture_w);
    }
}

void SetWindowedSize(int w, int h) {
    win.windowed_w = w > 0 && h > 0 ? w : 0;
    win.windowed_h = w > 0 && h > 0 ? h : 0;
}

bool WindowedSize(int* w, int* h) {
    if (win.window && !engine_options.headless && !win.full_screen) {
        int now_w = 0, now_h = 0;
        SDL_GetWindowSize(win.window, &now_w, &now_h);
        Uint32 now = SDL_GetTicks();
        if (now_w != win.seen_w || now_h != win.seen_h) {
            win.seen_w = now_w;
            win.seen_h = now_h;
            win.seen_at = now;
        } else if (now - win.seen_at >= 500 && now_w > 0 && (now_w != win.given_w || now_h != win.given_h)) {
            // Kept for half a second: the player's, not a passing step of a switch.
            win.windowed_w = win.given_w = now_w;
            win.windowed_h = win.given_h = now_h;
        }
    }
    if (win.windowed_w <= 0) return false;
    *w = win.windowed_w;
    *h = win.windowed_h;
    return true;
}

int FullScreenToggles() { return win.full_screen_toggles; }

void AppTitle(const std::string& title) {
    win.title = title;
    if (win.window) SDL_SetWindowTitle(win.window, title.c_str());
}

void SetDisplayLostHandler(void (*handler)()) { win.display_lost = handler; }

bool WindowOpen(int width, int height, int depth) {
    WindowClose();
    win.error.clear();
    if (!start_video()) return false;
    win.full_screen = depth != 0 && !engine_options.windowed;
    win.window = create_window(width, height, win.full_screen);
    if (!win.window) {
        win.error = SDL_GetError();
        return false;
    }
    // A program that ends without closing the window still must not touch GL while the
    // libraries behind it are being torn down: images released after this find no
    // renderer.
    static bool registered = false;
    if (!registered) {
        std::atexit([] { RendererShutdown(); });
        registered = true;
    }
    if (!engine_options.headless) SystemWatchWindow(win.window, display_lost);
    win.gl = SDL_GL_CreateContext(win.window);
    if (!win.gl || !RendererInit(width, height)) {
        win.error = win.gl ? "the OpenGL driver offers no off-screen framebuffer" : SDL_GetError();
        WindowClose();
        return false;
    }
    win.direct = !engine_options.headless && SystemPresentWanted() && SystemPresentOpen(win.window);
    const char* every = std::getenv("WHIRLBAT_PRESENT_EVERY_FRAME");
    win.present_every_frame = every && std::strcmp(every, "1") == 0;
    win.seq = win.seq + 1 == 0 ? 1 : win.seq + 1;
    win.width = width;
    win.height = height;
    return true;
}

void WindowClose() {
    if (!win.window) return;
    SystemPresentClose();
    win.direct = false;
    RendererShutdown();
    if (win.gl) SDL_GL_DeleteContext(win.gl);
    SDL_DestroyWindow(win.window);
    SystemSettle();
    win.gl = nullptr;
    win.window = nullptr;
    win.shown = false;
    win.width = win.height = 0;
    win.swap_interval = -2;
}

bool WindowIsOpen() { return win.window != nullptr; }

const std::string& GraphicsError() { return win.error; }
int GraphicsWidth() { return win.width; }
int GraphicsHeight() { return win.height; }

// Lets GL finish the drawing before the swap, so the cost of drawing counts as the
// frame's own lateness instead of delaying its presentation, and a slow frame moves the
// schedule rather than bunching with the next one. A screen at rest costs almost nothing.
bool WindowPrepare(bool vsync, bool may_repeat, bool* repeat) {
    RendererFlush();
    if (repeat) *repeat = false;
    if (engine_options.headless || !win.window || SystemWindowLost()) return false;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(win.window, &dw, &dh);
    RendererSubmit();
    if (may_repeat && win.shown && !win.present_every_frame && win.shown_serial == RendererPictureSerial() &&
        win.shown_w == dw && win.shown_h == dh) {
        if (repeat) *repeat = true;
        return false;
    }
    win.shown_serial = RendererPictureSerial();
    win.shown_w = dw;
    win.shown_h = dh;
    if (win.direct) {
        if (SystemPresentPrepare(dw, dh, win.width, win.height, win.present_every_frame)) return true;
        // Shared memory refused at a new size: GL presents from now on.
        SystemPresentClose();
        win.direct = false;
    }
    set_swap_interval(vsync ? 1 : 0);
    RendererPresent(dw, dh);
    glFinish();
    return true;
}

void WindowSwap(bool prepared) {
    if (!prepared) return;
    win.shown = true;
    if (win.direct) {
        SystemPresentShow();
        return;
    }
    SDL_GL_SwapWindow(win.window);
    RendererResumeDrawing();
}

void WindowPresentNow(bool vsync) { WindowSwap(WindowPrepare(vsync, false, nullptr)); }

void WindowUncovered(bool show) {
    SystemPresentWhole();
    if (show) WindowPresentNow(false);
}

bool WindowLost() { return SystemWindowLost(); }

void HideMouse() {
    if (win.window && !engine_options.headless) SDL_ShowCursor(SDL_DISABLE);
}

void WindowWarpPointer(int x, int y) {
    if (!win.window || engine_options.headless) return;
    int wx, wy;
    PictureToWindow(x, y, &wx, &wy);
    SDL_WarpMouseInWindow(win.window, wx, wy);
}

void WindowToPicture(int wx, int wy, int* px, int* py) {
    int ww = win.width, wh = win.height;
    if (win.window) SDL_GetWindowSize(win.window, &ww, &wh);
    int x, y, w, h;
    RendererFitRect(ww, wh, &x, &y, &w, &h);
    if (w <= 0 || h <= 0) {
        *px = wx;
        *py = wy;
        return;
    }
    double fx = double(wx - x) * win.width / w, fy = double(wy - y) * win.height / h;
    *px = int(fx >= 0 ? fx : fx - 1);
    *py = int(fy >= 0 ? fy : fy - 1);
}

void PictureToWindow(int px, int py, int* wx, int* wy) {
    int ww = win.width, wh = win.height;
    if (win.window) SDL_GetWindowSize(win.window, &ww, &wh);
    int x, y, w, h;
    RendererFitRect(ww, wh, &x, &y, &w, &h);
    if (win.width <= 0 || win.height <= 0) {
        *wx = px;
        *wy = py;
        return;
    }
    // The centre of the picture's pixel, so the way back lands on the same pixel.
    *wx = x + int((px + 0.5) * w / win.width);
    *wy = y + int((py + 0.5) * h / win.height);
}
