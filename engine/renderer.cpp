#include "engine/renderer.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/renderer_gl.h"

namespace {

// Every quad carries where its texels are, so quads of any frame share one batch.
// kind: 0 flat, 1 shared texture (nearest), 2 glyph array (smoothed), 3 own texture.
struct Vertex {
    float x, y, u, v;
    uint32_t rgba;
    float place[4];  // shared texture: the frame's corner and size; glyph array: layer
    float tex[4];    // the frame's power-of-two texture size, kind
};

enum Kind { FLAT = 0, SHARED = 1, LAYER = 2, OWN = 3 };

struct FrameEntry {
    bool live = false;
    Kind kind = OWN;
    AtlasSlot slot;
    int layer = -1;
    GLuint own = 0;
    int w = 0, h = 0, tw = 0, th = 0;
};

// A run of quads sharing blend, clip rectangle and (for frames with a texture of
// their own) texture: one draw call.
struct Batch {
    int blend;
    GLuint texture;
    int scissor[4];
    size_t first;
    size_t count;
};

constexpr int kSharedSize = 2048;
constexpr int kLayerSize = 64;
constexpr int kLayers = 128;

// The shader picks texels itself where one texture holds many frames: the texel the
// frame's own texture would give under nearest sampling with edge clamping (its last
// column and row copied outward, the rest of the power-of-two texture clear).
const char* kBatchVertex = R"(#version 120
varying vec4 place;
varying vec4 tex;
void main() {
    gl_TexCoord[0] = gl_MultiTexCoord0;
    place = gl_MultiTexCoord1;
    tex = gl_MultiTexCoord2;
    gl_FrontColor = gl_Color;
    gl_Position = ftransform();
}
)";

const char* kBatchFragment = R"(#version 120
#extension GL_EXT_texture_array : require
uniform sampler2D shared_texture;
uniform sampler2DArray glyphs;
uniform sampler2D own;
uniform vec2 shared_size;
uniform float layer_size;
varying vec4 place;
varying vec4 tex;
void main() {
    vec4 texel = vec4(1.0);
    vec2 uv = gl_TexCoord[0].xy;
    if (tex.z == 1.0) {
        vec2 t = clamp(floor(uv * tex.xy), vec2(0.0), tex.xy - 1.0);
        if (t.x > place.z || t.y > place.w) {
            texel = vec4(0.0);
        } else {
            t = min(t, place.zw - 1.0);
            texel = texture2D(shared_texture, (place.xy + t + 0.5) / shared_size);
        }
    } else if (tex.z == 2.0) {
        texel = texture2DArray(glyphs, vec3(uv * (tex.xy / layer_size), place.x));
    } else if (tex.z == 3.0) {
        texel = texture2D(own, uv);
    }
    gl_FragColor = texel * gl_Color;
}
)";

// Drawing is recorded and handed to GL only when someone looks at the picture (a
// read-back or a present). A clear drops everything recorded before it, so frames
// nobody looks at (a headless run between screenshots) cost no rasterising at all.
struct RendererState {
    GlFunctions gl;
    Target picture;  // the game draws here
    PresentState present;
    int width = 0, height = 0;
    int wanted_blend = 1;  // set by the drawing state
    int scissor[4] = {0, 0, 0, 0};
    bool open = false;  // whether batches.back() still takes quads
    std::vector<Vertex> vertices;
    std::vector<Batch> batches;
    bool clear_pending = false;
    int clear_rgb[3] = {0, 0, 0};
    int applied_blend = -1;  // GL's state while submitting
    std::vector<GLuint> doomed;  // textures to delete once the recorded batches are drawn
    // Places of freed frames, free again once the recorded batches are drawn or dropped.
    std::vector<AtlasSlot> released_slots;
    std::vector<int> released_layers;
    RendererStats stats;
    int max_texture = 0;
    // Shared textures; program 0 means one texture per frame, fixed function.
    GLuint program = 0;
    GLuint buffer = 0;
    GLuint shared_texture = 0;
    GLuint glyph_array = 0;
    AtlasPacker packer{kSharedSize, kSharedSize};
    std::vector<int> free_layers;
    std::vector<FrameEntry> frames;  // frame handle n is frames[n - 1]
    std::vector<unsigned> free_handles;
};

RendererState ren;

