#pragma once
// 2D drawing services: one current drawing state, images made of frames, and the draw
// commands that turn them into quads on the game's 640 x 480 picture.
#include <memory>
#include <string>
#include <vector>

#include "platform/pixmap.h"

// Image flags.
enum : int { MASKEDIMAGE = 1, FILTEREDIMAGE = 2, MIPMAPPEDIMAGE = 4, DYNAMICIMAGE = 8 };

// Blend modes.
enum : int { MASKBLEND = 1, SOLIDBLEND = 2, ALPHABLEND = 3, LIGHTBLEND = 4, SHADEBLEND = 5 };

struct TImageFrame {
    unsigned texture = 0;  // the renderer's frame
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
    int seq = 0;  // graphics sequence the texture was made for; 0 none
    bool binary = false;  // sampled texels are all fully clear or fully opaque
};

struct TImage {
    int width = 0, height = 0;
    int flags = 0;
    int mask_r = 0, mask_g = 0, mask_b = 0;  // captured when the image was made
    float handle_x = 0, handle_y = 0;        // the frame point that lands on the draw position
    std::vector<Pixmap> pixmaps;             // per frame, RGBA; empty until set
    std::vector<TImageFrame> frames;         // per frame, made lazily
    // An embedded picture the image was loaded from, unchanged since: its pixels are read
    // again should a new window need them, and not kept once its frame is made.
    std::string source;
    ~TImage();
};
using Image = std::shared_ptr<TImage>;

// Fills the whole picture with the Cls colour (black unless changed).
void Cls();
void SetClsColor(int r, int g, int b);

void SetColor(int r, int g, int b);  // each channel clamped to 0..255
void GetColor(int* r, int* g, int* b);
void SetAlpha(float alpha);          // clamped to 0..1; the renderer gets Int(alpha * 255)
float GetAlpha();
void SetBlend(int mode);
int GetBlend();
void SetRotation(float degrees);
float GetRotation();
void SetScale(float sx, float sy);
void GetScale(float* sx, float* sy);
void SetTransform(float degrees, float sx, float sy);  // rotation and scale in one step
void SetOrigin(float x, float y);
void SetHandle(float x, float y);  // global handle for rectangles and text
void SetViewport(int x, int y, int w, int h);

void SetMaskColor(int r, int g, int b);
void AutoImageFlags(int flags);  // -1 keeps the current flags
void AutoMidHandle(int on);
void MidHandleImage(const Image& image);
void SetImageHandle(const Image& image, float x, float y);

// One-frame image from a PNG (path or "incbin::name"); flags -1 takes the automatic
// flags. None if the pixels cannot be loaded.
Image LoadImage(const std::string& url, int flags = -1);
// Blank image; the dynamic flag is always added.
Image CreateImage(int width, int height, int frames = 1, int flags = -1);
// Copies the picture's rectangle at (x, y) of the image's size into a frame.
void GrabImage(const Image& image, int x, int y, int frame = 0);
void DrawImage(const Image& image, float x, float y, int frame = 0);
void DrawRect(float x, float y, float w, float h);
int ImageWidth(const Image& image);
int ImageHeight(const Image& image);

// Sets a frame's pixels (masked by the image's captured mask colour when the image is
// masked and the pixmap has no alpha).
void SetImagePixels(const Image& image, int frame, const Pixmap& pixmap);

// The whole drawing state as a value. Drawing the same things from equal marks draws the
// same pixels and ends at equal marks.
struct DrawMark {
    std::vector<uint8_t> bytes;  // every plain setting, field by field
    const void* font = nullptr;
    bool operator==(const DrawMark&) const = default;
};
DrawMark CurrentDrawMark();
// Grows whenever the picture may have changed (anything drawn or cleared, a new
// window): a picture with the same version is the very picture last looked at.
uint64_t PictureVersion();

// The picture as RGB, for screenshots and tests.
Pixmap ReadPicture(int x = 0, int y = 0, int w = -1, int h = -1);

// Engine-internal: draws a frame's quad from (x0, y0) to (x1, y1) in image space,
// mapped by the current matrix to (tx, ty), in the current colour, alpha and blend.
void DrawImageFrame(const Image& image, int frame, float x0, float y0, float x1, float y1, float tx, float ty);
// Engine-internal: pushes the whole drawing state to a newly opened window.
void DrawStateApply();
