#include "engine/renderer.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Vertex {
    float x, y, u, v;
    uint32_t rgba;
};

struct GlFunctions {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
    PFNGLGENERATEMIPMAPPROC GenerateMipmap = nullptr;
};

struct Target {
    GLuint fbo = 0;
    GLuint texture = 0;
    int w = 0, h = 0;
};

// A run of quads sharing blend, texture and clip rectangle: one draw call.
struct Batch {
    int blend;
    GLuint texture;
    int scissor[4];
    size_t first;
    size_t count;
};

// Drawing is recorded and handed to GL only when someone looks at the picture (a
// read-back or a present). A clear drops everything recorded before it, so frames
// nobody looks at (a headless run between screenshots) cost no rasterising at all.
struct RendererState {
    GlFunctions gl;
    Target picture;     // the game draws here
    Target upscaled;    // whole-multiple enlargement on the way to the window
    int width = 0, height = 0;
    int wanted_blend = 1;    // set by the drawing state
    int scissor[4] = {0, 0, 0, 0};
    bool open = false;       // whether batches.back() still takes quads
    std::vector<Vertex> vertices;
    std::vector<Batch> batches;
    bool clear_pending = false;
    int clear_rgb[3] = {0, 0, 0};
    int applied_blend = -1;  // GL's state while submitting
    std::vector<GLuint> doomed;  // textures to delete once the recorded batches are drawn
    RendererStats stats;
    int max_texture = 0;
};

RendererState ren;

template <typename F>
bool load(F& fn, const char* name) {
    fn = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return fn != nullptr;
}

bool make_target(Target& t, int w, int h) {
    if (t.w == w && t.h == h && t.fbo) return true;
    if (t.fbo) ren.gl.DeleteFramebuffers(1, &t.fbo);
    if (t.texture) glDeleteTextures(1, &t.texture);
    t = Target{};
    glGenTextures(1, &t.texture);
    glBindTexture(GL_TEXTURE_2D, t.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    ren.gl.GenFramebuffers(1, &t.fbo);
    ren.gl.BindFramebuffer(GL_FRAMEBUFFER, t.fbo);
    ren.gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.texture, 0);
    bool ok = ren.gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    t.w = w;
    t.h = h;
    return ok;
}

void apply_blend(int mode) {
    switch (mode) {
        case 1:  // mask: no blending, drop what is less than half opaque
            glDisable(GL_BLEND);
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GEQUAL, 0.5f);
            break;
        case 3:
            glEnable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            break;
        case 4:
            glEnable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            break;
        case 5:
            glEnable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            glBlendFunc(GL_DST_COLOR, GL_ZERO);
            break;
        default:  // solid
            glDisable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
            break;
    }
}

void bind_picture() {
    ren.gl.BindFramebuffer(GL_FRAMEBUFFER, ren.picture.fbo);
    glViewport(0, 0, ren.width, ren.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // y down, origin top-left, like the game's screen.
    glOrtho(0, ren.width, ren.height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_SCISSOR_TEST);
    glScissor(ren.scissor[0], ren.height - ren.scissor[1] - ren.scissor[3], ren.scissor[2], ren.scissor[3]);
}

int pow2_at_least(int n) {
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

}  // namespace

bool RendererInit(int width, int height) {
    auto& gl = ren.gl;
    if (!load(gl.GenFramebuffers, "glGenFramebuffers") || !load(gl.DeleteFramebuffers, "glDeleteFramebuffers") ||
        !load(gl.BindFramebuffer, "glBindFramebuffer") ||
        !load(gl.FramebufferTexture2D, "glFramebufferTexture2D") ||
        !load(gl.CheckFramebufferStatus, "glCheckFramebufferStatus") ||
        !load(gl.BlitFramebuffer, "glBlitFramebuffer") || !load(gl.GenerateMipmap, "glGenerateMipmap")) {
        return false;
    }
    ren.picture = Target{};
    ren.upscaled = Target{};
    ren.width = width;
    ren.height = height;
    ren.wanted_blend = 1;
    ren.applied_blend = -1;
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    ren.clear_pending = false;
    ren.scissor[0] = 0;
    ren.scissor[1] = 0;
    ren.scissor[2] = width;
    ren.scissor[3] = height;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &ren.max_texture);
    if (!make_target(ren.picture, width, height)) return false;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    bind_picture();
    return true;
}

