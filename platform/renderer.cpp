#include "platform/renderer.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/renderer_gl.h"

namespace {

// Every quad carries where its texels are, so quads of any frame share one batch.
// kind: 0 flat, 1 shared texture (nearest), 2 glyph array (smoothed), 3 own texture.
struct Vertex {
    float x, y, u, v;
    uint32_t rgba;
    float place[4];  // shared texture: the frame's corner and size; glyph array: layer
    float tex[4];    // the frame's power-of-two texture size, kind
};

// A run of quads sharing blend, clip rectangle and (for frames with a texture of
// their own) texture: one draw call.
struct Batch {
    int blend;
    int kind;  // the program: FRAME_SHARED, FRAME_LAYER, FRAME_OWN, or FRAME_FLAT for any
    GLuint texture;
    int scissor[4];
    size_t first;
    size_t count;
};

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

// One program per kind of texture, so that no quad pays for another kind's sampling;
// flat quads (kind 0) join a batch of any of them.
const char* kSharedFragment = R"(#version 120
uniform sampler2D shared_texture;
uniform vec2 shared_size;
varying vec4 place;
varying vec4 tex;
void main() {
    vec2 t = clamp(floor(gl_TexCoord[0].xy * tex.xy), vec2(0.0), tex.xy - 1.0);
    vec4 texel = texture2D(shared_texture, (place.xy + min(t, place.zw - 1.0) + 0.5) / shared_size);
    // Past the copied last column and row, the frame's own texture was clear.
    texel = any(greaterThan(t, place.zw)) ? vec4(0.0) : texel;
    gl_FragColor = (tex.z == 0.0 ? vec4(1.0) : texel) * gl_Color;
}
)";

const char* kLayerFragment = R"(#version 120
#extension GL_EXT_texture_array : require
uniform sampler2DArray glyphs;
uniform float layer_size;
varying vec4 place;
varying vec4 tex;
void main() {
    vec4 texel = texture2DArray(glyphs, vec3(gl_TexCoord[0].xy * (tex.xy / layer_size), place.x));
    gl_FragColor = (tex.z == 0.0 ? vec4(1.0) : texel) * gl_Color;
}
)";

