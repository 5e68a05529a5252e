#include "platform/clock.h"

#include <SDL2/SDL.h>

#include "platform/headless.h"
#include "platform/options.h"

namespace {

// The real clock is the performance counter; MilliSecs counts whole milliseconds of it
// from the program's start, and the pacer waits for exact counter values.
struct RealClock {
    uint64_t epoch = SDL_GetPerformanceCounter();
    uint64_t freq = SDL_GetPerformanceFrequency();
};

const RealClock& real_clock() {
    static const RealClock clock;
    return clock;
}

uint64_t elapsed_ms(uint64_t counter) { return (counter - real_clock().epoch) * 1000 / real_clock().freq; }

}  // namespace

// Reads the counter after the clock's start is fixed, so never before it.
uint64_t ClockCounter() {
    real_clock();
    return SDL_GetPerformanceCounter();
}

double CounterMs(uint64_t counts) { return double(counts) * 1000.0 / double(real_clock().freq); }

uint64_t MsCounts(double ms) { return uint64_t(ms / 1000.0 * double(real_clock().freq)); }

uint64_t CounterFrequency() { return real_clock().freq; }

uint64_t CounterAt(int ms) {
    const RealClock& c = real_clock();
    uint64_t now = elapsed_ms(ClockCounter());
    uint64_t target = now + uint64_t(int64_t(ms - int(uint32_t(now))));
    return c.epoch + (target * c.freq + 999) / 1000;
}

int MilliSecs() {
    if (engine_options.headless) return HeadlessNow();
    return int(uint32_t(elapsed_ms(ClockCounter())));
}

void Delay(int ms) {
    if (ms <= 0) return;
    if (engine_options.headless) {
        HeadlessDelay(ms);
        return;
    }
    SDL_Delay(Uint32(ms));
}

void ClockWaited(int ms) {
    if (engine_options.headless) HeadlessDelay(ms);
}
