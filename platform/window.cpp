#include "platform/window.h"

#include <algorithm>
#include <array>
#include <utility>

#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>

#include <malloc.h>
#include <time.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/draw.h"
#include "platform/draw_state.h"
#include "platform/input_internal.h"
#include "platform/options.h"
#include "platform/present_cpu.h"
#include "platform/renderer.h"
#include "platform/script.h"
#include "platform/window_x11.h"

namespace {

// Frames whose work the late reading remembers.
constexpr int kCostFrames = 60;
// Frames in a row that showed nothing new, after which the wait listens to the display.
constexpr int kRestingFrames = 2;

struct WindowState {
    std::string title;
    std::string error;
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
    int seq = 0;
    int swap_interval = -2;  // what the context was last told; -2 unknown
    // Presenting without GL (see direct_present_wanted).
    bool direct = false;
    SoftScaler scaler;
    int scaled_w = 0, scaled_h = 0;  // the window size the scaler is set up for
    WindowArea changed;              // the window pixels the last enlargement wrote
    bool put_whole = false;          // the window has lost what was put on it before
    std::vector<uint32_t> words;
    // Clock pacing.
    bool soft_sync = false;
    int sync_rate = 0, sync_period = 0, sync_fraction = 0, sync_accumulator = 0, sync_time = 0;
    // The first frames test whether the display paces them (see probe_flip).
    bool probing = false;
    int probe_steady = 0, probe_unsteady = 0;
    uint64_t probe_start = 0, probe_last = 0;
    int flip_count = 0;
    std::vector<std::function<void()>> flip_hooks;
    std::vector<std::function<void()>> end_hooks;
    int exit_code = 0;
    bool full_screen = false;
    int full_screen_toggles = 0;
    // Headless clock.
    int virtual_ms = 0;
    int waited_since_flip = 0;
    // Reading late (WaitForFrame): the frame's wait is done and its present is due at
    // `due`; its work began at `woke`. Recent frames' costs and sleeps' lateness, in ms.
    bool waited = false;
    uint64_t due = 0, woke = 0, last_present = 0;
    double costs[kCostFrames] = {}, lateness[kCostFrames] = {};
    int samples = 0;
    // What the window shows: the picture's serial and the drawable's size at the last
    // present. A paced frame whose picture is the one shown is not presented again
    // (`repeat`), unless WHIRLBAT_PRESENT_EVERY_FRAME=1 asks for every frame.
    bool shown = false;
    uint64_t shown_serial = 0;
    int shown_w = 0, shown_h = 0;
    bool repeat = false;
    int resting = 0;  // frames in a row that were not presented, having nothing new
    bool joined = false;  // the frame at rest was run just before the next one
    bool ahead = false;   // input ended the frame's wait before its time
    bool present_every_frame = false;
};

WindowState win;

// The connection to the display is gone and nothing may touch it again: finish the
// traces and the sound, and go, as a close request would have ended the game.
[[noreturn]] void end_without_display() {
    std::fprintf(stderr, "rc-whirlbat: the connection to the display was closed; ending\n");
    auto hooks = std::move(win.end_hooks);
    win.end_hooks.clear();
    for (auto& hook : hooks) hook();
    AudioShutdown();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
}

// A busy wait that the script will never end would spin forever; a minute of virtual
// waiting without a frame and with nothing left in the script ends the run instead.
constexpr int kHopelessWaitMs = 60000;

void set_swap_interval(int interval) {
    if (win.swap_interval == interval) return;
    win.swap_interval = interval;
    SDL_GL_SetSwapInterval(interval);
}

// The real clock is the performance counter; MilliSecs counts whole milliseconds of it
// from the program's start, and Flip waits for exact counter values.
struct RealClock {
    uint64_t epoch = SDL_GetPerformanceCounter();
    uint64_t freq = SDL_GetPerformanceFrequency();
};

const RealClock& real_clock() {
    static const RealClock clock;
    return clock;
}

// Reads the counter after the clock's start is fixed, so never before it.
uint64_t counter_now() {
    real_clock();
    return SDL_GetPerformanceCounter();
}

double counter_ms(uint64_t counts) { return double(counts) * 1000.0 / double(real_clock().freq); }

uint64_t ms_counts(double ms) { return uint64_t(ms / 1000.0 * double(real_clock().freq)); }

uint64_t elapsed_ms(uint64_t counter) { return (counter - real_clock().epoch) * 1000 / real_clock().freq; }

// The counter value at which MilliSecs() reaches ms.
uint64_t counter_at(int ms) {
    const RealClock& c = real_clock();
    uint64_t now = elapsed_ms(counter_now());
    uint64_t target = now + uint64_t(int64_t(ms - int(uint32_t(now))));
    return c.epoch + (target * c.freq + 999) / 1000;
}

// A sleep wakes a little late (tens of microseconds on an idle machine): sleep most of
// the way and spin the last stretch. The spin is short because every millisecond of it
// is a millisecond of CPU each frame; a wake-up later than that on a busy machine is a
// preemption, which no spin can prevent.
constexpr double kSpinMs = 0.3;

// A plain sleep to the due time, for a frame that presents nothing: waking a little
// late delays no picture.
void sleep_until(uint64_t due) {
    uint64_t now = counter_now();
    if (now < due) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(counter_ms(due - now)));
}

