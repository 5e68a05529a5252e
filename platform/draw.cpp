#include "platform/draw.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

#include "platform/draw_state.h"
#include "platform/renderer.h"
#include "platform/window.h"

namespace {

struct DrawModule {
    TSpriteGraphics gfx;
    uint8_t alpha_byte = 255;
    int auto_flags = 0;
    bool auto_mid = false;
    int mask_r = 0, mask_g = 0, mask_b = 0;
};

DrawModule dm;

// The drawing's own degrees and truncation, as the rules count them.
double degrees_cos(double degrees) { return std::cos(degrees * 0.017453292519943295); }
double degrees_sin(double degrees) { return std::sin(degrees * 0.017453292519943295); }

void update_matrix() {
    TSpriteGraphics& g = dm.gfx;
    double c = degrees_cos(g.tform_rot), s = degrees_sin(g.tform_rot);
    g.tform_ix = float(c * g.tform_scale_x);
    g.tform_iy = float(-s * g.tform_scale_y);
    g.tform_jx = float(s * g.tform_scale_x);
    g.tform_jy = float(c * g.tform_scale_y);
}

bool drawing_possible() { return GraphicsSeq() != 0 && GraphicsWidth() > 0; }

Pixmap image_pixels(const TImage& image, const Pixmap& pixmap);

// Makes (or re-makes, for a newer window) the renderer's frame. False if it has no pixels.
bool ensure_frame(TImage& image, int frame) {
    TImageFrame& f = image.frames[frame];
    if (f.texture && f.seq == GraphicsSeq()) return true;
    Pixmap read_again;
    if (image.pixmaps[frame].empty() && !image.source.empty()) read_again = image_pixels(image, LoadPixmap(image.source));
    const Pixmap& pix = read_again.empty() ? image.pixmaps[frame] : read_again;
    if (pix.empty()) return false;
    int tw = 0, th = 0;
    f.texture = RendererMakeFrame(pix, image.flags, &tw, &th);
    f.u0 = 0;
    f.v0 = 0;
    f.u1 = float(pix.width) / float(tw);
    f.v1 = float(pix.height) / float(th);
    f.seq = GraphicsSeq();
    f.binary = !(image.flags & FILTEREDIMAGE);
    for (size_t i = 3; f.binary && i < pix.pixels.size(); i += 4) f.binary = pix.pixels[i] == 0 || pix.pixels[i] == 255;
    if (f.texture && !image.source.empty()) image.pixmaps[frame] = Pixmap{};
    return f.texture != 0;
}

void free_frame(TImageFrame& f) {
    if (f.texture && f.seq == GraphicsSeq()) RendererFreeFrame(f.texture);
    f = TImageFrame{};
}

void emit_quad(unsigned texture, bool binary, float x0, float y0, float x1, float y1, float tx, float ty,
               const float uv[8]) {
    const TSpriteGraphics& g = dm.gfx;
    const float px[4] = {x0, x1, x1, x0};
    const float py[4] = {y0, y0, y1, y1};
    float xy[8];
    for (int i = 0; i < 4; ++i) {
        xy[i * 2] = float(double(px[i]) * g.tform_ix + double(py[i]) * g.tform_iy + tx);
        xy[i * 2 + 1] = float(double(px[i]) * g.tform_jx + double(py[i]) * g.tform_jy + ty);
    }
    RendererQuad(texture, xy, uv, DrawStateRGBA(), binary);
}

Image make_image(int width, int height, int frames, int flags) {
    auto image = std::make_shared<TImage>();
    image->width = width;
    image->height = height;
    image->flags = flags;
    image->mask_r = dm.mask_r;
    image->mask_g = dm.mask_g;
    image->mask_b = dm.mask_b;
    image->pixmaps.resize(std::max(frames, 0));
    image->frames.resize(std::max(frames, 0));
    if (dm.auto_mid) MidHandleImage(image);
    return image;
}

}  // namespace

TImage::~TImage() {
    for (TImageFrame& f : frames) free_frame(f);
}

TSpriteGraphics& DrawState() { return dm.gfx; }

uint32_t DrawStateRGBA() {
    const TSpriteGraphics& g = dm.gfx;
    return uint32_t(g.color_red) | uint32_t(g.color_green) << 8 | uint32_t(g.color_blue) << 16 |
           uint32_t(dm.alpha_byte) << 24;
}

void DrawStateApply() {
    TSpriteGraphics& g = dm.gfx;
    g.viewport_x = 0;
    g.viewport_y = 0;
    g.viewport_w = GraphicsWidth();
    g.viewport_h = GraphicsHeight();
    int blend = g.blend_mode;
    g.blend_mode = -1;
    SetBlend(blend);
    SetColor(g.color_red, g.color_green, g.color_blue);
    SetAlpha(g.color_alpha);
    SetTransform(g.tform_rot, g.tform_scale_x, g.tform_scale_y);
    SetViewport(g.viewport_x, g.viewport_y, g.viewport_w, g.viewport_h);
}

