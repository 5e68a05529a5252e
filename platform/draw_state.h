#pragma once
// Engine-internal: the current drawing state, shared by the image and font modules.
#include <cstdint>
#include <memory>

struct TImageFont;

struct TSpriteGraphics {
    int color_red = 255, color_green = 255, color_blue = 255;
    float color_alpha = 1.0f;
    int clscolor_red = 0, clscolor_green = 0, clscolor_blue = 0;
    float line_width = 1.0f;
    float tform_rot = 0.0f;
    float tform_scale_x = 1.0f, tform_scale_y = 1.0f;
    float tform_ix = 1, tform_iy = 0, tform_jx = 0, tform_jy = 1;
    int viewport_x = 0, viewport_y = 0, viewport_w = 0, viewport_h = 0;
    float origin_x = 0, origin_y = 0;
    float handle_x = 0, handle_y = 0;  // stored negated
    std::shared_ptr<TImageFont> image_font;
    int blend_mode = 1;
};

TSpriteGraphics& DrawState();
// The drawing colour and alpha as the renderer takes them (r, g, b, a bytes).
uint32_t DrawStateRGBA();
