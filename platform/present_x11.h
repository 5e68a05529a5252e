#pragma once
// The X11 present path. Where OpenGL draws on the CPU (Mesa's llvmpipe), a textured
// full-window drawing costs the rasteriser many times what enlarging the picture in
// plain code and handing the pixels to the X server does: the picture is read back,
// enlarged on the CPU (only the rows that changed) into memory shared with the X server,
// and only the part of the window that changed is put on it. The pixels are those the
// OpenGL path shows.
struct SDL_Window;

// Whether this path is wanted: WHIRLBAT_PRESENT=gl never, =cpu wherever the display
// allows, otherwise where OpenGL draws in software.
bool X11PresentWanted();
// Starts the path for the window; false where it cannot be done (not X11, no shared
// memory, not a 24-bit 0xRRGGBB visual).
bool X11PresentOpen(SDL_Window* window);
// The picture (picture_w x picture_h, as the renderer holds it) enlarged into the
// window's pixels (dw x dh); false if the shared memory was refused at this size.
// With every_frame, a frame that changed nothing still puts a pixel.
bool X11PresentPrepare(int dw, int dh, int picture_w, int picture_h, bool every_frame);
// Puts what changed on the window.
void X11PresentShow();
// The window lost what was put on it: the next put is whole.
void X11PresentWhole();
void X11PresentClose();