void Cls() {
    if (!drawing_possible()) return;
    RendererClear(dm.gfx.clscolor_red, dm.gfx.clscolor_green, dm.gfx.clscolor_blue);
}

void SetClsColor(int r, int g, int b) {
    dm.gfx.clscolor_red = std::clamp(r, 0, 255);
    dm.gfx.clscolor_green = std::clamp(g, 0, 255);
    dm.gfx.clscolor_blue = std::clamp(b, 0, 255);
}

void SetColor(int r, int g, int b) {
    dm.gfx.color_red = std::clamp(r, 0, 255);
    dm.gfx.color_green = std::clamp(g, 0, 255);
    dm.gfx.color_blue = std::clamp(b, 0, 255);
}

void GetColor(int* r, int* g, int* b) {
    *r = dm.gfx.color_red;
    *g = dm.gfx.color_green;
    *b = dm.gfx.color_blue;
}

void SetAlpha(float alpha) {
    alpha = std::clamp(alpha, 0.0f, 1.0f);
    dm.gfx.color_alpha = alpha;
    dm.alpha_byte = uint8_t(int(double(alpha) * 255));
}

float GetAlpha() { return dm.gfx.color_alpha; }

void SetBlend(int mode) {
    if (mode == dm.gfx.blend_mode) return;
    dm.gfx.blend_mode = mode;
    if (drawing_possible()) RendererSetBlend(mode);
}

int GetBlend() { return dm.gfx.blend_mode; }

void SetRotation(float degrees) {
    dm.gfx.tform_rot = degrees;
    update_matrix();
}

float GetRotation() { return dm.gfx.tform_rot; }

void SetScale(float sx, float sy) {
    dm.gfx.tform_scale_x = sx;
    dm.gfx.tform_scale_y = sy;
    update_matrix();
}

void GetScale(float* sx, float* sy) {
    *sx = dm.gfx.tform_scale_x;
    *sy = dm.gfx.tform_scale_y;
}

void SetTransform(float degrees, float sx, float sy) {
    dm.gfx.tform_rot = degrees;
    dm.gfx.tform_scale_x = sx;
    dm.gfx.tform_scale_y = sy;
    update_matrix();
}

void SetOrigin(float x, float y) {
    dm.gfx.origin_x = x;
    dm.gfx.origin_y = y;
}

void SetHandle(float x, float y) {
    dm.gfx.handle_x = -x;
    dm.gfx.handle_y = -y;
}

void SetViewport(int x, int y, int w, int h) {
    dm.gfx.viewport_x = x;
    dm.gfx.viewport_y = y;
    dm.gfx.viewport_w = w;
    dm.gfx.viewport_h = h;
    if (drawing_possible()) RendererSetScissor(x, y, w, h);
}

void SetMaskColor(int r, int g, int b) {
    dm.mask_r = r;
    dm.mask_g = g;
    dm.mask_b = b;
}

void AutoImageFlags(int flags) {
    if (flags != -1) dm.auto_flags = flags;
}

void AutoMidHandle(int on) { dm.auto_mid = on != 0; }

void MidHandleImage(const Image& image) {
    if (!image) return;
    image->handle_x = image->width * 0.5f;
    image->handle_y = image->height * 0.5f;
}

void SetImageHandle(const Image& image, float x, float y) {
    if (!image) return;
    image->handle_x = x;
    image->handle_y = y;
}

namespace {

// A pixmap as an image's frame holds it: masked by the image's mask colour when the
// image is masked and the pixmap has no alpha.
Pixmap image_pixels(const TImage& image, const Pixmap& pixmap) {
    if (pixmap.channels == 3 && (image.flags & MASKEDIMAGE)) return MaskPixmap(pixmap, image.mask_r, image.mask_g, image.mask_b);
    return ToRGBA(pixmap);
}

}  // namespace

void SetImagePixels(const Image& image, int frame, const Pixmap& pixmap) {
    if (!image || frame < 0 || frame >= int(image->pixmaps.size())) return;
    image->pixmaps[frame] = image_pixels(*image, pixmap);
    image->source.clear();
    free_frame(image->frames[frame]);
}

Image LoadImage(const std::string& url, int flags) {
    Pixmap pix = LoadPixmap(url);
    if (pix.empty()) return nullptr;
    if (flags == -1) flags = dm.auto_flags;
    Image image = make_image(pix.width, pix.height, 1, flags);
    SetImagePixels(image, 0, pix);
    // Embedded pictures never change: read again when needed, not kept.
    if (url.size() > 8 && strncasecmp(url.c_str(), "incbin::", 8) == 0) image->source = url;
    return image;
}

