#include "x11_client.h"

#include <X11/Xlib.h>

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
