// The system's part of the clock on Windows (platform/clock.h).
#include <windows.h>

#include "platform/clock.h"

// The milliseconds since the machine started, time asleep included.
uint32_t SystemMilliSecs() { return uint32_t(GetTickCount64()); }