void wait_until(uint64_t due) {
    for (;;) {
        uint64_t now = counter_now();
        if (now >= due) return;
        double left = counter_ms(due - now);
        if (left > kSpinMs) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(left - kSpinMs));
    }
}

// Where OpenGL draws on the CPU, a textured full-window drawing costs the rasteriser
// many times what enlarging the picture in plain code and handing the pixels to the X
// server does, so the picture is read back and presented that way. WHIRLBAT_PRESENT
// chooses: "gl" always through OpenGL, "cpu" always without it where the display allows.
bool direct_present_wanted() {
    const char* choice = std::getenv("WHIRLBAT_PRESENT");
    if (choice && std::strcmp(choice, "gl") == 0) return false;
    if (choice && std::strcmp(choice, "cpu") == 0) return true;
    return RendererIsSoftware();
}

// The picture enlarged into the shared pixels; the black bars are drawn once, when the
// pixels are new. Only the pixels that changed are put on the window, unless the window
// is new or was uncovered.
bool prepare_direct(int dw, int dh) {
    int pitch = 0;
    bool fresh = false;
    uint32_t* pixels = X11DirectPixels(dw, dh, &pitch, &fresh);
    if (!pixels) return false;
    if (fresh || win.scaled_w != dw || win.scaled_h != dh) {
        int x, y, w, h;
        RendererFitRect(dw, dh, &x, &y, &w, &h);
        SoftScalerSetup(win.scaler, win.width, win.height, x, y, w, h);
        win.scaled_w = dw;
        win.scaled_h = dh;
        win.put_whole = true;
    }
    RendererReadPictureWords(win.words);
    // GL's rows run bottom to top: start at the last and step back.
    win.changed = SoftScale(win.scaler, win.words.data() + size_t(win.height - 1) * size_t(win.width),
                            -long(win.width), pixels, pitch);
    if (std::exchange(win.put_whole, false)) win.changed = WindowArea{0, 0, dw, dh};
    // A probe that counts puts as frames still sees one for a frame that changed nothing.
    if (win.changed.w == 0 && win.present_every_frame) win.changed = WindowArea{0, 0, 1, 1};
    return true;
}

// Draws the picture into the window's back buffer and lets GL finish it, so that all
// that is left at the frame's due time is the swap: the cost of drawing then counts as
// the frame's own lateness instead of delaying its presentation, and a slow frame moves
// the schedule rather than bunching with the next one. False if there is no window, or
// (with may_repeat) if the window already shows this very picture at this size: then
// win.repeat is set and nothing is drawn or presented, so a screen at rest costs
// almost nothing.
bool prepare(bool vsync, bool may_repeat = false) {
    RendererFlush();
    win.repeat = false;
    if (engine_options.headless || !win.window || X11WindowLost()) return false;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(win.window, &dw, &dh);
    RendererSubmit();
    if (may_repeat && win.shown && !win.present_every_frame && win.shown_serial == RendererPictureSerial() &&
        win.shown_w == dw && win.shown_h == dh) {
        win.repeat = true;
        return false;
    }
    win.shown_serial = RendererPictureSerial();
    win.shown_w = dw;
    win.shown_h = dh;
    if (win.direct) {
        if (prepare_direct(dw, dh)) return true;
        // Shared memory refused at a new size: GL presents from now on.
        X11DirectClose();
        win.direct = false;
    }
    set_swap_interval(vsync ? 1 : 0);
    RendererPresent(dw, dh);
    glFinish();
    return true;
}

