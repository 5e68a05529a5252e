#include "platform/events.h"

#include <SDL2/SDL.h>

#include <chrono>
#include <thread>
#include <utility>

#include "platform/clock.h"
#include "platform/headless.h"
#include "platform/input_internal.h"
#include "platform/options.h"
#include "platform/pacer.h"
#include "platform/script.h"
#include "platform/window.h"
#include "platform/window_system.h"

namespace {

// A pump that leaves a quiet display unasked is made whole every this many times.
constexpr int kWholePumpEvery = 8;
// A busy wait that the script will never end would spin forever; a minute of virtual
// waiting without a frame and with nothing left in the script ends the run instead.
constexpr int kHopelessWaitMs = 60000;

struct EventState {
    bool suspended = false;
    bool terminate = false;
    bool exposed = false;        // the window must be shown again
    bool display_quiet = false;  // nothing came from the display since the last pump
    int light_pumps = 0;         // pumps in a row that left the display unasked
    std::function<void(double)> idle;
};

EventState ev;

void focus_changed(bool lost) {
    ev.suspended = lost;
    InputFlushKeys();
    InputFlushMouse();
}

// F11 and Alt+Enter switch between full screen and a window, wherever the game is; the
// press is the window's, not the game's.
bool window_key(const SDL_KeyboardEvent& key) {
    bool alt = (key.keysym.mod & KMOD_ALT) != 0;
    if (alt && key.keysym.sym == SDLK_F4) ev.terminate = true;
    bool alt_enter = alt && (key.keysym.sym == SDLK_RETURN || key.keysym.sym == SDLK_KP_ENTER);
    if (key.repeat || (key.keysym.sym != SDLK_F11 && !alt_enter)) return false;
    SetFullScreen(!FullScreen());
    return true;
}

void handle(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT: ev.terminate = true; break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) focus_changed(true);
            else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) focus_changed(false);
            else if (e.window.event == SDL_WINDOWEVENT_CLOSE) ev.terminate = true;
            else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) ev.exposed = true;
            break;
        case SDL_KEYDOWN:
            if (!window_key(e.key)) InputHandle(e);
            break;
        case SDL_MOUSEMOTION: {
            int x, y;
            WindowToPicture(e.motion.x, e.motion.y, &x, &y);
            InputMouseAt(x, y);
            break;
        }
        default: InputHandle(e); break;
    }
}

// Asking the display for events that are not there is most of what a frame at rest
// costs. After a wait that heard nothing from the display, only the open pads are read
// and the events SDL already holds taken; every eighth such pump is whole all the same,
// for what SDL looks after in it (pads plugged in, signals, the screen saver).
void pump() {
    InputStart();
    ScriptPoll(FlipCount(), MilliSecs());
    SDL_Event e;
    if (std::exchange(ev.display_quiet, false) && ++ev.light_pumps < kWholePumpEvery) {
        if (InputPadsOpen()) SDL_JoystickUpdate();
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) handle(e);
        return;
    }
    ev.light_pumps = 0;
    while (SDL_PollEvent(&e)) handle(e);
}

}  // namespace

void PumpEvents() {
    pump();
    if (ev.exposed) {
        ev.exposed = false;
        WindowUncovered(FlipCount() > 0);
    }
}

void FlushKeys() {
    pump();
    InputFlushKeys();
}

void FlushMouse() {
    pump();
    InputFlushMouse();
}

int JoyCount() {
    pump();
    return InputRebuildPads();
}

void MoveMouse(int x, int y) {
    InputMouseAt(x, y);
    WindowWarpPointer(x, y);
}

void WaitForFrame() {
    FrameWake plan = PlanFrameWait(SystemListening(), InputPadsOpen());
    if (!plan.wait) return;
    uint64_t now = ClockCounter();
    double lateness = 0;
    bool ahead = false;
    if (ev.idle) {
        // The idle work may return before its time: the rest is slept.
        if (now < plan.wake) ev.idle(CounterMs(plan.wake - now));
        now = ClockCounter();
        if (now < plan.wake) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(CounterMs(plan.wake - now)));
        now = ClockCounter();
        lateness = now > plan.wake ? CounterMs(now - plan.wake) : 0;
    } else if (plan.listen) {
        DisplayWait heard = SystemWaitForInput(now < plan.wake ? CounterMs(plan.wake - now) : 0);
        if (heard == DisplayWait::quiet) ev.display_quiet = true;
        now = ClockCounter();
        if (heard == DisplayWait::quiet && now > plan.wake) lateness = CounterMs(now - plan.wake);
        ahead = heard == DisplayWait::input && now < plan.own_wake;
    } else if (now < plan.wake) {
        // A plain sleep: the margin allows for its waking late, so no spin is needed here.
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(CounterMs(plan.wake - now)));
        now = ClockCounter();
        lateness = CounterMs(now - plan.wake);
    }
    FrameWaitEnded(now, ahead, lateness);
}

void SetFrameIdle(std::function<void(double ms)> idle) { ev.idle = std::move(idle); }

int AppSuspended() { return ev.suspended ? 1 : 0; }

int AppTerminate() { return std::exchange(ev.terminate, false) || WindowLost() ? 1 : 0; }

int AppQuitPending() { return ev.terminate || WindowLost() ? 1 : 0; }

std::string HopelessWait() {
    if (!engine_options.headless || HeadlessWaitedSinceFrame() <= kHopelessWaitMs || !ScriptActive() ||
        ScriptHasTimedActions())
        return "";
    return "the game has waited " + std::to_string(HeadlessWaitedSinceFrame()) + " ms for input after frame " +
           std::to_string(FlipCount()) + " and the script has nothing more to give; stopping";
}
