#pragma once
// Engine-internal: the window lost from outside on X11. Another client may destroy our
// window (XDestroyWindow) or kill our connection to the display (xkill); Xlib would end
// the program with an error on the next call. Kept apart from window.cpp because Xlib's
// names clash with the engine's.
#include <cstdint>

struct SDL_Window;

// Starts watching the window, if it lives on X11 (anything else is left alone). When the
// connection dies, on_connection_lost runs and must not return.
void X11WatchWindow(SDL_Window* window, void (*on_connection_lost)());
// Whether the watched window was destroyed; X errors about it are swallowed from then on.
bool X11WindowLost();
// Waits for the display's answers to what was sent, so that errors about a lost window
// arrive while they are still swallowed (SDL puts the default handler back when it
// closes the display). Call after the window is destroyed.
void X11Settle();

// How a wait on the display ended: not an X display (nothing was waited for), something
// came from it (or a signal broke the wait), or the time ran out with nothing from it.
enum class DisplayWait { unwatched, input, quiet };
// Whether there is an X display to wait on.
bool X11Listening();
// Waits up to `ms` for the watched display to send something: events already read and
// queued count as soon as they are there.
DisplayWait X11WaitForInput(double ms);

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
