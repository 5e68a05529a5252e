#pragma once
// Engine-internal, X11's own: the window's pixels in memory shared with the X server, put
// on the window in one request, for the X11 present path (present_x11.cpp). Kept apart
// from window.cpp because Xlib's names clash with the engine's. window_x11.cpp also
// carries X11's side of platform/window_system.h: a window lost from outside (another
// client may destroy it or kill the connection; Xlib would end the program with an
// error on the next call) and the wait on the display.
#include <cstdint>

struct SDL_Window;

// Presenting without OpenGL: the window's pixels in memory shared with the X server,
// put on the window in one request. For displays whose OpenGL draws in software, where
// this costs a fraction of a textured full-window drawing. All false or null where it
// cannot be done (not X11, no shared memory, not a 24-bit 0xRRGGBB visual).
bool X11DirectOpen(SDL_Window* window);
// The w x h pixels to fill (32-bit words, pitch_words a row), black when fresh is set
// (first use or a new size). The previous put has been carried out by then.
uint32_t* X11DirectPixels(int w, int h, int* pitch_words, bool* fresh);
// Shows the pixels [x, x + w) x [y, y + h) on the window and waits until the server has
// them; nothing at all for an empty rectangle.
void X11DirectPut(int x, int y, int w, int h);
void X11DirectClose();