template <typename F>
bool load(F& fn, const char* name) {
    fn = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return fn != nullptr;
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

bool load_shader_functions() {
    auto& gl = ren.gl;
    return load(gl.CreateShader, "glCreateShader") && load(gl.ShaderSource, "glShaderSource") &&
           load(gl.CompileShader, "glCompileShader") && load(gl.GetShaderiv, "glGetShaderiv") &&
           load(gl.DeleteShader, "glDeleteShader") && load(gl.CreateProgram, "glCreateProgram") &&
           load(gl.AttachShader, "glAttachShader") && load(gl.LinkProgram, "glLinkProgram") &&
           load(gl.GetProgramiv, "glGetProgramiv") && load(gl.DeleteProgram, "glDeleteProgram") &&
           load(gl.UseProgram, "glUseProgram") && load(gl.GetUniformLocation, "glGetUniformLocation") &&
           load(gl.Uniform1i, "glUniform1i") && load(gl.Uniform2f, "glUniform2f") &&
           load(gl.GenBuffers, "glGenBuffers") && load(gl.DeleteBuffers, "glDeleteBuffers") &&
           load(gl.BindBuffer, "glBindBuffer") && load(gl.BufferData, "glBufferData") &&
           load(gl.ActiveTexture, "glActiveTexture") && load(gl.ClientActiveTexture, "glClientActiveTexture") &&
           load(gl.TexImage3D, "glTexImage3D") && load(gl.TexSubImage3D, "glTexSubImage3D");
}

// The shared texture, the glyph array and the batch program; false leaves the
// fixed-function path in charge.
bool init_shared() {
    const char* fixed = std::getenv("WHIRLBAT_FIXED_FUNCTION");
    if (fixed && *fixed && std::strcmp(fixed, "0") != 0) return false;
    const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!ext || !std::strstr(ext, "GL_EXT_texture_array") || ren.max_texture < kSharedSize) return false;
    if (!load_shader_functions()) return false;
    auto& gl = ren.gl;
    ren.program = RendererCompile(gl, kBatchVertex, kBatchFragment);
    if (!ren.program) return false;
    gl.UseProgram(ren.program);
    gl.Uniform1i(gl.GetUniformLocation(ren.program, "shared_texture"), 0);
    gl.Uniform1i(gl.GetUniformLocation(ren.program, "glyphs"), 1);
    gl.Uniform1i(gl.GetUniformLocation(ren.program, "own"), 2);
    gl.Uniform2f(gl.GetUniformLocation(ren.program, "shared_size"), float(kSharedSize), float(kSharedSize));
    glUniform1f(gl.GetUniformLocation(ren.program, "layer_size"), float(kLayerSize));
    gl.UseProgram(0);
    gl.GenBuffers(1, &ren.buffer);

    glGenTextures(1, &ren.shared_texture);
    glBindTexture(GL_TEXTURE_2D, ren.shared_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSharedSize, kSharedSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);

    // Glyphs are sampled with the filters a glyph's own texture has; every layer keeps
    // its full chain of smaller levels so the array is always complete.
    glGenTextures(1, &ren.glyph_array);
    glBindTexture(GL_TEXTURE_2D_ARRAY_EXT, ren.glyph_array);
    glTexParameteri(GL_TEXTURE_2D_ARRAY_EXT, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY_EXT, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY_EXT, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D_ARRAY_EXT, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    for (int level = 0, size = kLayerSize; size >= 1; ++level, size /= 2) {
        gl.TexImage3D(GL_TEXTURE_2D_ARRAY_EXT, level, GL_RGBA8, size, size, kLayers, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                      nullptr);
    }
    glBindTexture(GL_TEXTURE_2D_ARRAY_EXT, 0);
    ren.packer = AtlasPacker(kSharedSize, kSharedSize);
    ren.free_layers.clear();
    for (int i = kLayers - 1; i >= 0; --i) ren.free_layers.push_back(i);
    return true;
}

void release_shared() {
    auto& gl = ren.gl;
    if (ren.program) gl.DeleteProgram(ren.program);
    if (ren.buffer) gl.DeleteBuffers(1, &ren.buffer);
    if (ren.shared_texture) glDeleteTextures(1, &ren.shared_texture);
    if (ren.glyph_array) glDeleteTextures(1, &ren.glyph_array);
    ren.program = ren.buffer = ren.shared_texture = ren.glyph_array = 0;
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
    ren.width = width;
    ren.height = height;
    ren.wanted_blend = 1;
    ren.applied_blend = -1;
    ren.batches.clear();
    ren.vertices.clear();
    ren.frames.clear();
    ren.free_handles.clear();
    ren.open = false;
    ren.clear_pending = false;
    ren.scissor[0] = 0;
    ren.scissor[1] = 0;
    ren.scissor[2] = width;
    ren.scissor[3] = height;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &ren.max_texture);
    if (!RendererMakeTarget(gl, ren.picture, width, height)) return false;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (init_shared()) {
        // Texture coordinates 1 and 2 carry each quad's texture place.
        for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE2}) {
            gl.ClientActiveTexture(unit);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        gl.ClientActiveTexture(GL_TEXTURE0);
    }
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    PresentInit(gl, ren.present);
    bind_picture();
    return true;
}