const char* kOwnFragment = R"(#version 120
uniform sampler2D own;
varying vec4 tex;
void main() {
    vec4 texel = texture2D(own, gl_TexCoord[0].xy);
    gl_FragColor = (tex.z == 0.0 ? vec4(1.0) : texel) * gl_Color;
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
    RendererStats stats;
    int max_texture = 0;
    // Shared textures; program 0 means one texture per frame, fixed function.
    GLuint program = 0;  // the shared texture's program; also says shaders are in use
    GLuint programs[4] = {0, 0, 0, 0};  // by FrameKind
    GLuint buffer = 0;
    GLint shared_size_at = -1;
    int shared_rows = 0;  // the height the shared program was last told
    // The last frame drawn from its clear, and the picture after its first vertices.
    struct Kept {
        std::vector<Vertex> vertices;
        std::vector<Batch> batches;
        int clear_rgb[3] = {0, 0, 0};
        uint64_t generation = 0;
        bool valid = false;
        Target picture;            // the picture after the first `drawn` vertices
        size_t drawn = 0;          // 0: nothing kept
        uint64_t picture_generation = 0;
        bool on = true;
    } kept;
    // The picture holds exactly what the kept frame draws from its clear, and nothing
    // since; a frame recorded the same again need not be drawn.
    bool picture_is_kept = false;
    uint64_t picture_serial = 0;  // grows whenever the picture's pixels may change
    uint64_t drawings = 0;        // quads and clears recorded, ever
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

bool load_shader_functions() {
    auto& gl = ren.gl;
    return load(gl.CreateShader, "glCreateShader") && load(gl.ShaderSource, "glShaderSource") &&
           load(gl.CompileShader, "glCompileShader") && load(gl.GetShaderiv, "glGetShaderiv") &&
           load(gl.DeleteShader, "glDeleteShader") && load(gl.CreateProgram, "glCreateProgram") &&
           load(gl.AttachShader, "glAttachShader") && load(gl.LinkProgram, "glLinkProgram") &&
           load(gl.GetProgramiv, "glGetProgramiv") && load(gl.DeleteProgram, "glDeleteProgram") &&
           load(gl.UseProgram, "glUseProgram") && load(gl.GetUniformLocation, "glGetUniformLocation") &&
           load(gl.Uniform1i, "glUniform1i") && load(gl.Uniform1f, "glUniform1f") &&
           load(gl.Uniform2f, "glUniform2f") &&
           load(gl.GenBuffers, "glGenBuffers") && load(gl.DeleteBuffers, "glDeleteBuffers") &&
           load(gl.BindBuffer, "glBindBuffer") && load(gl.BufferData, "glBufferData") &&
           load(gl.ActiveTexture, "glActiveTexture") && load(gl.ClientActiveTexture, "glClientActiveTexture") &&
           load(gl.TexImage3D, "glTexImage3D") && load(gl.TexSubImage3D, "glTexSubImage3D") &&
           load(gl.MultiDrawArrays, "glMultiDrawArrays");
}

void release_shared() {
    auto& gl = ren.gl;
    for (int k = FRAME_SHARED; k <= FRAME_OWN; ++k) {
        if (ren.programs[k]) gl.DeleteProgram(ren.programs[k]);
    }
    if (ren.buffer) gl.DeleteBuffers(1, &ren.buffer);
    ren.program = ren.buffer = 0;
    for (GLuint& p : ren.programs) p = 0;
}

// The batch programs, the shared texture and the glyph array; false leaves the
// fixed-function path in charge.
bool init_shared() {
    const char* fixed = std::getenv("WHIRLBAT_FIXED_FUNCTION");
    if (fixed && *fixed && std::strcmp(fixed, "0") != 0) return false;
    const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!ext || !std::strstr(ext, "GL_EXT_texture_array") || ren.max_texture < kSharedSize) return false;
    if (!load_shader_functions()) return false;
    auto& gl = ren.gl;
    GLuint shared = RendererCompile(gl, kBatchVertex, kSharedFragment);
    GLuint layer = RendererCompile(gl, kBatchVertex, kLayerFragment);
    GLuint own = RendererCompile(gl, kBatchVertex, kOwnFragment);
    ren.programs[FRAME_FLAT] = ren.programs[FRAME_SHARED] = shared;
    ren.programs[FRAME_LAYER] = layer;
    ren.programs[FRAME_OWN] = own;
    if (!shared || !layer || !own) {
        release_shared();
        return false;
    }
    ren.program = shared;
    gl.UseProgram(shared);
    gl.Uniform1i(gl.GetUniformLocation(shared, "shared_texture"), 0);
    ren.shared_size_at = gl.GetUniformLocation(shared, "shared_size");
    ren.shared_rows = 0;
    gl.UseProgram(layer);
    gl.Uniform1i(gl.GetUniformLocation(layer, "glyphs"), 1);
    gl.Uniform1f(gl.GetUniformLocation(layer, "layer_size"), float(kLayerSize));
    gl.UseProgram(own);
    gl.Uniform1i(gl.GetUniformLocation(own, "own"), 2);
    gl.UseProgram(0);
    gl.GenBuffers(1, &ren.buffer);

    return FramesInit(&gl, ren.max_texture, true);
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
    ren.kept = RendererState::Kept{};
    ren.picture_is_kept = false;
    ren.picture_serial++;
    const char* keep = std::getenv("WHIRLBAT_KEEP_PICTURE");
    ren.kept.on = !(keep && std::strcmp(keep, "0") == 0);
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
    if (!init_shared()) FramesInit(&gl, ren.max_texture, false);
    if (ren.program) {
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
        RendererFreeTarget(ren.gl, ren.kept.picture);
    }
    FramesShutdown();
    ren.batches.clear();
    ren.vertices.clear();
    ren.picture = Target{};
    ren.width = ren.height = 0;
}

