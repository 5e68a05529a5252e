#pragma once
// The window, the pacing of frames, the millisecond clock and the application's life.
// In headless runs the clock is virtual: it starts at 0 and moves only when the
// program waits (a paced Flip, Delay), so a run is as fast as the CPU and repeatable.
#include <cstdint>
#include <functional>
#include <string>

// Caption of the window; set before Graphics.
void AppTitle(const std::string& title);

// Opens the one window: a picture of width x height. depth 0 asks for a window, any
// other depth for full screen (desktop full screen, the monitor's mode untouched;
// --window turns it into a window). hertz 0 switches the clock pacing off. Returns
// false, with GraphicsError() saying why, if no display can be opened.
bool Graphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
const std::string& GraphicsError();
int GraphicsWidth();
int GraphicsHeight();

// Presents the picture. sync -1 paces by the clock (or by the display's vertical blank
// when that proved steady); 0 presents at once; 1 presents at the next vertical blank.
void Flip(int sync = -1);
// The wait before a frame, for a program that reads its input late: sleeps until the
// next present is due, less what a frame's work (reading, stepping, drawing and the
// present itself) has recently cost and a margin learned from how late sleeps wake.
// The Flip that follows then presents as soon as the picture is ready, and input read
// after this wait reaches the screen within the frame. A frame whose work runs long
// moves the schedule, as a late Flip does. Does nothing headless (the virtual clock
// waits in Flip) and while the display's pacing is being tested.
void WaitForFrame();
// Number of Flip calls so far.
int FlipCount();
// Called after every Flip has presented its picture (screenshots, traces, scripts).
void AddFlipHook(std::function<void()> hook);

// Milliseconds of the clock; only differences mean anything.
int MilliSecs();
// Milliseconds since the system started, time asleep included, wrapping at 2^32: unlike
// MilliSecs it differs from one launch to the next. Real time, in headless runs too.
uint32_t SystemMilliSecs();
// Waits ms milliseconds (negative does nothing).
void Delay(int ms);

// 1 while the window is inactive (as the last PumpEvents found it).
int AppSuspended();
// 1 once after a close request (window button, Alt+F4, SIGTERM, Ctrl+C, or the script),
// then 0.
int AppTerminate();
// 1 while a close request waits to be taken by AppTerminate; it stays pending. The
// game's waits end on it.
int AppQuitPending();

// Full screen (desktop full screen) or a window, while the game runs. F11 and Alt+Enter
// toggle it from the event pump, wherever the game is; FullScreenToggles counts the
// switches so that the program can remember the player's choice. Headless runs keep
// the state without a display to change.
void SetFullScreen(bool on);
bool FullScreen();
int FullScreenToggles();

void HideMouse();
void ShowMouse();
// Puts the pointer at (x, y) of the picture.
void MoveMouse(int x, int y);

// What End throws: the program unwinds to main, which finishes it (FinishProgram) and
// returns the code, so every object on the way is destroyed and every file closed.
struct ProgramEnd {
    int code = 0;
};
// Ends the program with exit code 0: throws ProgramEnd.
[[noreturn]] void End();
// Ends the program with an exit code, for fatal errors of the harness: throws ProgramEnd.
[[noreturn]] void EndWithCode(int code);
// The end of the program, from main: runs the end hooks, closes audio, the window and
// the devices, and gives the exit code (raised by an end hook that failed).
int FinishProgram(int code);
// Called by FinishProgram before anything is closed (to finish traces).
void AddEndHook(std::function<void()> hook);
// From an end hook: the program ends with at least this exit code (a file that could
// not be finished turns a clean end into a failure).
void RaiseExitCode(int code);

// Engine-internal: shows the last picture again, as it was presented (the window was
// covered and nothing kept its pixels), between frames and while the game waits.
void WindowExposed();
// Engine-internal: whether soft sync (clock pacing) is on.
bool SoftSyncActive();
// Engine-internal: maps a window position to the picture, and back.
void WindowToPicture(int wx, int wy, int* px, int* py);
void PictureToWindow(int px, int py, int* wx, int* wy);
// Engine-internal: milliseconds of virtual waiting since the last Flip (headless).
int VirtualWaitSinceFlip();
