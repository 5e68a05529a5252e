// Windows' side of platform/window_system.h: the window's end with the session, the
// wait on the window's messages, and no present path beside OpenGL's (OpenGL presents).
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <windows.h>

#include "platform/window_system.h"

namespace {

struct Win32Watch {
    HWND window = nullptr;
    WNDPROC previous = nullptr;
    void (*on_lost)(const char* line) = nullptr;
};

Win32Watch watch;

// Logging off or shutting down: Windows asks every window whether it may (yes), then
// ends the process soon after telling it so. The game ends there and then, as a close
// request would end it (the recording completed, goodbye said online).
LRESULT CALLBACK watch_messages(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION && wparam && watch.on_lost) watch.on_lost("Windows is ending the session; ending");
    return CallWindowProcW(watch.previous, hwnd, message, wparam, lparam);
}

}  // namespace

// SDL has no offscreen driver on Windows: a hidden window of its own driver (OpenGL through
// WGL), whatever SDL_VIDEODRIVER says.
const char* SystemHeadlessDriver() { return "windows"; }

void SystemWatchWindow(SDL_Window* window, void (*on_lost)(const char* line)) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WINDOWS) return;
    watch.window = info.info.win.window;
    watch.on_lost = on_lost;
    watch.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(watch.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watch_messages)));
}

// A window destroyed from outside reaches SDL as a close request.
bool SystemWindowLost() { return false; }

void SystemSettle() { watch = Win32Watch{}; }

bool SystemListening() { return watch.window != nullptr; }

DisplayWait SystemWaitForInput(double ms) {
    if (!SystemListening()) return DisplayWait::unwatched;
    DWORD wait = ms > 0 ? DWORD(ms + 0.999) : 0;  // whole milliseconds, never short
    DWORD woke = MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return woke == WAIT_TIMEOUT ? DisplayWait::quiet : DisplayWait::input;
}

bool SystemPresentWanted() { return false; }
bool SystemPresentOpen(SDL_Window*) { return false; }
bool SystemPresentPrepare(int, int, int, int, bool) { return false; }
void SystemPresentShow() {}
void SystemPresentWhole() {}
void SystemPresentClose() {}
