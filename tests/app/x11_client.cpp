#include "x11_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <random>

namespace {

::Window find_window(Display* d, const std::string& title) {
    ::Window root, parent, *children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name) {
            if (title == name) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

// What the window was damaged by so far is no picture of what comes next.
void forget_damage(Display* d, Damage damage) {
    XSync(d, False);
    XDamageSubtract(d, damage, None, None);
    XSync(d, False);
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
    }
}

// The window may be gone by now, and its damage object with it.
void close_with_damage(Display* d, Damage damage) {
    XErrorHandler before = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XDamageDestroy(d, damage);
    XSync(d, False);
    XSetErrorHandler(before);
    XCloseDisplay(d);
}

}  // namespace

bool LoseWindow(const std::string& display, const std::string& title, bool kill_client, std::string* error) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, false;
    ::Window w = find_window(d, title);
    if (w) {
        if (kill_client) XKillClient(d, w);
        else XDestroyWindow(d, w);
        XSync(d, False);
    } else {
        *error = "no window titled " + title;
    }
    XCloseDisplay(d);
    return w != 0;
}

bool CoverWindow(const std::string& display, const std::string& title, uint32_t rgb, int ms, std::string* error) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, false;
    ::Window w = find_window(d, title);
    if (!w) {
        *error = "no window titled " + title;
        XCloseDisplay(d);
        return false;
    }
    XWindowAttributes a;
    XGetWindowAttributes(d, w, &a);
    int x = 0, y = 0;
    ::Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    XSetWindowAttributes set{};
    set.override_redirect = True;  // no window manager: placed as asked
    set.background_pixel = rgb;
    ::Window cover = XCreateWindow(d, DefaultRootWindow(d), x, y, unsigned(a.width), unsigned(a.height), 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &set);
    XMapRaised(d, cover);
    XSync(d, False);
    usleep(useconds_t(ms) * 1000);
    XDestroyWindow(d, cover);
    XSync(d, False);
    XCloseDisplay(d);
    return true;
}

std::vector<uint32_t> GrabScreen(const std::string& display, int* w, int* h, std::string* error) {
    std::vector<uint32_t> words;
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, words;
    XWindowAttributes a;
    XGetWindowAttributes(d, DefaultRootWindow(d), &a);
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (image) {
        *w = a.width;
        *h = a.height;
        words.resize(size_t(a.width) * size_t(a.height));
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) words[size_t(y) * size_t(a.width) + size_t(x)] = uint32_t(XGetPixel(image, x, y)) & 0xffffff;
        }
        XDestroyImage(image);
    } else {
        *error = "cannot read the screen of " + display;
    }
    XCloseDisplay(d);
    return words;
}

int CountPictures(const std::string& display, const std::string& title, int ms, std::string* error) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, -1;
    int event_base = 0, error_base = 0;
    ::Window w = find_window(d, title);
    if (!w || !XDamageQueryExtension(d, &event_base, &error_base)) {
        *error = w ? "the X server has no DAMAGE extension" : "no window titled " + title;
        XCloseDisplay(d);
        return -1;
    }
    Damage damage = XDamageCreate(d, w, XDamageReportNonEmpty);
    // A new damage object finds the whole window damaged: that is no picture.
    forget_damage(d, damage);
    int pictures = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == event_base + XDamageNotify) {
                ++pictures;
                XDamageSubtract(d, damage, None, None);
            }
        }
        usleep(1000);
    }
    close_with_damage(d, damage);
    return pictures;
}

