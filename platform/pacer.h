#pragma once
// The frame pacer: when each picture is presented, and when a frame that reads its
// input late should wake. Frames run on a schedule of 16, 17, 17 ms (exactly `hertz`
// frames a second), by the clock, unless the display proves with the first frames that
// it paces them steadily itself. A late frame moves the schedule instead of catching up.
// Headless, a paced Flip moves the virtual clock to the frame's due time.
#include <cstdint>
#include <functional>

// Presents the picture. sync -1 paces by the clock (or by the display's vertical blank
// when that proved steady); 0 presents at once; 1 presents at the next vertical blank.
// A paced frame whose picture is the one the window already shows is not presented
// again: it only keeps its time.
void Flip(int sync = -1);
// Number of Flip calls so far.
int FlipCount();
// Called after every Flip has presented its picture (screenshots, probes).
void AddFlipHook(std::function<void()> hook);

// While on, paced frames keep to the real clock in headless runs too (online play: the
// network does not wait for a virtual clock); the virtual clock still moves a frame a
// frame.
void PaceInRealTime(bool on);
// The next paced frame lasts this many milliseconds longer (a machine that runs ahead
// of the other online slows down a little).
void PaceLonger(int ms);

// Engine-internal: starts pacing a window just opened (hertz 0: no pacing; depth 0: a
// window that never tests the display's pacing).
void PacerStart(int hertz, int depth);
// Engine-internal: whether soft sync (clock pacing) is on.
bool SoftSyncActive();

// Engine-internal, for the wait before a frame that reads its input late (the event
// pump's WaitForFrame): when to wake, and whether the wait may listen to the display
// instead of sleeping blind.
struct FrameWake {
    bool wait = false;       // false: no wait (headless, the display's test, no window)
    uint64_t wake = 0;       // counter value to wake at
    uint64_t own_wake = 0;   // the frame's own wake, when `wake` is the next frame's
    bool listen = false;     // the frames before showed nothing new: listening may end it early
};
// Plans the wait: `display_listens` says a display can be listened to, `pads_open` that
// input may also come from a pad (so a frame at rest is not run together with the next).
FrameWake PlanFrameWait(bool display_listens, bool pads_open);
// The wait is over: woken at `woke` (counter), by input before its time or not, and how
// late a sleep that heard nothing woke (ms).
void FrameWaitEnded(uint64_t woke, bool ahead, double lateness_ms);