void RendererShutdown() {
    ren.doomed.clear();
    ren.batches.clear();
    ren.vertices.clear();
    ren.picture = Target{};
    ren.upscaled = Target{};
    ren.width = ren.height = 0;
}

namespace {

// Hands every recorded batch to GL, after the clear that came before them.
void submit() {
    if (ren.clear_pending) {
        glDisable(GL_SCISSOR_TEST);
        glClearColor(ren.clear_rgb[0] / 255.0f, ren.clear_rgb[1] / 255.0f, ren.clear_rgb[2] / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        ren.clear_pending = false;
    }
    if (ren.batches.empty()) return;
    const Vertex* v = ren.vertices.data();
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &v->x);
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v->u);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &v->rgba);
    for (const Batch& b : ren.batches) {
        if (b.blend != ren.applied_blend) {
            apply_blend(b.blend);
            ren.applied_blend = b.blend;
        }
        if (b.texture) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, b.texture);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        glScissor(b.scissor[0], ren.height - b.scissor[1] - b.scissor[3], std::max(b.scissor[2], 0),
                  std::max(b.scissor[3], 0));
        glDrawArrays(GL_TRIANGLES, GLint(b.first), GLsizei(b.count));
        ren.stats.draw_calls++;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    if (!ren.doomed.empty()) {
        glDeleteTextures(GLsizei(ren.doomed.size()), ren.doomed.data());
        ren.doomed.clear();
    }
}

}  // namespace

void RendererFlush() { ren.open = false; }

void RendererSetBlend(int mode) { ren.wanted_blend = mode; }

void RendererSetScissor(int x, int y, int w, int h) {
    ren.scissor[0] = x;
    ren.scissor[1] = y;
    ren.scissor[2] = w;
    ren.scissor[3] = h;
}

void RendererQuad(unsigned texture, const float xy[8], const float uv[8], uint32_t rgba, bool binary_alpha) {
    // With the vertex fully opaque and texels either clear or opaque, mask and alpha
    // blending give the same pixels, so such a quad joins a batch of either.
    bool either = binary_alpha && (rgba >> 24) == 255 && (ren.wanted_blend == 1 || ren.wanted_blend == 3);
    bool joins = false;
    if (ren.open) {
        const Batch& b = ren.batches.back();
        bool blend_ok = b.blend == ren.wanted_blend || (either && (b.blend == 1 || b.blend == 3));
        joins = blend_ok && b.texture == texture && std::equal(b.scissor, b.scissor + 4, ren.scissor);
    }
    if (!joins) {
        Batch b{ren.wanted_blend, texture, {ren.scissor[0], ren.scissor[1], ren.scissor[2], ren.scissor[3]},
                ren.vertices.size(), 0};
        ren.batches.push_back(b);
        ren.open = true;
    }
    static const int corners[6] = {0, 1, 2, 0, 2, 3};
    for (int c : corners) {
        ren.vertices.push_back(Vertex{xy[c * 2], xy[c * 2 + 1], uv[c * 2], uv[c * 2 + 1], rgba});
    }
    ren.batches.back().count += 6;
    ren.stats.quads++;
}

void RendererClear(int r, int g, int b) {
    // Everything drawn so far is about to be covered.
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    ren.clear_pending = true;
    ren.clear_rgb[0] = r;
    ren.clear_rgb[1] = g;
    ren.clear_rgb[2] = b;
}

void RendererReadPixels(int x, int y, int w, int h, uint8_t* rgb) {
    submit();
    if (w <= 0 || h <= 0) return;
    std::vector<uint8_t> rows(size_t(w) * h * 4);
    // RGBA is the renderer's fast path; the framebuffer's rows run bottom-up.
    glReadPixels(x, ren.height - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = &rows[size_t(h - 1 - row) * w * 4];
        uint8_t* dst = rgb + size_t(row) * w * 3;
        for (int i = 0; i < w; ++i) {
            dst[i * 3] = src[i * 4];
            dst[i * 3 + 1] = src[i * 4 + 1];
            dst[i * 3 + 2] = src[i * 4 + 2];
        }
    }
}

int RendererMaxTextureSize() { return ren.max_texture; }

