#pragma once
// Engine-internal: the OpenGL side of drawing. The game's picture is drawn into a
// 640 x 480 off-screen framebuffer in batches of textured quads; presenting scales it
// into the window with black bars. Drawing is recorded and handed to GL when the
// picture is read or presented. Only engine/ includes this header.
#include <cstdint>

#include "engine/pixmap.h"

struct RendererStats {
    int quads = 0;       // quads recorded
    int draw_calls = 0;  // batches handed to GL
};

// Makes the off-screen framebuffer and sets up the fixed-function state. Needs a
// current GL context. False if the context cannot give us a framebuffer.
bool RendererInit(int width, int height);
void RendererShutdown();

void RendererSetBlend(int mode);  // 1 mask, 2 solid, 3 alpha, 4 light, 5 shade
void RendererSetScissor(int x, int y, int w, int h);

// Adds a quad to the picture. xy holds the four corners in screen pixels (clockwise
// from the top-left of the source), uv their texture coordinates; texture 0 draws flat.
// binary_alpha says every texel the quad samples is fully clear or fully opaque.
void RendererQuad(unsigned texture, const float xy[8], const float uv[8], uint32_t rgba, bool binary_alpha);
// Ends the current batch: the next quad starts a new one.
void RendererFlush();

void RendererClear(int r, int g, int b);
// Reads an RGB rectangle of the picture, rows top to bottom.
void RendererReadPixels(int x, int y, int w, int h, uint8_t* rgb);

// A texture of an RGBA pixmap, sized up to powers of two with the edge column, row and
// corner copied outward; flags 2 linear, 4 mipmapped. Writes the texture's size.
unsigned RendererMakeTexture(const Pixmap& rgba, int flags, int* tex_w, int* tex_h);
void RendererFreeTexture(unsigned texture);
int RendererMaxTextureSize();

// Draws the picture into the window's framebuffer of the given size, scaled to fit with
// black bars (sharp at whole multiples, smooth in between).
void RendererPresent(int drawable_w, int drawable_h);
// Points drawing back at the picture after presenting.
void RendererResumeDrawing();
// Where the picture lands inside a window of the given size.
void RendererFitRect(int window_w, int window_h, int* x, int* y, int* w, int* h);

RendererStats RendererTakeStats();
