#pragma once
// Engine-internal: the OpenGL side of drawing. The game's picture is drawn into a
// 640 x 480 off-screen framebuffer in batches of textured quads; presenting scales it
// into the window with black bars. Drawing is recorded and handed to GL when the
// picture is read or presented. Only platform/ includes this header.
//
// Where the driver runs our shaders, every frame small enough lives in one shared
// texture (smoothed glyphs in one texture array), each quad carries its colour, alpha
// and texture place with it, and a batch ends only where the blend mode or the clip
// rectangle changes. The shader samples exactly the texels that the frame's own
// power-of-two texture would give, so the picture is the same to the last bit.
// Without shaders, or with WHIRLBAT_FIXED_FUNCTION=1 in the environment, each frame
// is its own texture drawn by the fixed-function pipeline, as a batch of its own.
#include <cstdint>
#include <vector>

#include "platform/pixmap.h"

struct RendererStats {
    int quads = 0;       // quads recorded
    int draw_calls = 0;  // batches handed to GL
    int reused = 0;      // frames started from the kept picture of an earlier one
    int repeated = 0;    // frames not drawn: the picture already showed them
    int patched = 0;     // frames drawn only where they differ from the picture's
};

// Makes the off-screen framebuffer and sets up the drawing state. Needs a current GL
// context. False if the context cannot give us a framebuffer.
bool RendererInit(int width, int height);
void RendererShutdown();
// Whether quads are drawn through the shared texture (false: one texture per frame).
bool RendererBatchesShared();

void RendererSetBlend(int mode);  // 1 mask, 2 solid, 3 alpha, 4 light, 5 shade
void RendererSetScissor(int x, int y, int w, int h);

// Adds a quad to the picture. xy holds the four corners in screen pixels (clockwise
// from the top-left of the source), uv their coordinates in the frame's power-of-two
// texture; frame 0 draws flat. binary_alpha says every texel the quad samples is fully
// clear or fully opaque.
void RendererQuad(unsigned frame, const float xy[8], const float uv[8], uint32_t rgba, bool binary_alpha);
// Ends the current batch: the next quad starts a new one.
void RendererFlush();
// Draws the recorded batches now.
void RendererSubmit();

void RendererClear(int r, int g, int b);
// Reads an RGB rectangle of the picture, rows top to bottom.
void RendererReadPixels(int x, int y, int w, int h, uint8_t* rgb);
// Reads the whole picture as 32-bit words 0xAARRGGBB, rows bottom to top (GL's order).
void RendererReadPictureWords(std::vector<uint32_t>& words);
// Whether GL draws on the CPU (Mesa's llvmpipe and kin).
bool RendererIsSoftware();

// Makes a frame of an RGBA pixmap for drawing; flags 2 linear, 4 mipmapped. Writes the
// size of the power-of-two texture the frame is addressed in (its coordinates run
// from 0 to width / tex_w). Returns 0 if no frame can be made.
unsigned RendererMakeFrame(const Pixmap& rgba, int flags, int* tex_w, int* tex_h);
void RendererFreeFrame(unsigned frame);

// Draws the picture into the window's framebuffer of the given size, scaled to fit with
// black bars: whole multiples pixel for pixel, other sizes in one pass with sharp
// bilinear sampling (only the seam between two texels is blended).
void RendererPresent(int drawable_w, int drawable_h);
// Points drawing back at the picture after presenting.
void RendererResumeDrawing();
// Where the picture lands inside a window of the given size.
void RendererFitRect(int window_w, int window_h, int* x, int* y, int* w, int* h);
// For tests and comparisons: what a present into a window of w x h shows, as RGB rows
// top to bottom. two_pass chooses the older path (whole-multiple enlargement, then a
// smooth reduction) instead of the one-pass shader.
Pixmap RendererPresentedPicture(int w, int h, bool two_pass);

RendererStats RendererTakeStats();
// Changes whenever drawing may have changed the picture's pixels; the same number, the
// same picture. A frame recorded quad for quad as the one the picture shows, over the
// same frames, is not drawn again and changes nothing. Recorded quads count once they
// are drawn (a read-back, a present, RendererSubmit).
uint64_t RendererPictureSerial();
// Quads and clears recorded since the program started: the picture changed only if
// this grew (or a new window came).
uint64_t RendererDrawings();
// Whether a frame that begins as the last one did may start from a copy of the picture
// kept after that shared start (on unless WHIRLBAT_KEEP_PICTURE=0). For comparisons.
void RendererKeepPictures(bool on);
