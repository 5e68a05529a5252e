// The system's part of the clock on Linux and other POSIX systems (platform/clock.h).
#include <time.h>

#include "platform/clock.h"

uint32_t SystemMilliSecs() {
    // CLOCK_MONOTONIC stops while the machine sleeps; the boot-time clock does not.
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return uint32_t(uint64_t(t.tv_sec) * 1000u + uint64_t(t.tv_nsec) / 1000000u);
}
