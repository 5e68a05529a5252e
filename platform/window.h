#pragma once
// The one window: opening and closing it, its title, full screen or a window, the
// pointer's picture, the mapping between the window and the 640 x 480 picture, and
// putting the picture on it (through OpenGL, or where OpenGL draws in software through
// the system's own present path, platform/window_system.h). Headless there is a window
// no one sees (SDL's offscreen driver) and nothing is put anywhere.
#include <cstdint>
#include <string>

// Caption of the window; set before Graphics (platform/engine.h) or at any time.
void AppTitle(const std::string& title);

const std::string& GraphicsError();
int GraphicsWidth();
int GraphicsHeight();

// Full screen (desktop full screen) or a window, while the game runs. F11 and Alt+Enter
// toggle it from the event pump, wherever the game is; FullScreenToggles counts the
// switches so that the program can remember the player's choice. Headless runs keep
// the state without a display to change.
void SetFullScreen(bool on);
bool FullScreen();
int FullScreenToggles();

// The window's size as a window: the largest whole multiple of the picture that fits the
// desktop's work area, or where only 1x would fit the largest 4:3 size that does, unless
// the player gave it one. SetWindowedSize (before Graphics, from the settings; 0 x 0
// none) gives the size it opens at and comes back to from full screen, if it fits.
// WindowedSize gives the player's size: one the window has kept for half a second that
// the game did not give it (the edge dragged), or the one set; false if there is none.
void SetWindowedSize(int w, int h);
bool WindowedSize(int* w, int* h);
// Engine-internal, for tests: the size that fits, for a picture and a work area.
void FitWindowSize(int picture_w, int picture_h, int area_w, int area_h, int* w, int* h);

void HideMouse();

// Where the system takes the window away for good (another X client killed the
// connection to the display, Windows ends the session), one line says so, this runs
// (finishing what must be finished, without touching the display) and the program ends
// with status 0.
void SetDisplayLostHandler(void (*handler)());

// Engine-internal: opens the window (depth 0 a window, any other full screen, unless
// --window asks for a window) and its renderer for a width x height picture; false with
// GraphicsError() saying why.
bool WindowOpen(int width, int height, int depth);
void WindowClose();
bool WindowIsOpen();
// Engine-internal: draws the picture into what will be shown and lets GL finish it, so
// that all that is left at the frame's due time is the swap. False if there is nothing
// to show it on, or (with may_repeat) if the window already shows this very picture at
// this size: then *repeat is set and nothing is drawn or presented.
bool WindowPrepare(bool vsync, bool may_repeat, bool* repeat);
// Engine-internal: shows what WindowPrepare prepared (nothing if it returned false).
void WindowSwap(bool prepared);
void WindowPresentNow(bool vsync);
// Engine-internal: the window was uncovered and nothing kept its pixels: the whole
// picture goes on it again, at once when `show` says there is one.
void WindowUncovered(bool show);
// Engine-internal: the sequence number of the open window (0 none); images remake their
// textures when it changes.
int GraphicsSeq();
// Engine-internal: whether the window is gone (destroyed from outside).
bool WindowLost();
// Engine-internal: puts the system's pointer at the picture's (x, y).
void WindowWarpPointer(int x, int y);
// Engine-internal: maps a window position to the picture, and back.
void WindowToPicture(int wx, int wy, int* px, int* py);
void PictureToWindow(int px, int py, int* wx, int* wy);
