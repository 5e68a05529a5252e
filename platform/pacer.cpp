#include "platform/pacer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/headless.h"
#include "platform/options.h"
#include "platform/window.h"

namespace {

// Frames whose work the late reading remembers.
constexpr int kCostFrames = 60;
// Frames in a row that showed nothing new, after which the wait listens to the display.
constexpr int kRestingFrames = 2;
// A headless frame paced in real time that is this far behind its time moves the
// schedule instead of catching up.
constexpr double kRealTimeSlackMs = 100;

struct PacerState {
    int hertz = 0, depth = 0;
    // Clock pacing.
    bool soft_sync = false;
    int sync_rate = 0, sync_period = 0, sync_fraction = 0, sync_accumulator = 0, sync_time = 0;
    int longer_ms = 0;  // added to the next frame
    // The first frames test whether the display paces them (see probe_flip).
    bool probing = false;
    int probe_steady = 0, probe_unsteady = 0;
    uint64_t probe_start = 0, probe_last = 0;
    int flip_count = 0;
    std::vector<std::function<void()>> flip_hooks;
    // Reading late (WaitForFrame): the frame's wait is done and its present is due at
    // `due`; its work began at `woke`. Recent frames' costs and sleeps' lateness, in ms.
    bool waited = false;
    uint64_t due = 0, woke = 0, last_present = 0;
    double costs[kCostFrames] = {}, lateness[kCostFrames] = {};
    int samples = 0;
    int resting = 0;      // frames in a row that were not presented, having nothing new
    bool joined = false;  // the frame at rest was run just before the next one
    bool ahead = false;   // input ended the frame's wait before its time
    // Headless frames kept to the real clock (online play).
    bool real_time = false;
    uint64_t real_due = 0;
};

PacerState pace;

// A sleep wakes a little late (tens of microseconds on an idle machine): sleep most of
// the way and spin the last stretch. The spin is short because every millisecond of it
// is a millisecond of CPU each frame; a wake-up later than that on a busy machine is a
// preemption, which no spin can prevent.
constexpr double kSpinMs = 0.3;

// A plain sleep to the due time, for a frame that presents nothing: waking a little
// late delays no picture.
void sleep_until(uint64_t due) {
    uint64_t now = ClockCounter();
    if (now < due) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(CounterMs(due - now)));
}

void wait_until(uint64_t due) {
    for (;;) {
        uint64_t now = ClockCounter();
        if (now >= due) return;
        double left = CounterMs(due - now);
        if (left > kSpinMs) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(left - kSpinMs));
    }
}

double period_ms() { return 1000.0 / double(pace.hertz > 0 ? pace.hertz : 60); }

// The schedule: 16, 17, 17 ms at 60 Hz, exactly hertz frames a second, and whatever a
// frame was asked to last longer.
void step_schedule(int& time, int& accumulator) {
    time += pace.sync_period;
    accumulator += pace.sync_fraction;
    if (accumulator >= pace.sync_rate) {
        accumulator -= pace.sync_rate;
        time += 1;
    }
}

// Headless, the virtual clock keeps the plain schedule: a frame asked to last longer
// lasts longer on the real clock (plan_real_time).
void advance_schedule() {
    step_schedule(pace.sync_time, pace.sync_accumulator);
    if (!engine_options.headless) pace.sync_time += std::exchange(pace.longer_ms, 0);
}

// Headless: the virtual clock jumps to the frame's due time.
void paced_flip_virtual() {
    advance_schedule();
    int d = pace.sync_time - MilliSecs();
    if (d > 0) {
        Delay(d);
    } else {
        // A late frame moves the schedule instead of catching up.
        pace.sync_time = MilliSecs();
    }
    WindowPresentNow(false);
}

// A frame read late: what its work cost from the wake to the picture's present, less
// the wait for the due time in between.
void note_cost(double ms) {
    pace.costs[pace.samples % kCostFrames] = ms;
    pace.samples++;
}

