#pragma once
// The platform's life: opening the one window with its pacing and input, and closing
// every service at the program's end.

// Opens the one window: a picture of width x height. depth 0 asks for a window, any
// other depth for full screen (desktop full screen, the monitor's mode untouched;
// --window turns it into a window). hertz 0 switches the clock pacing off. The picture
// starts black and the pointer in its middle; key and mouse presses so far are
// dropped. Returns false, with GraphicsError() saying why, if no display can be opened.
bool Graphics(int width, int height, int depth = 0, int hertz = 60);
// The end of the program: closes the sound (after its last buffer is mixed), the window
// and the devices.
void PlatformShutdown();
