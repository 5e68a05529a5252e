#include "platform/window_x11.h"

#include "platform/window_system.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

struct X11Watch {
    Display* display = nullptr;
    ::Window window = 0;
    XErrorHandler previous = nullptr;
    void (*on_lost)(const char* line) = nullptr;
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
    if (x11.on_lost) x11.on_lost("the connection to the display was closed; ending");
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

// SDL's offscreen driver, OpenGL through EGL and Mesa's software renderer.
const char* SystemHeadlessDriver() { return "offscreen"; }

void SystemWatchWindow(SDL_Window* window, void (*on_lost)(const char* line)) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    x11.display = info.info.x11.display;
    x11.window = info.info.x11.window;
    x11.on_lost = on_lost;
    x11.lost = false;
    static bool installed = false;
    if (installed) return;
    installed = true;
    x11.previous = XSetErrorHandler(on_error);
    XSetIOErrorHandler(on_io_error);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_AddEventWatch(watch_events, nullptr);
}

bool SystemWindowLost() { return x11.lost; }

bool SystemListening() { return x11.display && !x11.lost; }

DisplayWait SystemWaitForInput(double ms) {
    if (!SystemListening()) return DisplayWait::unwatched;
    if (XEventsQueued(x11.display, QueuedAlready) > 0) return DisplayWait::input;
    pollfd connection{ConnectionNumber(x11.display), POLLIN, 0};
    long long ns = ms > 0 ? (long long)(ms * 1e6) : 0;
    timespec wait{time_t(ns / 1000000000), long(ns % 1000000000)};
    return ppoll(&connection, 1, &wait, nullptr) == 0 ? DisplayWait::quiet : DisplayWait::input;
}

void SystemSettle() {
    if (x11.display) XSync(x11.display, False);
}

namespace {

struct X11Direct {
    Display* display = nullptr;
    ::Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    XShmSegmentInfo shm{};
    bool attach_failed = false;
};

X11Direct direct;

int on_attach_error(Display*, XErrorEvent*) {
    direct.attach_failed = true;
    return 0;
}

// With the window lost the server is not asked for anything; our side is let go.
void release_image() {
    if (!direct.image) return;
    if (!x11.lost) {
        XShmDetach(direct.display, &direct.shm);
        XSync(direct.display, False);
    }
    direct.image->data = nullptr;
    XDestroyImage(direct.image);
    shmdt(direct.shm.shmaddr);
    direct.image = nullptr;
    direct.shm = XShmSegmentInfo{};
}

}  // namespace

bool X11DirectOpen(SDL_Window* window) {
    X11DirectClose();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    Display* display = info.info.x11.display;
    if (!XShmQueryExtension(display)) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, info.info.x11.window, &attributes)) return false;
    Visual* v = attributes.visual;
    if (attributes.depth != 24 || v->red_mask != 0xff0000 || v->green_mask != 0xff00 || v->blue_mask != 0xff) {
        return false;
    }
    direct.display = display;
    direct.window = info.info.x11.window;
    direct.visual = v;
    direct.depth = attributes.depth;
    direct.gc = XCreateGC(display, direct.window, 0, nullptr);
    // A display on another machine cannot share memory with us: find out now.
    int pitch = 0;
    bool fresh = false;
    if (!X11DirectPixels(std::max(attributes.width, 1), std::max(attributes.height, 1), &pitch, &fresh)) {
        X11DirectClose();
        return false;
    }
    return true;
}

uint32_t* X11DirectPixels(int w, int h, int* pitch_words, bool* fresh) {
    if (!direct.display || w <= 0 || h <= 0) return nullptr;
    *fresh = false;
    if (direct.image && (direct.image->width != w || direct.image->height != h)) release_image();
    if (!direct.image) {
        XImage* image = XShmCreateImage(direct.display, direct.visual, unsigned(direct.depth), ZPixmap, nullptr,
                                        &direct.shm, unsigned(w), unsigned(h));
        if (!image) return nullptr;
        if (image->bits_per_pixel != 32 || image->byte_order != LSBFirst) {
            XDestroyImage(image);
            return nullptr;
        }
        direct.shm.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * unsigned(h), IPC_CREAT | 0600);
        if (direct.shm.shmid < 0) {
            XDestroyImage(image);
            return nullptr;
        }
        direct.shm.shmaddr = image->data = static_cast<char*>(shmat(direct.shm.shmid, nullptr, 0));
        direct.shm.readOnly = False;
        direct.attach_failed = false;
        XErrorHandler previous = XSetErrorHandler(on_attach_error);
        Status attached = XShmAttach(direct.display, &direct.shm);
        XSync(direct.display, False);
        XSetErrorHandler(previous);
        // Marked for removal now: it goes when both sides have let go, even after a crash.
        shmctl(direct.shm.shmid, IPC_RMID, nullptr);
        if (!attached || direct.attach_failed || direct.shm.shmaddr == reinterpret_cast<char*>(-1)) {
            if (direct.shm.shmaddr != reinterpret_cast<char*>(-1)) shmdt(direct.shm.shmaddr);
            image->data = nullptr;
            XDestroyImage(image);
            direct.shm = XShmSegmentInfo{};
            return nullptr;
        }
        std::memset(image->data, 0, size_t(image->bytes_per_line) * unsigned(h));
        direct.image = image;
        *fresh = true;
    }
    *pitch_words = direct.image->bytes_per_line / 4;
    return reinterpret_cast<uint32_t*>(direct.image->data);
}

void X11DirectPut(int x, int y, int w, int h) {
    if (!direct.image || x11.lost) return;
    x = std::clamp(x, 0, direct.image->width);
    y = std::clamp(y, 0, direct.image->height);
    w = std::min(w, direct.image->width - x);
    h = std::min(h, direct.image->height - y);
    if (w <= 0 || h <= 0) return;
    XShmPutImage(direct.display, direct.window, direct.gc, direct.image, x, y, x, y, unsigned(w), unsigned(h), False);
    // The pixels are ours to change again once the server has copied them.
    XSync(direct.display, False);
}

void X11DirectClose() {
    if (!direct.display) return;
    release_image();
    if (!x11.lost) XFreeGC(direct.display, direct.gc);
    direct = X11Direct{};
}