bool PressKeys(const std::string& display, const std::string& title, const std::vector<std::string>& keys,
               int gap_ms, std::string* error) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, false;
    int event, err, major, minor;
    if (!XTestQueryExtension(d, &event, &err, &major, &minor)) {
        XCloseDisplay(d);
        return *error = "the X server " + display + " has no XTest", false;
    }
    ::Window w = find_window(d, title);
    if (!w) {
        XCloseDisplay(d);
        return *error = "no window titled " + title, false;
    }
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    bool ok = true;
    for (const std::string& key : keys) {
        std::vector<KeyCode> held;
        size_t at = 0;
        while (ok) {
            size_t plus = key.find('+', at);
            std::string name = key.substr(at, plus == std::string::npos ? std::string::npos : plus - at);
            KeyCode code = XKeysymToKeycode(d, XStringToKeysym(name.c_str()));
            if (!code) {
                *error = "no key called " + name;
                ok = false;
                break;
            }
            held.push_back(code);
            if (plus == std::string::npos) break;
            at = plus + 1;
        }
        if (!ok) break;
        for (KeyCode code : held) XTestFakeKeyEvent(d, code, True, CurrentTime);
        XSync(d, False);
        usleep(useconds_t(gap_ms) * 500);
        for (auto it = held.rbegin(); it != held.rend(); ++it) XTestFakeKeyEvent(d, *it, False, CurrentTime);
        XSync(d, False);
        usleep(useconds_t(gap_ms) * 500);
    }
    XCloseDisplay(d);
    return ok;
}

std::vector<double> KeyToPictureMs(const std::string& display, const std::string& title,
                                   const std::vector<std::string>& keys, int gap_ms, std::string* error) {
    using Clock = std::chrono::steady_clock;
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, std::vector<double>{};
    int event, err, major, minor, damage_event = 0, damage_error = 0;
    ::Window w = find_window(d, title);
    if (!w || !XTestQueryExtension(d, &event, &err, &major, &minor) ||
        !XDamageQueryExtension(d, &damage_event, &damage_error)) {
        *error = !w ? "no window titled " + title : "the X server " + display + " lacks XTest or DAMAGE";
        XCloseDisplay(d);
        return {};
    }
    Damage damage = XDamageCreate(d, w, XDamageReportNonEmpty);
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    // Waits up to `ms` for a picture; the time it came, or none.
    auto picture = [&](double ms) -> Clock::time_point {
        auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
        for (;;) {
            while (XPending(d)) {
                XEvent e;
                XNextEvent(d, &e);
                if (e.type == damage_event + XDamageNotify) return Clock::now();
            }
            auto now = Clock::now();
            if (now >= end) return Clock::time_point{};
            pollfd p{ConnectionNumber(d), POLLIN, 0};
            poll(&p, 1, int(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count()) + 1);
        }
    };
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> part(0, 17);
    std::vector<double> ms;
    for (const std::string& key : keys) {
        KeyCode code = XKeysymToKeycode(d, XStringToKeysym(key.c_str()));
        if (!code) {
            *error = "no key called " + key;
            ms.clear();
            break;
        }
        usleep(useconds_t(gap_ms + part(rng)) * 1000);
        forget_damage(d, damage);
        auto pressed = Clock::now();
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XFlush(d);
        auto shown = picture(1000);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
        XFlush(d);
        if (shown == Clock::time_point{}) {
            *error = "no picture came within a second of pressing " + key;
            ms.clear();
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(shown - pressed).count());
    }
    close_with_damage(d, damage);
    return ms;
}

bool WindowSize(const std::string& display, const std::string& title, int* w, int* h, std::string* error) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, false;
    ::Window win = find_window(d, title);
    if (win) {
        XWindowAttributes a;
        XGetWindowAttributes(d, win, &a);
        *w = a.width;
        *h = a.height;
    } else {
        *error = "no window titled " + title;
    }
    XCloseDisplay(d);
    return win != 0;
}

bool ResizeWindow(const std::string& display, const std::string& title, int w, int h, std::string* error) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return *error = "cannot open display " + display, false;
    ::Window win = find_window(d, title);
    if (win) {
        XResizeWindow(d, win, unsigned(w), unsigned(h));
        XSync(d, False);
    } else {
        *error = "no window titled " + title;
    }
    XCloseDisplay(d);
    return win != 0;
}