unsigned RendererMakeTexture(const Pixmap& source, int flags, int* tex_w, int* tex_h) {
    int tw = pow2_at_least(source.width), th = pow2_at_least(source.height);
    int max = ren.max_texture > 0 ? ren.max_texture : 1;
    while (tw > max && tw > 1) tw /= 2;
    while (th > max && th > 1) th /= 2;
    Pixmap pix = source;
    if (tw < pix.width || th < pix.height) {
        // Too big for the renderer: shrink the picture to fit.
        Pixmap small = MakePixmap(std::min(tw, pix.width), std::min(th, pix.height), 4);
        for (int y = 0; y < small.height; ++y) {
            for (int x = 0; x < small.width; ++x) {
                const uint8_t* s = pix.at(x * pix.width / small.width, y * pix.height / small.height);
                std::copy_n(s, 4, small.at(x, y));
            }
        }
        pix = std::move(small);
    }
    Pixmap tex = MakePixmap(tw, th, 4);
    for (int y = 0; y < pix.height; ++y) std::copy_n(pix.at(0, y), size_t(pix.width) * 4, tex.at(0, y));
    // Copy the last column, row and corner outward so edge sampling stays inside the picture.
    if (tw > pix.width) {
        for (int y = 0; y < pix.height; ++y) std::copy_n(pix.at(pix.width - 1, y), 4, tex.at(pix.width, y));
    }
    if (th > pix.height) {
        std::copy_n(pix.at(0, pix.height - 1), size_t(pix.width) * 4, tex.at(0, pix.height));
        if (tw > pix.width) std::copy_n(pix.at(pix.width - 1, pix.height - 1), 4, tex.at(pix.width, pix.height));
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    bool linear = flags & 2, mipmapped = flags & 4;
    GLint min_filter = linear ? (mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR)
                              : (mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.pixels.data());
    if (mipmapped) ren.gl.GenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    *tex_w = tw;
    *tex_h = th;
    return name;
}

void RendererFreeTexture(unsigned texture) {
    if (!texture || !ren.width) return;
    // Recorded batches may still use it: it goes with the next submit, which comes
    // soon when nothing looks at the picture for a long time.
    ren.doomed.push_back(texture);
    if (ren.doomed.size() > 8) submit();
}

void RendererFitRect(int window_w, int window_h, int* x, int* y, int* w, int* h) {
    double scale = std::min(double(window_w) / ren.width, double(window_h) / ren.height);
    *w = int(std::lround(ren.width * scale));
    *h = int(std::lround(ren.height * scale));
    *x = (window_w - *w) / 2;
    *y = (window_h - *h) / 2;
}

void RendererPresent(int drawable_w, int drawable_h) {
    submit();
    int x, y, w, h;
    RendererFitRect(drawable_w, drawable_h, &x, &y, &w, &h);
    glDisable(GL_SCISSOR_TEST);
    ren.gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glViewport(0, 0, drawable_w, drawable_h);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // GL counts rows from the bottom, so the destination y is measured from there.
    int dst_y0 = drawable_h - y - h;
    int whole = std::max(1, std::min(w / ren.width, h / ren.height));
    if (w == ren.width * whole && h == ren.height * whole) {
        ren.gl.BindFramebuffer(GL_READ_FRAMEBUFFER, ren.picture.fbo);
        ren.gl.BlitFramebuffer(0, 0, ren.width, ren.height, x, dst_y0, x + w, dst_y0 + h,
                               GL_COLOR_BUFFER_BIT, GL_NEAREST);
    } else {
        // Sharp pixels at any size: enlarge by the next whole multiple with nearest
        // sampling, then scale down smoothly to the window.
        int up = int(std::ceil(std::max(double(w) / ren.width, double(h) / ren.height)));
        if (make_target(ren.upscaled, ren.width * up, ren.height * up)) {
            ren.gl.BindFramebuffer(GL_READ_FRAMEBUFFER, ren.picture.fbo);
            ren.gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, ren.upscaled.fbo);
            ren.gl.BlitFramebuffer(0, 0, ren.width, ren.height, 0, 0, ren.upscaled.w, ren.upscaled.h,
                                   GL_COLOR_BUFFER_BIT, GL_NEAREST);
            ren.gl.BindFramebuffer(GL_READ_FRAMEBUFFER, ren.upscaled.fbo);
            ren.gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            ren.gl.BlitFramebuffer(0, 0, ren.upscaled.w, ren.upscaled.h, x, dst_y0, x + w, dst_y0 + h,
                                   GL_COLOR_BUFFER_BIT, GL_LINEAR);
        }
    }
}

void RendererResumeDrawing() { bind_picture(); }

RendererStats RendererTakeStats() {
    RendererStats s = ren.stats;
    ren.stats = RendererStats{};
    return s;
}