bool RendererBatchesShared() { return ren.program != 0; }

namespace {

void bind_texture_unit(GLenum unit, GLenum target, GLuint texture) {
    ren.gl.ActiveTexture(unit);
    glBindTexture(target, texture);
}

// Whether quads drawn by the two batches are drawn alike: the same blend, program,
// texture and clip rectangle.
bool same_look(const Batch& a, const Batch& b) {
    return a.blend == b.blend && a.kind == b.kind && a.texture == b.texture &&
           std::equal(a.scissor, a.scissor + 4, b.scissor);
}

bool same_state(const Batch& a, const Batch& b) { return same_look(a, b) && a.first == b.first; }

// Whether the kept frame began from the same clear as this one and drew from the same
// frames: then the same quads draw the same pixels in both.
bool kept_frame_comparable() {
    const auto& k = ren.kept;
    return k.valid && k.generation == FramesGeneration() && std::equal(k.clear_rgb, k.clear_rgb + 3, ren.clear_rgb);
}

// How many leading vertices this frame draws exactly as the kept frame did (same
// vertices, same batch state, same clear, same frames), in whole quads.
size_t shared_start() {
    const auto& k = ren.kept;
    if (!kept_frame_comparable()) return 0;
    size_t same = 0;
    for (size_t i = 0; i < ren.batches.size() && i < k.batches.size(); ++i) {
        const Batch& a = ren.batches[i];
        const Batch& b = k.batches[i];
        if (!same_state(a, b)) break;
        size_t count = std::min(a.count, b.count), n = 0;
        while (n < count && std::memcmp(&ren.vertices[a.first + n], &k.vertices[b.first + n], sizeof(Vertex)) == 0) {
            ++n;
        }
        same = a.first + n;
        if (n < a.count || a.count != b.count) break;
    }
    return same - same % 6;
}

// Whether the frame recorded from its clear is the kept frame again, quad for quad, over
// the same frames: the picture it draws is the one the kept frame drew.
bool repeats_kept_frame() {
    const auto& k = ren.kept;
    if (!kept_frame_comparable() || k.batches.size() != ren.batches.size() || k.vertices.size() != ren.vertices.size()) {
        return false;
    }
    for (size_t i = 0; i < ren.batches.size(); ++i) {
        if (!same_state(ren.batches[i], k.batches[i]) || ren.batches[i].count != k.batches[i].count) return false;
    }
    return ren.vertices.empty() ||
           std::memcmp(ren.vertices.data(), k.vertices.data(), ren.vertices.size() * sizeof(Vertex)) == 0;
}

// Copies between the picture and the kept picture, pixel for pixel.
void copy_picture(GLuint from, GLuint to) {
    auto& gl = ren.gl;
    glDisable(GL_SCISSOR_TEST);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, from);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, to);
    gl.BlitFramebuffer(0, 0, ren.width, ren.height, 0, 0, ren.width, ren.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl.BindFramebuffer(GL_FRAMEBUFFER, ren.picture.fbo);
    glEnable(GL_SCISSOR_TEST);
}

// Picture pixels [x0, x1) x [y0, y1), rows counted from the top.
struct PixelRect {
    int x0, y0, x1, y1;
};

