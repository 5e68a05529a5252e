#pragma once
// The event pump: the one place the window's events come in. It takes in keys, the
// mouse, pads plugged in or out, focus, uncovering and close requests, and a script's
// actions whose time has come, and hands each to its owner: the input service, the
// window, the program's life (suspended, asked to close). The wait before a frame that
// reads its input late is here too, since at rest it listens to the display.
#include <functional>
#include <string>

// Takes in every pending event (and a script's actions whose time has come).
void PumpEvents();
// Takes in pending events, then clears key states and presses.
void FlushKeys();
// Takes in pending events, then clears mouse buttons, hits and the wheel (not the
// position).
void FlushMouse();
// Takes in pending events, rebuilds the pad table from the pads that can be read now and
// returns their count. Pad numbers (ports) are dense: the first working pad is port 0.
int JoyCount();
// Puts the pointer at (x, y) of the picture.
void MoveMouse(int x, int y);

// The wait before a frame, for a program that reads its input late: sleeps until the
// next present is due, less what a frame's work has recently cost and a margin learned
// from how late sleeps wake, so that input read after it reaches the screen within the
// frame. After two frames that showed nothing new it listens to the display instead: a
// key or a click ends it at once, a wait that heard nothing lets the next pump leave the
// display unasked, and with no pad open one wake runs two frames. Does nothing headless
// (the virtual clock waits in Flip) unless frames keep to the real clock
// (PaceInRealTime), and nothing while the display's pacing is being tested.
void WaitForFrame();
// While set, the wait before a frame hands its time to `idle` (which returns within the
// milliseconds it is given) instead of sleeping or listening to the display: online
// play serves the network meanwhile; what it leaves of the time is slept. An empty
// function sleeps again.
void SetFrameIdle(std::function<void(double ms)> idle);

// 1 while the window is inactive (as the last pump found it).
int AppSuspended();
// 1 once after a close request (window button, Alt+F4, SIGTERM, Ctrl+C, the script, or
// the window destroyed from outside), then 0.
int AppTerminate();
// 1 while a close request waits to be taken by AppTerminate; it stays pending. The
// game's waits end on it.
int AppQuitPending();

// A wait that can never end: a headless run's script has nothing more to give and the
// game has waited a minute of virtual time for input since the last frame. The line
// that says so, or "".
std::string HopelessWait();