Image CreateImage(int width, int height, int frames, int flags) {
    if (flags == -1) flags = dm.auto_flags;
    return make_image(width, height, frames, flags | DYNAMICIMAGE);
}

void GrabImage(const Image& image, int x, int y, int frame) {
    if (!image || frame < 0 || frame >= int(image->pixmaps.size()) || !drawing_possible()) return;
    Pixmap rgb = ReadPicture(x, y, image->width, image->height);
    // A grab is masked with the mask colour of the moment, not the image's own.
    Pixmap rgba = (image->flags & MASKEDIMAGE) ? MaskPixmap(rgb, dm.mask_r, dm.mask_g, dm.mask_b) : ToRGBA(rgb);
    image->pixmaps[frame] = std::move(rgba);
    image->source.clear();
    free_frame(image->frames[frame]);
}

DrawMark CurrentDrawMark() {
    DrawMark mark;
    auto add = [&mark](const auto& field) {
        const auto* from = reinterpret_cast<const uint8_t*>(&field);
        mark.bytes.insert(mark.bytes.end(), from, from + sizeof field);
    };
    const TSpriteGraphics& g = dm.gfx;
    mark.bytes.reserve(128);
    add(g.color_red), add(g.color_green), add(g.color_blue), add(g.color_alpha);
    add(g.clscolor_red), add(g.clscolor_green), add(g.clscolor_blue), add(g.line_width);
    add(g.tform_rot), add(g.tform_scale_x), add(g.tform_scale_y);
    add(g.tform_ix), add(g.tform_iy), add(g.tform_jx), add(g.tform_jy);
    add(g.viewport_x), add(g.viewport_y), add(g.viewport_w), add(g.viewport_h);
    add(g.origin_x), add(g.origin_y), add(g.handle_x), add(g.handle_y), add(g.blend_mode);
    add(dm.alpha_byte), add(dm.auto_flags), add(dm.auto_mid), add(dm.mask_r), add(dm.mask_g), add(dm.mask_b);
    mark.font = g.image_font.get();
    return mark;
}

uint64_t PictureVersion() { return (uint64_t(uint32_t(GraphicsSeq())) << 40) + RendererDrawings() + 1; }

Pixmap ReadPicture(int x, int y, int w, int h) {
    if (w < 0) w = GraphicsWidth();
    if (h < 0) h = GraphicsHeight();
    Pixmap rgb = MakePixmap(w, h, 3);
    if (!drawing_possible() || w <= 0 || h <= 0) return rgb;
    // Parts of the rectangle outside the picture read as black.
    int cx0 = std::max(x, 0), cy0 = std::max(y, 0);
    int cx1 = std::min(x + w, GraphicsWidth()), cy1 = std::min(y + h, GraphicsHeight());
    if (cx0 >= cx1 || cy0 >= cy1) return rgb;
    Pixmap inside = MakePixmap(cx1 - cx0, cy1 - cy0, 3);
    RendererReadPixels(cx0, cy0, inside.width, inside.height, inside.pixels.data());
    for (int row = 0; row < inside.height; ++row) {
        std::copy_n(inside.at(0, row), size_t(inside.width) * 3, rgb.at(cx0 - x, cy0 - y + row));
    }
    return rgb;
}

void DrawImageFrame(const Image& image, int frame, float x0, float y0, float x1, float y1, float tx, float ty) {
    if (!image || frame < 0 || frame >= int(image->frames.size()) || !drawing_possible()) return;
    if (!ensure_frame(*image, frame)) return;
    const TImageFrame& f = image->frames[frame];
    const float uv[8] = {f.u0, f.v0, f.u1, f.v0, f.u1, f.v1, f.u0, f.v1};
    emit_quad(f.texture, f.binary, x0, y0, x1, y1, tx, ty, uv);
}

void DrawImage(const Image& image, float x, float y, int frame) {
    if (!image) return;
    float x0 = -image->handle_x, y0 = -image->handle_y;
    DrawImageFrame(image, frame, x0, y0, x0 + image->width, y0 + image->height, x + dm.gfx.origin_x,
                   y + dm.gfx.origin_y);
}

void DrawRect(float x, float y, float w, float h) {
    if (!drawing_possible()) return;
    const float uv[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    float x0 = dm.gfx.handle_x, y0 = dm.gfx.handle_y;
    emit_quad(0, true, x0, y0, x0 + w, y0 + h, x + dm.gfx.origin_x, y + dm.gfx.origin_y, uv);
}

int ImageWidth(const Image& image) { return image ? image->width : 0; }
int ImageHeight(const Image& image) { return image ? image->height : 0; }