void swap(bool prepared) {
    if (!prepared) return;
    win.shown = true;
    if (win.direct) {
        X11DirectPut(win.changed.x, win.changed.y, win.changed.w, win.changed.h);
        return;
    }
    SDL_GL_SwapWindow(win.window);
    RendererResumeDrawing();
}

void present(bool vsync) { swap(prepare(vsync)); }

void close_graphics() {
    if (!win.window) return;
    X11DirectClose();
    win.direct = false;
    RendererShutdown();
    if (win.gl) SDL_GL_DeleteContext(win.gl);
    SDL_DestroyWindow(win.window);
    X11Settle();
    win.gl = nullptr;
    win.window = nullptr;
    win.shown = false;
    win.width = win.height = win.depth = win.hertz = win.flags = 0;
    win.swap_interval = -2;
}

// The schedule: 16, 17, 17 ms at 60 Hz, exactly hertz frames a second.
void step_schedule(int& time, int& accumulator) {
    time += win.sync_period;
    accumulator += win.sync_fraction;
    if (accumulator >= win.sync_rate) {
        accumulator -= win.sync_rate;
        time += 1;
    }
}

void advance_schedule() { step_schedule(win.sync_time, win.sync_accumulator); }

// Headless: the virtual clock jumps to the frame's due time.
void paced_flip_virtual() {
    advance_schedule();
    int d = win.sync_time - MilliSecs();
    if (d > 0) {
        Delay(d);
    } else {
        // A late frame moves the schedule instead of catching up.
        win.sync_time = MilliSecs();
    }
    present(false);
}

// A frame read late: what its work cost from the wake to the picture's present, less
// the wait for the due time in between.
void note_cost(double ms) {
    win.costs[win.samples % kCostFrames] = ms;
    win.samples++;
}

void paced_flip() {
    bool late_read = std::exchange(win.waited, false);
    if (!late_read) advance_schedule();
    bool ready = prepare(false, true);
    uint64_t prepared = counter_now();
    int d = win.sync_time - MilliSecs();
    if (win.repeat) {
        // Nothing to show: the frame only keeps its time (a frame read late keeps it by
        // the next frame's wait, so it wakes once), and its cheap work teaches the late
        // reading nothing about what a drawn frame costs. One run together with the next
        // is late by design and keeps the schedule.
        if (d <= 0 && !win.joined) win.sync_time = MilliSecs();
        else if (!late_read) sleep_until(counter_at(win.sync_time));
        return;
    }
    if (d <= 0) {
        // A late frame moves the schedule instead of catching up.
        win.sync_time = MilliSecs();
    } else if (!late_read) {
        wait_until(counter_at(win.sync_time));
    }
    // A frame read late was woken just in time for its work to end at the due time: it
    // is presented at once, so the reading it shows is as fresh as it can be.
    uint64_t before_swap = counter_now();
    swap(ready);
    if (late_read) note_cost(counter_ms(prepared - win.woke) + counter_ms(counter_now() - before_swap));
}

// How long before the due time a frame read late must wake: what the recent frames'
// work cost, leaving out the dearest few (a preemption now and then is no reason to
// read every frame early; that frame just moves the schedule), and a margin of half a
// millisecond plus how late recent sleeps woke. With no history yet, a whole period (the
// frame reads at once, as without the late reading).
double wake_budget_ms(double period) {
    if (win.samples < kCostFrames / 2) return period;
    int n = std::min(win.samples, kCostFrames);
    // Asked every frame, a screen at rest included: no allocation, no full sort.
    auto ninth_tenth = [n](const double* samples) {
        std::array<double, kCostFrames> v;
        std::copy_n(samples, n, v.begin());
        std::nth_element(v.begin(), v.begin() + n * 9 / 10, v.begin() + n);
        return v[size_t(n * 9 / 10)];
    };
    return std::min(period, ninth_tenth(win.costs) + 0.5 + std::min(ninth_tenth(win.lateness), 4.0));
}

// The display paces frames itself when presentations that wait for the vertical blank
// come one refresh period apart, three in a row, and each swap was held back for at
// least half a period (a slow software renderer can take a period without waiting for
// anything). The first real frames are the test, so it delays no picture; until it is
// decided each frame that was not held back waits out the clock's schedule. After a
// second, or ten unsteady frames in a row, the clock paces for good.
constexpr double kProbeSeconds = 1.0;
constexpr int kProbeGiveUp = 10;

