#pragma once
// The clock. Real runs count the performance counter; headless runs count a virtual
// clock (platform/headless.h) that starts at 0 and moves only when the program waits,
// so a run is as fast as the CPU and repeatable.
#include <cstdint>

// Milliseconds of the clock; only differences mean anything.
int MilliSecs();
// Milliseconds since the system started, time asleep included, wrapping at 2^32: unlike
// MilliSecs it differs from one launch to the next. Real time, in headless runs too.
uint32_t SystemMilliSecs();
// Waits ms milliseconds (negative does nothing).
void Delay(int ms);
// The program spent ms milliseconds of real time waiting on something of its own (the
// network): a headless run's virtual clock moves on by as much; a real run's clock has
// moved by itself.
void ClockWaited(int ms);

// Engine-internal: the real clock's counter, from which MilliSecs counts whole
// milliseconds since the program's start, and conversions to and from it.
uint64_t ClockCounter();
double CounterMs(uint64_t counts);
uint64_t MsCounts(double ms);
// The counter value at which the real MilliSecs() reaches ms.
uint64_t CounterAt(int ms);
// The counter's ticks a second.
uint64_t CounterFrequency();
