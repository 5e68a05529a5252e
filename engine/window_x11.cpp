#include "engine/window_x11.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <atomic>

namespace {

struct X11Watch {
    Display* display = nullptr;
    ::Window window = 0;
    XErrorHandler previous = nullptr;
    void (*on_connection_lost)() = nullptr;
    std::atomic<bool> lost{false};
};

X11Watch x11;

int on_error(Display* display, XErrorEvent* e) {
    bool gone = e->error_code == BadDrawable || e->error_code == BadWindow;
    if (gone && (e->resourceid == x11.window || x11.lost)) {
        x11.lost = true;
        return 0;
    }
    return x11.previous ? x11.previous(display, e) : 0;
}

int on_io_error(Display*) {
    if (x11.on_connection_lost) x11.on_connection_lost();
    return 0;
}

int watch_events(void*, SDL_Event* e) {
    if (e->type == SDL_SYSWMEVENT && e->syswm.msg->subsystem == SDL_SYSWM_X11) {
        const XEvent& xe = e->syswm.msg->msg.x11.event;
        if (xe.type == DestroyNotify && xe.xdestroywindow.window == x11.window) x11.lost = true;
    }
    return 1;
}

}  // namespace

void X11WatchWindow(SDL_Window* window, void (*on_connection_lost)()) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    x11.display = info.info.x11.display;
    x11.window = info.info.x11.window;
    x11.on_connection_lost = on_connection_lost;
    x11.lost = false;
    static bool installed = false;
    if (installed) return;
    installed = true;
    x11.previous = XSetErrorHandler(on_error);
    XSetIOErrorHandler(on_io_error);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_AddEventWatch(watch_events, nullptr);
}

bool X11WindowLost() { return x11.lost; }

void X11Settle() {
    if (x11.display) XSync(x11.display, False);
}