bool paced_flip() {
    bool late_read = std::exchange(pace.waited, false);
    if (!late_read) advance_schedule();
    bool repeat = false;
    bool ready = WindowPrepare(false, true, &repeat);
    uint64_t prepared = ClockCounter();
    int d = pace.sync_time - MilliSecs();
    if (repeat) {
        // Nothing to show: the frame only keeps its time (a frame read late keeps it by
        // the next frame's wait, so it wakes once), and its cheap work teaches the late
        // reading nothing about what a drawn frame costs. One run together with the next
        // is late by design and keeps the schedule.
        if (d <= 0 && !pace.joined) pace.sync_time = MilliSecs();
        else if (!late_read) sleep_until(CounterAt(pace.sync_time));
        return true;
    }
    if (d <= 0) {
        // A late frame moves the schedule instead of catching up.
        pace.sync_time = MilliSecs();
    } else if (!late_read) {
        wait_until(CounterAt(pace.sync_time));
    }
    // A frame read late was woken just in time for its work to end at the due time: it
    // is presented at once, so the reading it shows is as fresh as it can be.
    uint64_t before_swap = ClockCounter();
    WindowSwap(ready);
    if (late_read) note_cost(CounterMs(prepared - pace.woke) + CounterMs(ClockCounter() - before_swap));
    return false;
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
    bool ready = WindowPrepare(true, false, nullptr);
    uint64_t t0 = ClockCounter();
    if (!pace.probe_start) pace.probe_start = t0;
    WindowSwap(ready);
    uint64_t t1 = ClockCounter();
    double period = pace.sync_period;
    double interval = pace.probe_last ? CounterMs(t1 - pace.probe_last) : 0;
    bool steady = interval >= period - 1 && interval <= period + 1 && CounterMs(t1 - t0) >= period / 2;
    pace.probe_last = t1;
    if (steady) {
        pace.probe_unsteady = 0;
        pace.sync_time = MilliSecs();
        if (++pace.probe_steady == 3) {
            pace.soft_sync = false;
            pace.probing = false;
        }
        return;
    }
    pace.probe_steady = 0;
    int d = pace.sync_time - MilliSecs();
    if (d > 0) wait_until(CounterAt(pace.sync_time));
    else pace.sync_time = MilliSecs();
    if (!ready || ++pace.probe_unsteady >= kProbeGiveUp || CounterMs(t1 - pace.probe_start) >= kProbeSeconds * 1000) {
        pace.probing = false;
    }
}

// The display paces: present at its vertical blank.
bool display_paced_flip() {
    bool late_read = std::exchange(pace.waited, false);
    bool repeat = false;
    bool ready = WindowPrepare(pace.depth != 0, true, &repeat);
    uint64_t prepared = ClockCounter();
    if (repeat) {
        // The display would have taken a picture at its next vertical blank.
        uint64_t period = uint64_t(double(CounterFrequency()) / double(pace.hertz > 0 ? pace.hertz : 60));
        uint64_t next = late_read ? pace.due : pace.last_present + period;
        if (!late_read) sleep_until(next);
        pace.last_present = next;
        late_read = false;
    } else {
        WindowSwap(ready);
        pace.last_present = ClockCounter();
    }
    // The swap waits for the vertical blank: the cost is the work before it.
    if (late_read) note_cost(CounterMs(prepared - pace.woke));
    return repeat;
}

// How long before the due time a frame read late must wake: what the recent frames'
// work cost, leaving out the dearest few (a preemption now and then is no reason to
// read every frame early; that frame just moves the schedule), and a margin of half a
// millisecond plus how late recent sleeps woke. With no history yet, a whole period (the
// frame reads at once, as without the late reading).
double wake_budget_ms(double period) {
    if (pace.samples < kCostFrames / 2) return period;
    int n = std::min(pace.samples, kCostFrames);
    // Asked every frame, a screen at rest included: no allocation, no full sort.
    auto ninth_tenth = [n](const double* samples) {
        std::array<double, kCostFrames> v;
        std::copy_n(samples, n, v.begin());
        std::nth_element(v.begin(), v.begin() + n * 9 / 10, v.begin() + n);
        return v[size_t(n * 9 / 10)];
    };
    return std::min(period, ninth_tenth(pace.costs) + 0.5 + std::min(ninth_tenth(pace.lateness), 4.0));
}

