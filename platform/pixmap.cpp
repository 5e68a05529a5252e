#include "platform/pixmap.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "platform/resources.h"

namespace {

struct ReadCursor {
    const std::vector<uint8_t>* bytes;
    size_t pos;
};

void read_bytes(png_structp png, png_bytep out, png_size_t count) {
    auto* cur = static_cast<ReadCursor*>(png_get_io_ptr(png));
    if (cur->pos + count > cur->bytes->size()) png_error(png, "truncated");
    std::memcpy(out, cur->bytes->data() + cur->pos, count);
    cur->pos += count;
}

void quiet_warning(png_structp, png_const_charp) {}

}  // namespace

Pixmap MakePixmap(int width, int height, int channels) {
    Pixmap p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.pixels.assign(size_t(width) * height * channels, 0);
    return p;
}

Pixmap DecodePNG(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quiet_warning);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return {};
    }
    Pixmap result;
    std::vector<png_bytep> rows;
    ReadCursor cursor{&bytes, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return {};
    }
    png_set_read_fn(png, &cursor, read_bytes);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    int channels = png_get_channels(png, info);
    if (channels != 3 && channels != 4) {
        png_destroy_read_struct(&png, &info, nullptr);
        return {};
    }
    result = MakePixmap(int(png_get_image_width(png, info)), int(png_get_image_height(png, info)), channels);
    rows.resize(result.height);
    for (int y = 0; y < result.height; ++y) rows[y] = result.at(0, y);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

Pixmap LoadPixmap(const std::string& url) {
    std::vector<uint8_t> bytes;
    if (!ReadUrl(url, bytes)) return {};
    return DecodePNG(bytes);
}

bool SavePNG(const std::string& path, const Pixmap& pixmap) {
    if (pixmap.empty() || (pixmap.channels != 3 && pixmap.channels != 4)) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quiet_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, pixmap.width, pixmap.height, 8,
                 pixmap.channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < pixmap.height; ++y) png_write_row(png, const_cast<png_bytep>(pixmap.at(0, y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

Pixmap MaskPixmap(const Pixmap& rgb, int mask_r, int mask_g, int mask_b) {
    Pixmap out = MakePixmap(rgb.width, rgb.height, 4);
    auto is_mask = [&](const uint8_t* p) { return p[0] == mask_r && p[1] == mask_g && p[2] == mask_b; };
    for (int y = 0; y < rgb.height; ++y) {
        for (int x = 0; x < rgb.width; ++x) {
            const uint8_t* src = rgb.at(x, y);
            uint8_t* dst = out.at(x, y);
            if (!is_mask(src)) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 255;
                continue;
            }
            int sum[3] = {0, 0, 0}, n = 0;
            for (int ny = y - 1; ny <= y + 1; ++ny) {
                for (int nx = x - 1; nx <= x + 1; ++nx) {
                    if (nx < 0 || ny < 0 || nx >= rgb.width || ny >= rgb.height) continue;
                    const uint8_t* q = rgb.at(nx, ny);
                    if (is_mask(q)) continue;
                    for (int c = 0; c < 3; ++c) sum[c] += q[c];
                    ++n;
                }
            }
            for (int c = 0; c < 3; ++c) dst[c] = uint8_t(n ? sum[c] / n : 0);
            dst[3] = 0;
        }
    }
    return out;
}

Pixmap ToRGBA(const Pixmap& pixmap) {
    if (pixmap.channels == 4) return pixmap;
    Pixmap out = MakePixmap(pixmap.width, pixmap.height, 4);
    size_t n = size_t(pixmap.width) * pixmap.height;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* s = &pixmap.pixels[i * pixmap.channels];
        uint8_t* d = &out.pixels[i * 4];
        if (pixmap.channels == 1) {
            d[0] = d[1] = d[2] = 255;
            d[3] = s[0];
        } else {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
    }
    return out;
}
