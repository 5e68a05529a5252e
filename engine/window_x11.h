#pragma once
// Engine-internal: the window lost from outside on X11. Another client may destroy our
// window (XDestroyWindow) or kill our connection to the display (xkill); Xlib would end
// the program with an error on the next call. Kept apart from window.cpp because Xlib's
// names clash with the engine's.
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