void probe_flip() {
    advance_schedule();
    bool ready = prepare(true);
    uint64_t t0 = counter_now();
    if (!win.probe_start) win.probe_start = t0;
    swap(ready);
    uint64_t t1 = counter_now();
    double period = win.sync_period;
    double interval = win.probe_last ? counter_ms(t1 - win.probe_last) : 0;
    bool steady = interval >= period - 1 && interval <= period + 1 && counter_ms(t1 - t0) >= period / 2;
    win.probe_last = t1;
    if (steady) {
        win.probe_unsteady = 0;
        win.sync_time = MilliSecs();
        if (++win.probe_steady == 3) {
            win.soft_sync = false;
            win.probing = false;
        }
        return;
    }
    win.probe_steady = 0;
    int d = win.sync_time - MilliSecs();
    if (d > 0) wait_until(counter_at(win.sync_time));
    else win.sync_time = MilliSecs();
    if (!ready || ++win.probe_unsteady >= kProbeGiveUp || counter_ms(t1 - win.probe_start) >= kProbeSeconds * 1000) {
        win.probing = false;
    }
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

SDL_Rect window_rect_for(int width, int height) {
    // Twice the picture, or the largest whole multiple that fits the desktop.
    SDL_Rect usable{0, 0, width * 2, height * 2};
    SDL_GetDisplayUsableBounds(0, &usable);
    int scale = 2;
    while (scale > 1 && (width * scale > usable.w * 9 / 10 || height * scale > usable.h * 9 / 10)) --scale;
    return SDL_Rect{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * scale, height * scale};
}

// A closed terminal (SIGHUP) ends the game as SIGTERM does, through whatever handles
// SIGTERM: SDL's close request once it runs, the default before.
void on_hangup(int) { raise(SIGTERM); }

void forward_hangup() {
    struct sigaction before {};
    sigaction(SIGHUP, nullptr, &before);
    if (before.sa_handler == SIG_IGN) return;  // started with nohup: it stays ignored
    struct sigaction action {};
    action.sa_handler = on_hangup;
    sigemptyset(&action.sa_mask);
    sigaction(SIGHUP, &action, nullptr);
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
        SDL_SetWindowSize(win.window, rect.w, rect.h);
        SDL_SetWindowPosition(win.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

bool FullScreen() { return win.full_screen; }

int FullScreenToggles() { return win.full_screen_toggles; }

void AppTitle(const std::string& title) {
    win.title = title;
    if (win.window) SDL_SetWindowTitle(win.window, title.c_str());
}

bool Graphics(int width, int height, int depth, int hertz, int flags) {
    close_graphics();
    win.error.clear();
    // Before the renderer's and the sound's threads start: each thread that allocates
    // would otherwise get a heap of its own, which keeps what it once held (megabytes of
    // resident memory for a thread that decoded a sound at start-up).
    mallopt(M_ARENA_MAX, 2);
    // Blocks of 512 KB and more (decoded pictures and sounds, the loaders' buffers) get
    // pages of their own that go back to the system when freed. Left to itself the
    // threshold climbs after the first large free, and start-up's large temporaries then
    // stay behind in the heap for good (4 MB in some runs). Lower, the software
    // renderer's buffers of a few hundred KB would be mapped and unmapped at every draw.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
    if (engine_options.headless) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        win.error = SDL_GetError();
        return false;
    }
    forward_hangup();
    if (!engine_options.headless && fell_back_to_invisible_driver()) {
        win.error = std::string("no display server answered, only SDL's invisible ") + SDL_GetCurrentVideoDriver() +
                    " driver";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    Uint32 window_flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
    SDL_Rect rect{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height};
    win.full_screen = depth != 0 && !engine_options.windowed;
    if (!engine_options.headless) {
        if (depth != 0 && !engine_options.windowed) {
            // Desktop full screen: the monitor keeps its mode. The window is made the size
            // of the desktop from the start, so it covers the screen even where no window
            // manager carries out the full-screen request.
            window_flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
            SDL_DisplayMode desktop;
            if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) rect = SDL_Rect{0, 0, desktop.w, desktop.h};
        } else {
            window_flags |= SDL_WINDOW_RESIZABLE;
            rect = window_rect_for(width, height);
        }
    }
    win.window = SDL_CreateWindow(win.title.c_str(), rect.x, rect.y, rect.w, rect.h, window_flags);
    if (!win.window) {
        win.error = SDL_GetError();
        return false;
    }
    // A program that ends without End still must not touch GL while the libraries
    // behind it are being torn down: images released after this find no renderer.
    static bool registered = false;
    if (!registered) {
        std::atexit([] { RendererShutdown(); });
        registered = true;
    }
    if (!engine_options.headless) X11WatchWindow(win.window, end_without_display);
    win.gl = SDL_GL_CreateContext(win.window);
    if (!win.gl || !RendererInit(width, height)) {
        win.error = win.gl ? "the OpenGL driver offers no off-screen framebuffer" : SDL_GetError();
        close_graphics();
        return false;
    }
    win.direct = !engine_options.headless && direct_present_wanted() && X11DirectOpen(win.window);
    const char* every = std::getenv("WHIRLBAT_PRESENT_EVERY_FRAME");
    win.present_every_frame = every && std::strcmp(every, "1") == 0;
    win.scaled_w = win.scaled_h = 0;
    win.seq = win.seq + 1 == 0 ? 1 : win.seq + 1;
    win.width = width;
    win.height = height;
    win.depth = depth;
    win.hertz = hertz;
    win.flags = flags | 2;
    DrawStateApply();
    for (int i = 0; i < 2; ++i) {
        Cls();
        present(false);
    }
    // Pace by the clock unless the display proves with the first frames that it paces
    // them steadily itself. Headless there is no display to wait for.
    win.soft_sync = hertz != 0;
    win.probing = hertz != 0 && depth != 0 && !engine_options.headless;
    win.probe_steady = win.probe_unsteady = 0;
    win.probe_start = win.probe_last = 0;
    win.sync_rate = hertz;
    win.sync_period = hertz ? 1000 / hertz : 0;
    win.sync_fraction = 1000 - win.sync_period * hertz;
    win.sync_accumulator = 0;
    win.sync_time = MilliSecs();
    if (depth != 0) MoveMouse(width / 2, height / 2);
    InputWindowOpened();
    return true;
}

const std::string& GraphicsError() { return win.error; }
int GraphicsWidth() { return win.width; }
int GraphicsHeight() { return win.height; }
bool SoftSyncActive() { return win.soft_sync; }

void WaitForFrame() {
    if (engine_options.headless || !win.window || win.probing || win.depth == 0) return;
    double period = 1000.0 / double(win.hertz > 0 ? win.hertz : 60);
    uint64_t period_counts = ms_counts(period);
    uint64_t due, next_due;
    if (win.soft_sync) {
        advance_schedule();
        due = counter_at(win.sync_time);
        int next = win.sync_time, accumulator = win.sync_accumulator;
        step_schedule(next, accumulator);
        next_due = counter_at(next);
    } else {
        // The display paces: its next vertical blank comes a period after the last.
        if (!win.last_present) return;
        due = win.last_present + period_counts;
        next_due = due + period_counts;
    }
    uint64_t budget = ms_counts(wake_budget_ms(period));
    uint64_t wake = due > budget ? due - budget : 0;
    // At rest the wait listens to the display. A key or a click ends it at once: the
    // frame reads it and is presented as soon as it is drawn, which bunches with no other
    // present, as the last ones showed nothing. A wait that heard nothing spares the
    // frame's reading a question to the display. A frame read early is ahead of its time;
    // the next one waits for its own, so that a stream of events that change nothing
    // (a modifier held down) cannot run the game fast.
    bool listen = win.resting >= kRestingFrames && !win.ahead && X11Listening();
    // Where nothing but the display can bring input (no pad is open), a frame at rest is
    // run together with the next one, just before it: one wake for two frames. A frame
    // that runs so turns out to show something now and then (a screen that changes on its
    // own); it is presented then at once, a frame late, and moves the schedule.
    win.joined = listen && !win.joined && !InputPadsOpen();
    uint64_t own_wake = wake;
    if (win.joined) wake = next_due > budget ? next_due - budget : 0;
    uint64_t now = counter_now();
    double& lateness = win.lateness[win.samples % kCostFrames];
    lateness = 0;
    win.ahead = false;
    if (listen) {
        DisplayWait heard = X11WaitForInput(now < wake ? counter_ms(wake - now) : 0);
        if (heard == DisplayWait::quiet) InputDisplayQuiet();
        now = counter_now();
        if (heard == DisplayWait::quiet && now > wake) lateness = counter_ms(now - wake);
        win.ahead = heard == DisplayWait::input && now < own_wake;
    } else if (now < wake) {
        // A plain sleep: the margin allows for its waking late, so no spin is needed here.
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(counter_ms(wake - now)));
        now = counter_now();
        lateness = counter_ms(now - wake);
    }
    win.waited = true;
    win.due = due;
    win.woke = now;
}

void Flip(int sync) {
    if (sync != -1) {
        win.waited = false;
        present(sync != 0);
    } else if (!win.soft_sync) {
        bool late_read = std::exchange(win.waited, false);
        bool ready = prepare(win.depth != 0, true);
        uint64_t prepared = counter_now();
        if (win.repeat) {
            // The display would have taken a picture at its next vertical blank.
            uint64_t period = uint64_t(double(real_clock().freq) / double(win.hertz > 0 ? win.hertz : 60));
            uint64_t next = late_read ? win.due : win.last_present + period;
            if (!late_read) sleep_until(next);
            win.last_present = next;
            late_read = false;
        } else {
            swap(ready);
            win.last_present = counter_now();
        }
        // The swap waits for the vertical blank: the cost is the work before it.
        if (late_read) note_cost(counter_ms(prepared - win.woke));
    } else if (engine_options.headless) {
        paced_flip_virtual();
    } else if (win.probing) {
        probe_flip();
    } else {
        paced_flip();
    }
    win.resting = win.repeat ? win.resting + 1 : 0;
    win.flip_count++;
    win.waited_since_flip = 0;
    for (auto& hook : win.flip_hooks) hook();
    ScriptPoll();
}

int FlipCount() { return win.flip_count; }

void WindowExposed() {
    win.put_whole = true;
    if (win.flip_count > 0) present(false);
}

void AddFlipHook(std::function<void()> hook) { win.flip_hooks.push_back(std::move(hook)); }

int MilliSecs() {
    if (engine_options.headless) return win.virtual_ms;
    return int(uint32_t(elapsed_ms(counter_now())));
}

uint32_t SystemMilliSecs() {
    // CLOCK_MONOTONIC stops while the machine sleeps; the boot-time clock does not.
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return uint32_t(uint64_t(t.tv_sec) * 1000u + uint64_t(t.tv_nsec) / 1000000u);
}

void Delay(int ms) {
    if (ms <= 0) return;
    if (!engine_options.headless) {
        SDL_Delay(Uint32(ms));
        return;
    }
    win.virtual_ms += ms;
    win.waited_since_flip += ms;
    AudioClockAdvanced(win.virtual_ms);
    ScriptPoll();
    if (win.waited_since_flip > kHopelessWaitMs && ScriptActive() && !ScriptHasTimedActions()) {
        std::fprintf(stderr,
                     "rc-whirlbat: the game has waited %d ms for input after frame %d and the script "
                     "has nothing more to give; stopping\n",
                     win.waited_since_flip, win.flip_count);
        EndWithCode(3);
    }
}

int VirtualWaitSinceFlip() { return win.waited_since_flip; }

int AppSuspended() { return InputSuspended() ? 1 : 0; }

// A window destroyed from outside stands for a close request from then on.
int AppTerminate() { return InputTakeTerminate() || X11WindowLost() ? 1 : 0; }

int AppQuitPending() { return InputQuitPending() || X11WindowLost() ? 1 : 0; }

void HideMouse() {
    if (win.window && !engine_options.headless) SDL_ShowCursor(SDL_DISABLE);
}

void ShowMouse() {
    if (win.window && !engine_options.headless) SDL_ShowCursor(SDL_ENABLE);
}

void MoveMouse(int x, int y) {
    InputSetMouse(x, y);
    if (win.window && !engine_options.headless) {
        int wx, wy;
        PictureToWindow(x, y, &wx, &wy);
        SDL_WarpMouseInWindow(win.window, wx, wy);
    }
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

void AddEndHook(std::function<void()> hook) { win.end_hooks.push_back(std::move(hook)); }

void EndWithCode(int code) { throw ProgramEnd{code}; }

int FinishProgram(int code) {
    auto hooks = std::move(win.end_hooks);
    win.end_hooks.clear();
    win.exit_code = code;
    for (auto& hook : hooks) hook();
    code = win.exit_code;
    AudioShutdown();
    close_graphics();
    InputShutdown();
    SDL_Quit();
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}

void End() { EndWithCode(0); }

void RaiseExitCode(int code) {
    if (code > win.exit_code) win.exit_code = code;
}