void RendererShutdown() {
    if (ren.width) {
        release_shared();
        PresentShutdown(ren.gl, ren.present);
    }
    ren.doomed.clear();
    ren.batches.clear();
    ren.vertices.clear();
    ren.frames.clear();
    ren.free_handles.clear();
    ren.picture = Target{};
    ren.width = ren.height = 0;
}

bool RendererBatchesShared() { return ren.program != 0; }

namespace {

// No recorded quad reads the places of frames freed before this point any more.
void recycle_released() {
    for (const AtlasSlot& slot : ren.released_slots) ren.packer.Release(slot);
    for (int layer : ren.released_layers) ren.free_layers.push_back(layer);
    ren.released_slots.clear();
    ren.released_layers.clear();
}

void bind_texture_unit(GLenum unit, GLenum target, GLuint texture) {
    ren.gl.ActiveTexture(unit);
    glBindTexture(target, texture);
}

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
    auto& gl = ren.gl;
    bool shared = ren.program != 0;
    const Vertex* v = ren.vertices.data();
    if (shared) {
        // One upload of every vertex of the frame; the batches draw from it.
        gl.BindBuffer(GL_ARRAY_BUFFER, ren.buffer);
        gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(ren.vertices.size() * sizeof(Vertex)), v, GL_STREAM_DRAW);
        v = nullptr;
        gl.UseProgram(ren.program);
        bind_texture_unit(GL_TEXTURE1, GL_TEXTURE_2D_ARRAY_EXT, ren.glyph_array);
        bind_texture_unit(GL_TEXTURE0, GL_TEXTURE_2D, ren.shared_texture);
        gl.ClientActiveTexture(GL_TEXTURE1);
        glTexCoordPointer(4, GL_FLOAT, sizeof(Vertex), &v->place);
        gl.ClientActiveTexture(GL_TEXTURE2);
        glTexCoordPointer(4, GL_FLOAT, sizeof(Vertex), &v->tex);
        gl.ClientActiveTexture(GL_TEXTURE0);
    }
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &v->x);
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v->u);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &v->rgba);
    for (const Batch& b : ren.batches) {
        if (b.blend != ren.applied_blend) {
            apply_blend(b.blend);
            ren.applied_blend = b.blend;
        }
        if (shared) {
            if (b.texture) bind_texture_unit(GL_TEXTURE2, GL_TEXTURE_2D, b.texture);
        } else if (b.texture) {
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
    if (shared) {
        bind_texture_unit(GL_TEXTURE2, GL_TEXTURE_2D, 0);
        bind_texture_unit(GL_TEXTURE1, GL_TEXTURE_2D_ARRAY_EXT, 0);
        bind_texture_unit(GL_TEXTURE0, GL_TEXTURE_2D, 0);
        gl.UseProgram(0);
        gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    } else {
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    recycle_released();
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

void RendererQuad(unsigned frame, const float xy[8], const float uv[8], uint32_t rgba, bool binary_alpha) {
    const FrameEntry* f = frame && frame <= ren.frames.size() ? &ren.frames[frame - 1] : nullptr;
    if (frame && (!f || !f->live)) return;
    // Only a frame with its own texture ties a batch to a texture; in fixed function a
    // flat quad is a texture of its own (texturing off).
    GLuint texture = f && (f->kind == OWN) ? f->own : 0;
    // With the vertex fully opaque and texels either clear or opaque, mask and alpha
    // blending give the same pixels, so such a quad joins a batch of either.
    bool either = binary_alpha && (rgba >> 24) == 255 && (ren.wanted_blend == 1 || ren.wanted_blend == 3);
    bool joins = false;
    if (ren.open) {
        const Batch& b = ren.batches.back();
        bool blend_ok = b.blend == ren.wanted_blend || (either && (b.blend == 1 || b.blend == 3));
        bool texture_ok = b.texture == texture || (ren.program && (!texture || !b.texture));
        joins = blend_ok && texture_ok && std::equal(b.scissor, b.scissor + 4, ren.scissor);
        if (joins && texture && !b.texture) ren.batches.back().texture = texture;
    }
    if (!joins) {
        Batch b{ren.wanted_blend, texture, {ren.scissor[0], ren.scissor[1], ren.scissor[2], ren.scissor[3]},
                ren.vertices.size(), 0};
        ren.batches.push_back(b);
        ren.open = true;
    }
    Vertex q{};
    q.rgba = rgba;
    if (f) {
        q.tex[0] = float(f->tw);
        q.tex[1] = float(f->th);
        q.tex[2] = float(f->kind);
        if (f->kind == SHARED) {
            q.place[0] = float(f->slot.x);
            q.place[1] = float(f->slot.y);
            q.place[2] = float(f->w);
            q.place[3] = float(f->h);
        } else if (f->kind == LAYER) {
            q.place[0] = float(f->layer);
        }
    }
    static const int corners[6] = {0, 1, 2, 0, 2, 3};
    for (int c : corners) {
        q.x = xy[c * 2];
        q.y = xy[c * 2 + 1];
        q.u = uv[c * 2];
        q.v = uv[c * 2 + 1];
        ren.vertices.push_back(q);
    }
    ren.batches.back().count += 6;
    ren.stats.quads++;
}

void RendererClear(int r, int g, int b) {
    // Everything drawn so far is about to be covered.
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    recycle_released();
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

namespace {

// The texture a frame would have on its own: the pixels at the top-left of a
// power-of-two texture, the last column, row and corner copied outward, the rest clear.
Pixmap own_texture_pixels(const Pixmap& pix, int tw, int th) {
    Pixmap tex = MakePixmap(tw, th, 4);
    for (int y = 0; y < pix.height; ++y) std::copy_n(pix.at(0, y), size_t(pix.width) * 4, tex.at(0, y));
    if (tw > pix.width) {
        for (int y = 0; y < pix.height; ++y) std::copy_n(pix.at(pix.width - 1, y), 4, tex.at(pix.width, y));
    }
    if (th > pix.height) {
        std::copy_n(pix.at(0, pix.height - 1), size_t(pix.width) * 4, tex.at(0, pix.height));
        if (tw > pix.width) std::copy_n(pix.at(pix.width - 1, pix.height - 1), 4, tex.at(pix.width, pix.height));
    }
    return tex;
}

GLuint make_own_texture(const Pixmap& pix, int flags, int tw, int th) {
    Pixmap tex = own_texture_pixels(pix, tw, th);
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
    return name;
}

bool place_shared(const Pixmap& pix, FrameEntry& e) {
    // A place handed out again is one no recorded quad reads any more.
    if (!ren.packer.Place(pix.width, pix.height, &e.slot)) return false;
    glBindTexture(GL_TEXTURE_2D, ren.shared_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, e.slot.x, e.slot.y, pix.width, pix.height, GL_RGBA, GL_UNSIGNED_BYTE,
                    pix.pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    e.kind = SHARED;
    return true;
}

// A layer holds the frame's own texture at its corner, its last column and row
// repeated to the layer's edge (which is what clamping gives), and smaller levels
// averaged from it.
bool place_layer(const Pixmap& pix, FrameEntry& e) {
    if (e.tw > kLayerSize || e.th > kLayerSize || ren.free_layers.empty()) return false;
    e.layer = ren.free_layers.back();
    ren.free_layers.pop_back();
    Pixmap own = own_texture_pixels(pix, e.tw, e.th);
    Pixmap level = MakePixmap(kLayerSize, kLayerSize, 4);
    for (int y = 0; y < kLayerSize; ++y)
        for (int x = 0; x < kLayerSize; ++x) std::copy_n(own.at(std::min(x, e.tw - 1), std::min(y, e.th - 1)), 4, level.at(x, y));
    glBindTexture(GL_TEXTURE_2D_ARRAY_EXT, ren.glyph_array);
    for (int n = 0;; ++n) {
        ren.gl.TexSubImage3D(GL_TEXTURE_2D_ARRAY_EXT, n, 0, 0, e.layer, level.width, level.height, 1, GL_RGBA,
                             GL_UNSIGNED_BYTE, level.pixels.data());
        if (level.width == 1) break;
        Pixmap half = MakePixmap(level.width / 2, level.height / 2, 4);
        for (int y = 0; y < half.height; ++y)
            for (int x = 0; x < half.width; ++x)
                for (int c = 0; c < 4; ++c)
                    half.at(x, y)[c] = uint8_t((level.at(2 * x, 2 * y)[c] + level.at(2 * x + 1, 2 * y)[c] +
                                                level.at(2 * x, 2 * y + 1)[c] + level.at(2 * x + 1, 2 * y + 1)[c] + 2) / 4);
        level = std::move(half);
    }
    glBindTexture(GL_TEXTURE_2D_ARRAY_EXT, 0);
    e.kind = LAYER;
    return true;
}

}  // namespace

unsigned RendererMakeFrame(const Pixmap& source, int flags, int* tex_w, int* tex_h) {
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
    FrameEntry e;
    e.live = true;
    e.w = pix.width;
    e.h = pix.height;
    e.tw = tw;
    e.th = th;
    bool linear = flags & 2, mipmapped = flags & 4;
    bool placed = false;
    if (ren.program && pix.width == source.width && pix.height == source.height) {
        if (!linear && !mipmapped) placed = place_shared(pix, e);
        else if (linear && mipmapped) placed = place_layer(pix, e);
    }
    if (!placed) {
        e.kind = OWN;
        e.own = make_own_texture(pix, flags, tw, th);
    }
    unsigned handle;
    if (!ren.free_handles.empty()) {
        handle = ren.free_handles.back();
        ren.free_handles.pop_back();
        ren.frames[handle - 1] = e;
    } else {
        ren.frames.push_back(e);
        handle = unsigned(ren.frames.size());
    }
    *tex_w = tw;
    *tex_h = th;
    return handle;
}

void RendererFreeFrame(unsigned frame) {
    if (!frame || !ren.width || frame > ren.frames.size() || !ren.frames[frame - 1].live) return;
    FrameEntry& e = ren.frames[frame - 1];
    e.live = false;
    ren.free_handles.push_back(frame);
    if (e.kind == SHARED) {
        // Its place is handed out again only after the quads that use it are drawn.
        ren.released_slots.push_back(e.slot);
    } else if (e.kind == LAYER) {
        ren.released_layers.push_back(e.layer);
    } else if (e.own) {
        // Recorded batches may still use it: it goes with the next submit, which comes
        // soon when nothing looks at the picture for a long time.
        ren.doomed.push_back(e.own);
        if (ren.doomed.size() > 8) submit();
    }
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
    PresentInto(ren.gl, ren.present, ren.picture, 0, drawable_w, drawable_h, false);
}

void RendererResumeDrawing() { bind_picture(); }

Pixmap RendererPresentedPicture(int w, int h, bool two_pass) {
    Pixmap rgb = MakePixmap(w, h, 3);
    if (!ren.width || w <= 0 || h <= 0) return rgb;
    submit();
    if (RendererMakeTarget(ren.gl, ren.present.probe, w, h)) {
        PresentInto(ren.gl, ren.present, ren.picture, ren.present.probe.fbo, w, h, two_pass);
        ren.gl.BindFramebuffer(GL_READ_FRAMEBUFFER, ren.present.probe.fbo);
        std::vector<uint8_t> rows(size_t(w) * h * 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        for (int row = 0; row < h; ++row) {
            const uint8_t* src = &rows[size_t(h - 1 - row) * w * 4];
            for (int i = 0; i < w; ++i) std::copy_n(src + i * 4, 3, rgb.at(i, row));
        }
    }
    bind_picture();
    return rgb;
}

RendererStats RendererTakeStats() {
    RendererStats s = ren.stats;
    ren.stats = RendererStats{};
    return s;
}
