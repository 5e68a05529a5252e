#include "platform/process.h"

#include <SDL2/SDL.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Set once the program is on its way out: a console that is closing waits for it.
HANDLE ended = nullptr;

void push_quit() {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

// Windows calls this on a thread of its own. Ctrl+C and Ctrl+Break are asked once, as
// SIGTERM asks on Linux. A closed console, logging off and shutting down end the process
// as soon as this returns (or after five seconds): the request is made and the game
// given those seconds to finish.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: push_quit(); return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            push_quit();
            WaitForSingleObject(ended, 4500);
            return TRUE;
        default: return FALSE;
    }
}

// A program built for the desktop has no terminal of its own; started from one, its
// lines go to that terminal.
void attach_parent_console() {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

}  // namespace

void ProcessStart() {
    static bool started = false;
    if (started) return;
    started = true;
    attach_parent_console();
    ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atexit([] { SetEvent(ended); });
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void FatalError(const std::string& line, bool show) {
    std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str());
    std::fflush(stderr);
    if (!show) return;
    int n = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
    std::wstring text(size_t(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, text.data(), n);
    MessageBoxW(nullptr, text.c_str(), L"RC Whirlbat", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
