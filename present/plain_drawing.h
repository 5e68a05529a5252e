#pragma once
// Drawing plainly for a while, over whatever the frame's drawing left: lines of text,
// backings and notices over the picture. The scope sets the plain state (alpha blending
// at full alpha, no rotation, scale 1, the given font) and puts the drawing state back
// as it found it when it ends (colour, alpha, blend, rotation, scale and font), so the
// frame's next drawing and the at-rest comparison see nothing of it.
#include "platform/font.h"

class PlainDrawing {
public:
    explicit PlainDrawing(const ImageFont& font);
    ~PlainDrawing();
    PlainDrawing(const PlainDrawing&) = delete;
    PlainDrawing& operator=(const PlainDrawing&) = delete;

private:
    int r_ = 0, g_ = 0, b_ = 0, blend_ = 0;
    float alpha_ = 1, rotation_ = 0, sx_ = 1, sy_ = 1;
    ImageFont font_;
};
