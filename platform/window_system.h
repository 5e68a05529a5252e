#pragma once
// Engine-internal: what the window needs of the system it runs on, a back end for each:
// window_x11.cpp and present_x11.cpp on X11, window_win32.cpp on Windows.
struct SDL_Window;

// The SDL video driver for a headless run's window, which no one sees (the window is
// made hidden too): SDL's offscreen driver, or where the system has none, its own.
const char* SystemHeadlessDriver();

// Starts watching the window. Where the system takes the window away for good (another
// X client kills the connection to the display, Windows ends the session),
// on_lost(line) runs with one line saying so, and must not return.
void SystemWatchWindow(SDL_Window* window, void (*on_lost)(const char* line));
// Whether the watched window was destroyed from outside; errors about it are swallowed
// from then on.
bool SystemWindowLost();
// Lets the system carry out what was asked of it before the window went (on X11 the
// server's answers, so that errors about a lost window arrive while still swallowed).
// Call after the window is destroyed.
void SystemSettle();

// How a wait on the display ended: no display to wait on (nothing was waited for),
// something came from it (or a signal broke the wait), or the time ran out with nothing.
enum class DisplayWait { unwatched, input, quiet };
// Whether there is a display to wait on.
bool SystemListening();
// Waits up to `ms` for the display to send input: events already read and queued count
// as soon as they are there.
DisplayWait SystemWaitForInput(double ms);

// A present path beside OpenGL's, where the system has one that costs less when OpenGL
// draws in software (X11's shared memory): the picture read back, enlarged on the CPU
// and put on the window, only the part that changed. The pixels are those the OpenGL
// path shows. Where there is none, the first two are false.
//
// Whether it is wanted: WHIRLBAT_PRESENT=gl never, =cpu wherever the display allows,
// otherwise where OpenGL draws in software.
bool SystemPresentWanted();
// Starts the path for the window; false where it cannot be done.
bool SystemPresentOpen(SDL_Window* window);
// The picture (picture_w x picture_h, as the renderer holds it) enlarged into the
// window's pixels (dw x dh); false if the system refused the pixels at this size. With
// every_frame, a frame that changed nothing still puts a pixel.
bool SystemPresentPrepare(int dw, int dh, int picture_w, int picture_h, bool every_frame);
// Puts what changed on the window.
void SystemPresentShow();
// The window lost what was put on it: the next put is whole.
void SystemPresentWhole();
void SystemPresentClose();
