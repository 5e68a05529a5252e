#include "present/plain_drawing.h"

#include "platform/draw.h"

PlainDrawing::PlainDrawing(const ImageFont& font) {
    GetColor(&r_, &g_, &b_);
    alpha_ = GetAlpha();
    rotation_ = GetRotation();
    GetScale(&sx_, &sy_);
    blend_ = GetBlend();
    font_ = GetImageFont();
    SetImageFont(font);
    SetBlend(ALPHABLEND);
    SetAlpha(1.0f);
    SetRotation(0);
    SetScale(1, 1);
}

PlainDrawing::~PlainDrawing() {
    SetImageFont(font_);
    SetColor(r_, g_, b_);
    SetAlpha(alpha_);
    SetBlend(blend_);
    SetTransform(rotation_, sx_, sy_);
}
