#pragma once
// The headless back end: no visible window, no sound device, and a virtual clock. The
// clock starts at 0 and moves only when the program waits (a paced Flip moves it to the
// frame's due time, Delay by its milliseconds), in step with a recording sound driver
// (SDL's "disk"), so a headless run is as fast as the CPU allows and repeatable. Nothing
// is presented: the picture is drawn off screen, and read back for screenshots.
#include <cstdint>

// The virtual clock's milliseconds.
int HeadlessNow();
// Moves the virtual clock on by ms, and the sound with it.
void HeadlessDelay(int ms);
// Milliseconds of virtual waiting since the last frame was shown (HeadlessFrameShown).
int HeadlessWaitedSinceFrame();
void HeadlessFrameShown();