bool overlaps(const PixelRect& a, const PixelRect& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

PixelRect intersection(const PixelRect& a, const PixelRect& b) {
    return PixelRect{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

// A batch's clip rectangle.
PixelRect batch_clip(const Batch& b) {
    return PixelRect{b.scissor[0], b.scissor[1], b.scissor[0] + std::max(b.scissor[2], 0),
                     b.scissor[1] + std::max(b.scissor[3], 0)};
}

// The pixels a quad may cover: its corners' bounds grown by a pixel each way (a pixel
// is covered when its centre is), within its batch's clip rectangle and the picture.
PixelRect quad_bounds(const Vertex* v, const Batch& b) {
    float x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y;
    for (int i = 1; i < 6; ++i) {
        x0 = std::min(x0, v[i].x);
        x1 = std::max(x1, v[i].x);
        y0 = std::min(y0, v[i].y);
        y1 = std::max(y1, v[i].y);
    }
    // Far outside the picture (or not a number) is clamped before the conversion.
    auto px = [](float f, int limit) { return int(std::clamp(f, -1.0f, float(limit) + 1.0f)); };
    PixelRect r{px(std::floor(x0), ren.width) - 1, px(std::floor(y0), ren.height) - 1,
                px(std::ceil(x1), ren.width) + 1, px(std::ceil(y1), ren.height) + 1};
    return intersection(intersection(r, batch_clip(b)), PixelRect{0, 0, ren.width, ren.height});
}

// A frame's quads, each with the batch that draws it.
std::vector<const Batch*> quad_batches(const std::vector<Batch>& batches, size_t quads) {
    std::vector<const Batch*> out(quads, nullptr);
    for (const Batch& b : batches) {
        for (size_t q = b.first / 6; q < (b.first + b.count) / 6 && q < quads; ++q) out[q] = &b;
    }
    return out;
}

// Where a frame differs from the kept one, in tiles: every quad the two do not draw
// alike marks the tiles under it. Outside those, each pixel is covered by the same
// quads in the same order in both frames, so it keeps its colour.
constexpr int kChangeTile = 32;
// Beyond this many rectangles, or half the picture, drawing the frame whole is cheaper.
constexpr size_t kMostChangedRects = 24;

constexpr int kMostEdits = 96;

// The quads of two runs not on a longest common subsequence of them (the shortest edit
// script, found by the greedy diagonal search): the old run's quads head..head+n against
// this frame's head..head+m, alike(this frame's, old) telling equal quads. False if more
// than kMostEdits quads differ.
template <typename Alike>
bool common_run(size_t head, size_t n, size_t m, const Alike& alike, std::vector<std::pair<bool, size_t>>* edits) {
    int most = int(std::min(n + m, size_t(kMostEdits)));
    std::vector<int> reach(size_t(2 * most + 3), 0);  // per diagonal k = x - y: the furthest x
    auto at = [&](int k) -> int& { return reach[size_t(k + most + 1)]; };
    std::vector<std::vector<int>> history;
    int x = 0, y = 0, d = 0;
    for (;; ++d) {
        if (d > most) return false;
        history.push_back(reach);
        bool done = false;
        for (int k = -d; k <= d && !done; k += 2) {
            x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            y = x - k;
            while (size_t(x) < n && size_t(y) < m && alike(head + size_t(y), head + size_t(x))) ++x, ++y;
            at(k) = x;
            done = size_t(x) >= n && size_t(y) >= m;
        }
        if (done) break;
    }
    // Back from the end: each step of d was one quad taken from one of the runs only.
    for (; d > 0; --d) {
        reach = history[size_t(d)];
        int k = x - y;
        bool down = k == -d || (k != d && at(k - 1) < at(k + 1));
        int from_x = down ? at(k + 1) : at(k - 1);
        int from_y = from_x - (down ? k + 1 : k - 1);
        if (down) edits->push_back({true, head + size_t(from_y)});
        else edits->push_back({false, head + size_t(from_x)});
        x = from_x;
        y = from_y;
    }
    return true;
}

bool changed_rects(std::vector<PixelRect>* out) {
    const auto& k = ren.kept;
    size_t was = k.vertices.size() / 6, now = ren.vertices.size() / 6;
    std::vector<const Batch*> was_batch = quad_batches(k.batches, was), now_batch = quad_batches(ren.batches, now);
    auto alike = [&](size_t a, size_t b) {
        const Batch* p = now_batch[a];
        const Batch* q = was_batch[b];
        return p && q && same_look(*p, *q) &&
               std::memcmp(&ren.vertices[a * 6], &k.vertices[b * 6], 6 * sizeof(Vertex)) == 0;
    };
    size_t head = 0, tail = 0;
    while (head < was && head < now && alike(head, head)) ++head;
    while (tail < was - head && tail < now - head && alike(now - 1 - tail, was - 1 - tail)) ++tail;

    int cols = (ren.width + kChangeTile - 1) / kChangeTile, rows = (ren.height + kChangeTile - 1) / kChangeTile;
    std::vector<uint8_t> tiles(size_t(cols) * size_t(rows), 0);
    auto mark = [&](const Vertex* v, const Batch* b) {
        PixelRect r = quad_bounds(v, *b);
        if (r.x0 >= r.x1 || r.y0 >= r.y1) return;
        for (int ty = r.y0 / kChangeTile; ty <= (r.y1 - 1) / kChangeTile; ++ty)
            for (int tx = r.x0 / kChangeTile; tx <= (r.x1 - 1) / kChangeTile; ++tx) tiles[size_t(ty * cols + tx)] = 1;
    };
    // In between, the quads both frames draw alike in the same order are found as the
    // longest run they have in common (a sprite that moved or came, the rest in place);
    // only the others change the picture. Past kMostEdits the whole of it counts as changed.
    size_t n = was - tail - head, m = now - tail - head;
    std::vector<std::pair<bool, size_t>> edits;  // (in this frame, quad)
    if (!common_run(head, n, m, alike, &edits)) {
        edits.clear();
        for (size_t i = 0; i < n; ++i) edits.push_back({false, head + i});
        for (size_t i = 0; i < m; ++i) edits.push_back({true, head + i});
    }
    for (const auto& [in_this, q] : edits) {
        if (in_this) mark(&ren.vertices[q * 6], now_batch[q]);
        else mark(&k.vertices[q * 6], was_batch[q]);
    }

    // Runs of tiles along each row, joined with the same run of the row above.
    out->clear();
    std::vector<size_t> open;  // rectangles that reach the row above
    size_t marked = 0;
    for (int ty = 0; ty < rows; ++ty) {
        std::vector<size_t> reaching;
        for (int tx = 0; tx < cols;) {
            if (!tiles[size_t(ty * cols + tx)]) {
                ++tx;
                continue;
            }
            int end = tx;
            while (end < cols && tiles[size_t(ty * cols + end)]) ++end;
            marked += size_t(end - tx);
            PixelRect run{tx * kChangeTile, ty * kChangeTile, std::min(end * kChangeTile, ren.width),
                          std::min((ty + 1) * kChangeTile, ren.height)};
            auto above = std::find_if(open.begin(), open.end(), [&](size_t i) {
                return (*out)[i].x0 == run.x0 && (*out)[i].x1 == run.x1;
            });
            if (above != open.end()) {
                (*out)[*above].y1 = run.y1;
                reaching.push_back(*above);
            } else {
                reaching.push_back(out->size());
                out->push_back(run);
            }
            tx = end;
        }
        open = std::move(reaching);
    }
    if (out->empty() || out->size() > kMostChangedRects || marked * 2 > tiles.size()) out->clear();
    return !out->empty();
}

// Draws the frame again inside each rectangle only: cleared there, then every quad
// that reaches into it, clipped to it.
void draw_changes(const std::vector<PixelRect>& rects);

// A frame mostly repeats the last one: the background, the arena's cells and whatever
// is drawn before the first thing that moved. The picture after that shared start is
// kept, and the next frame that begins the same way starts from a copy of it. On a
// software renderer this saves most of a frame's rasterising; elsewhere it costs two
// copies of the picture now and then.
constexpr size_t kWorthKeeping = 6 * 100;  // vertices: a hundred quads

// Draws vertices [from, to) of the recorded batches; with `within`, only the quads
// whose `bounds` reach into it, clipped to it.
void draw_range(size_t from, size_t to, const PixelRect* within = nullptr,
                const std::vector<PixelRect>* bounds = nullptr);

// The picture already shows the frame just recorded: a screen at rest costs no drawing.
bool submit_repeat() {
    if (!(ren.clear_pending && ren.program && ren.picture_is_kept && repeats_kept_frame())) return false;
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    ren.clear_pending = false;
    ren.stats.repeated++;
    FramesRecycle();
    return true;
}

// Where a frame recorded from a clear begins, given the picture the last one left:
// only the places where the two differ (`changed`), or drawing from a copy of the kept
// picture's start (`start`), or everything. `keep_at`: the vertex after which the
// picture is worth keeping for the next frame (0 none).
void plan_from_kept(bool picture_was_kept, size_t* start, size_t* keep_at, std::vector<PixelRect>* changed) {
    size_t shared = shared_start();
    auto& k = ren.kept;
    if (picture_was_kept && kept_frame_comparable() && changed_rects(changed)) {
        // The picture shows the last frame: only where this one differs is drawn.
        ren.clear_pending = false;
        ren.stats.patched++;
        if (k.drawn > shared) k.drawn = 0;
    } else if (k.drawn && k.drawn <= shared && k.picture_generation == FramesGeneration()) {
        copy_picture(k.picture.fbo, ren.picture.fbo);
        *start = k.drawn;
        ren.clear_pending = false;
        ren.stats.reused++;
    } else {
        // The kept picture shows the start of the frame recorded now only if this
        // frame begins with it too.
        k.drawn = 0;
    }
    if (changed->empty() && shared >= *start + kWorthKeeping) {
        *keep_at = RendererMakeTarget(ren.gl, k.picture, ren.width, ren.height) ? shared : 0;
        ren.gl.BindFramebuffer(GL_FRAMEBUFFER, ren.picture.fbo);
    }
}

void clear_if_pending() {
    if (!ren.clear_pending) return;
    glDisable(GL_SCISSOR_TEST);
    glClearColor(ren.clear_rgb[0] / 255.0f, ren.clear_rgb[1] / 255.0f, ren.clear_rgb[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    ren.clear_pending = false;
}

// The frame recorded from a clear, for the next one to be compared with.
void remember_frame() {
    auto& k = ren.kept;
    k.vertices = ren.vertices;
    k.batches = ren.batches;
    std::copy(ren.clear_rgb, ren.clear_rgb + 3, k.clear_rgb);
    k.generation = FramesGeneration();
    k.valid = true;
}

// One upload of every vertex of the frame and the pointers into it. Vertex fields are
// addressed from the start of the vertices: in client memory, or as offsets into the
// buffer they were uploaded to.
void bind_vertices() {
    auto& gl = ren.gl;
    uintptr_t base = reinterpret_cast<uintptr_t>(ren.vertices.data());
    auto field = [&base](size_t offset) { return reinterpret_cast<const void*>(base + offset); };
    if (ren.program) {
        gl.BindBuffer(GL_ARRAY_BUFFER, ren.buffer);
        gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(ren.vertices.size() * sizeof(Vertex)), ren.vertices.data(),
                      GL_STREAM_DRAW);
        base = 0;
        if (ren.shared_rows != FramesSharedRows()) {
            ren.shared_rows = FramesSharedRows();
            gl.UseProgram(ren.program);
            gl.Uniform2f(ren.shared_size_at, float(kSharedSize), float(ren.shared_rows));
        }
        bind_texture_unit(GL_TEXTURE1, GL_TEXTURE_2D_ARRAY_EXT, FramesGlyphArray());
        bind_texture_unit(GL_TEXTURE0, GL_TEXTURE_2D, FramesSharedTexture());
        gl.ClientActiveTexture(GL_TEXTURE1);
        glTexCoordPointer(4, GL_FLOAT, sizeof(Vertex), field(offsetof(Vertex, place)));
        gl.ClientActiveTexture(GL_TEXTURE2);
        glTexCoordPointer(4, GL_FLOAT, sizeof(Vertex), field(offsetof(Vertex, tex)));
        gl.ClientActiveTexture(GL_TEXTURE0);
    }
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), field(offsetof(Vertex, x)));
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), field(offsetof(Vertex, u)));
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), field(offsetof(Vertex, rgba)));
}