// Headless frames in real time: a schedule of its own on the real clock, a frame a
// period (and whatever it was asked to last longer) after the one before.
FrameWake plan_real_time() {
    uint64_t now = ClockCounter();
    if (pace.real_due == 0) pace.real_due = now;
    pace.real_due += MsCounts(period_ms() + std::exchange(pace.longer_ms, 0));
    if (now > pace.real_due + MsCounts(kRealTimeSlackMs)) pace.real_due = now;
    FrameWake w;
    w.wait = true;
    w.wake = w.own_wake = pace.real_due;
    return w;
}

}  // namespace

void PacerStart(int hertz, int depth) {
    pace.hertz = hertz;
    pace.depth = depth;
    // Pace by the clock unless the display proves with the first frames that it paces
    // them steadily itself. Headless there is no display to wait for.
    pace.soft_sync = hertz != 0;
    pace.probing = hertz != 0 && depth != 0 && !engine_options.headless;
    pace.probe_steady = pace.probe_unsteady = 0;
    pace.probe_start = pace.probe_last = 0;
    pace.sync_rate = hertz;
    pace.sync_period = hertz ? 1000 / hertz : 0;
    pace.sync_fraction = 1000 - pace.sync_period * hertz;
    pace.sync_accumulator = 0;
    pace.sync_time = MilliSecs();
}

bool SoftSyncActive() { return pace.soft_sync; }

void PaceInRealTime(bool on) {
    pace.real_time = on;
    pace.real_due = 0;
}

void PaceLonger(int ms) { pace.longer_ms = ms > 0 ? ms : 0; }

FrameWake PlanFrameWait(bool display_listens, bool pads_open) {
    if (engine_options.headless) return pace.real_time ? plan_real_time() : FrameWake{};
    if (!WindowIsOpen() || pace.probing || pace.depth == 0) return FrameWake{};
    double period = period_ms();
    uint64_t period_counts = MsCounts(period);
    uint64_t due, next_due;
    if (pace.soft_sync) {
        advance_schedule();
        due = CounterAt(pace.sync_time);
        int next = pace.sync_time, accumulator = pace.sync_accumulator;
        step_schedule(next, accumulator);
        next_due = CounterAt(next);
    } else {
        // The display paces: its next vertical blank comes a period after the last.
        if (!pace.last_present) return FrameWake{};
        due = pace.last_present + period_counts;
        next_due = due + period_counts;
    }
    uint64_t budget = MsCounts(wake_budget_ms(period));
    FrameWake w;
    w.wait = true;
    w.wake = w.own_wake = due > budget ? due - budget : 0;
    // At rest the wait listens to the display. A key or a click ends it at once: the
    // frame reads it and is presented as soon as it is drawn, which bunches with no other
    // present, as the last ones showed nothing. A frame read early is ahead of its time;
    // the next one waits for its own, so that a stream of events that change nothing
    // (a modifier held down) cannot run the game fast.
    w.listen = pace.resting >= kRestingFrames && !pace.ahead && display_listens;
    // Where nothing but the display can bring input (no pad is open), a frame at rest is
    // run together with the next one, just before it: one wake for two frames. A frame
    // that runs so turns out to show something now and then (a screen that changes on its
    // own); it is presented then at once, a frame late, and moves the schedule.
    pace.joined = w.listen && !pace.joined && !pads_open;
    if (pace.joined) w.wake = next_due > budget ? next_due - budget : 0;
    pace.due = due;
    return w;
}

void FrameWaitEnded(uint64_t woke, bool ahead, double lateness_ms) {
    if (engine_options.headless) return;
    pace.lateness[pace.samples % kCostFrames] = lateness_ms;
    pace.ahead = ahead;
    pace.waited = true;
    pace.woke = woke;
}

void Flip(int sync) {
    bool repeat = false;
    if (sync != -1) {
        pace.waited = false;
        WindowPresentNow(sync != 0);
    } else if (!pace.soft_sync) {
        repeat = display_paced_flip();
    } else if (engine_options.headless) {
        paced_flip_virtual();
    } else if (pace.probing) {
        probe_flip();
    } else {
        repeat = paced_flip();
    }
    pace.resting = repeat ? pace.resting + 1 : 0;
    pace.flip_count++;
    HeadlessFrameShown();
    for (auto& hook : pace.flip_hooks) hook();
}

int FlipCount() { return pace.flip_count; }

void AddFlipHook(std::function<void()> hook) { pace.flip_hooks.push_back(std::move(hook)); }
