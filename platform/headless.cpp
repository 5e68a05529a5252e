#include "platform/headless.h"

#include "platform/audio.h"

namespace {

struct VirtualClock {
    int now_ms = 0;
    int waited_since_frame = 0;
};

VirtualClock virtual_clock;

}  // namespace

int HeadlessNow() { return virtual_clock.now_ms; }

void HeadlessDelay(int ms) {
    if (ms <= 0) return;
    virtual_clock.now_ms += ms;
    virtual_clock.waited_since_frame += ms;
    AudioClockAdvanced(virtual_clock.now_ms);
}

int HeadlessWaitedSinceFrame() { return virtual_clock.waited_since_frame; }

void HeadlessFrameShown() { virtual_clock.waited_since_frame = 0; }