void unbind_vertices() {
    auto& gl = ren.gl;
    if (ren.program) {
        bind_texture_unit(GL_TEXTURE2, GL_TEXTURE_2D, 0);
        bind_texture_unit(GL_TEXTURE1, GL_TEXTURE_2D_ARRAY_EXT, 0);
        bind_texture_unit(GL_TEXTURE0, GL_TEXTURE_2D, 0);
        gl.UseProgram(0);
        gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    } else {
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

// Hands every recorded batch to GL, after the clear that came before them.
void submit() {
    if (submit_repeat()) return;
    size_t start = 0, keep_at = 0;
    bool from_clear = ren.clear_pending;
    bool picture_was_kept = ren.picture_is_kept;
    if (from_clear || !ren.batches.empty()) {
        ren.picture_serial++;
        ren.picture_is_kept = from_clear && ren.program;
    }
    std::vector<PixelRect> changed;
    if (from_clear && ren.program && ren.kept.on) plan_from_kept(picture_was_kept, &start, &keep_at, &changed);
    clear_if_pending();
    if (from_clear && ren.program) remember_frame();
    if (ren.batches.empty() && changed.empty()) return;
    bind_vertices();
    if (keep_at) {
        draw_range(start, keep_at);
        auto& k = ren.kept;
        copy_picture(ren.picture.fbo, k.picture.fbo);
        k.drawn = keep_at;
        k.picture_generation = FramesGeneration();
        start = keep_at;
    }
    if (changed.empty()) draw_range(start, ren.vertices.size());
    else draw_changes(changed);
    unbind_vertices();
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    FramesRecycle();
}

void draw_range(size_t from, size_t to, const PixelRect* within, const std::vector<PixelRect>* bounds) {
    auto& gl = ren.gl;
    bool shared = ren.program != 0;
    GLuint used = 0;
    ren.applied_blend = -1;
    std::vector<GLint> starts;
    std::vector<GLsizei> counts;
    for (const Batch& b : ren.batches) {
        size_t first = std::max(b.first, from), last = std::min(b.first + b.count, to);
        if (first >= last) continue;
        PixelRect clip = batch_clip(b);
        if (within) {
            clip = intersection(clip, *within);
            if (clip.x0 >= clip.x1 || clip.y0 >= clip.y1) continue;
            // The runs of quads that reach into the rectangle.
            starts.clear();
            counts.clear();
            for (size_t q = first / 6; q < last / 6; ++q) {
                if (!overlaps((*bounds)[q], *within)) continue;
                if (!counts.empty() && size_t(starts.back() + counts.back()) == q * 6) {
                    counts.back() += 6;
                } else {
                    starts.push_back(GLint(q * 6));
                    counts.push_back(6);
                }
            }
            if (counts.empty()) continue;
        }
        if (shared && ren.programs[b.kind] != used) {
            used = ren.programs[b.kind];
            gl.UseProgram(used);
        }
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
        glScissor(clip.x0, ren.height - clip.y1, clip.x1 - clip.x0, clip.y1 - clip.y0);
        if (within) gl.MultiDrawArrays(GL_TRIANGLES, starts.data(), counts.data(), GLsizei(counts.size()));
        else glDrawArrays(GL_TRIANGLES, GLint(first), GLsizei(last - first));
        ren.stats.draw_calls++;
    }
}

void draw_changes(const std::vector<PixelRect>& rects) {
    std::vector<PixelRect> bounds(ren.vertices.size() / 6);
    for (const Batch& b : ren.batches) {
        for (size_t q = b.first / 6; q < (b.first + b.count) / 6; ++q) bounds[q] = quad_bounds(&ren.vertices[q * 6], b);
    }
    glClearColor(ren.clear_rgb[0] / 255.0f, ren.clear_rgb[1] / 255.0f, ren.clear_rgb[2] / 255.0f, 1.0f);
    for (const PixelRect& r : rects) {
        glScissor(r.x0, ren.height - r.y1, r.x1 - r.x0, r.y1 - r.y0);
        glClear(GL_COLOR_BUFFER_BIT);
        draw_range(0, ren.vertices.size(), &r, &bounds);
    }
}

}  // namespace

void RendererSubmit() { submit(); }

void RendererFlush() { ren.open = false; }

void RendererSetBlend(int mode) { ren.wanted_blend = mode; }

void RendererSetScissor(int x, int y, int w, int h) {
    ren.scissor[0] = x;
    ren.scissor[1] = y;
    ren.scissor[2] = w;
    ren.scissor[3] = h;
}

void RendererQuad(unsigned frame, const float xy[8], const float uv[8], uint32_t rgba, bool binary_alpha) {
    ren.drawings++;
    const FrameEntry* f = frame ? FrameFind(frame) : nullptr;
    if (frame && !f) return;
    // Only a frame with its own texture ties a batch to a texture; in fixed function a
    // flat quad is a texture of its own (texturing off).
    GLuint texture = f && (f->kind == FRAME_OWN) ? f->own : 0;
    FrameKind kind = f ? f->kind : FRAME_FLAT;
    // With the vertex fully opaque and texels either clear or opaque, mask and alpha
    // blending give the same pixels, so such a quad joins a batch of either.
    bool either = binary_alpha && (rgba >> 24) == 255 && (ren.wanted_blend == 1 || ren.wanted_blend == 3);
    bool joins = false;
    if (ren.open) {
        const Batch& b = ren.batches.back();
        bool blend_ok = b.blend == ren.wanted_blend || (either && (b.blend == 1 || b.blend == 3));
        bool texture_ok = b.texture == texture;
        bool kind_ok = kind == FRAME_FLAT || b.kind == FRAME_FLAT || b.kind == kind;
        if (ren.program) texture_ok = kind_ok && (b.texture == texture || !texture || !b.texture);
        joins = blend_ok && texture_ok && std::equal(b.scissor, b.scissor + 4, ren.scissor);
        if (joins && kind != FRAME_FLAT) ren.batches.back().kind = kind;
        if (joins && texture) ren.batches.back().texture = texture;
    }
    if (!joins) {
        Batch b{ren.wanted_blend, kind, texture, {ren.scissor[0], ren.scissor[1], ren.scissor[2], ren.scissor[3]},
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
        if (f->kind == FRAME_SHARED) {
            q.place[0] = float(f->slot.x);
            q.place[1] = float(f->slot.y);
            q.place[2] = float(f->w);
            q.place[3] = float(f->h);
        } else if (f->kind == FRAME_LAYER) {
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
    ren.drawings++;
    // Everything drawn so far is about to be covered.
    ren.batches.clear();
    ren.vertices.clear();
    ren.open = false;
    FramesRecycle();
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

void RendererReadPictureWords(std::vector<uint32_t>& words) {
    submit();
    words.resize(size_t(ren.width) * size_t(ren.height));
    if (words.empty()) return;
    glReadPixels(0, 0, ren.width, ren.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, words.data());
}

bool RendererIsSoftware() {
    const char* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!name) return false;
    for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"}) {
        if (std::strstr(name, soft)) return true;
    }
    return false;
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

void RendererKeepPictures(bool on) {
    ren.kept.on = on;
    ren.kept.valid = false;
    ren.kept.drawn = 0;
}

uint64_t RendererPictureSerial() { return ren.picture_serial; }

uint64_t RendererDrawings() { return ren.drawings; }

RendererStats RendererTakeStats() {
    RendererStats s = ren.stats;
    ren.stats = RendererStats{};
    return s;
}
