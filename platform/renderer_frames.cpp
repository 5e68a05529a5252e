#include <algorithm>

#include "platform/renderer_gl.h"

namespace {

struct FrameStore {
    const GlFunctions* gl = nullptr;
    int max_texture = 0;
    GLuint shared_texture = 0;
    int shared_rows = 0;  // the shared texture's height so far: the rows frames were placed in
    GLuint glyph_array = 0;
    AtlasPacker packer{kSharedSize, kSharedSize};
    std::vector<int> free_layers;
    std::vector<FrameEntry> frames;  // frame handle n is frames[n - 1]
    std::vector<unsigned> free_handles;
    // Freed frames' places and textures; recorded quads may still read them.
    std::vector<AtlasSlot> released_slots;
    std::vector<int> released_layers;
    std::vector<GLuint> doomed;
    // Counts every change to what frames show (one made, one freed); never goes back.
    uint64_t generation = 0;
};

FrameStore fs;

int pow2_at_least(int n) {
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

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
    bool linear = flags & 2, mipmapped = flags & 4;
    GLint min_filter = linear ? (mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR)
                              : (mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    GLuint name = RendererNewTexture(GL_TEXTURE_2D, min_filter, linear ? GL_LINEAR : GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.pixels.data());
    if (mipmapped) fs.gl->GenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

// The shared texture grows as frames fill it, from a few rows to its full height, in
// steps of kSharedStepRows: the shader samples texel centres, which land on the same
// texel at any height. The frames placed so far are copied into the taller texture.
void grow_shared(int rows) {
    int height = std::min(kSharedSize, (rows + kSharedStepRows - 1) / kSharedStepRows * kSharedStepRows);
    GLuint taller = RendererNewTexture(GL_TEXTURE_2D, GL_NEAREST, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSharedSize, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    GLint read_before = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_before);
    GLuint from = 0;
    fs.gl->GenFramebuffers(1, &from);
    fs.gl->BindFramebuffer(GL_READ_FRAMEBUFFER, from);
    fs.gl->FramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, fs.shared_texture, 0);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kSharedSize, fs.shared_rows);
    fs.gl->BindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(read_before));
    fs.gl->DeleteFramebuffers(1, &from);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &fs.shared_texture);
    fs.shared_texture = taller;
    fs.shared_rows = height;
}

bool place_shared(const Pixmap& pix, FrameEntry& e) {
    // A place handed out again is one no recorded quad reads any more.
    if (!fs.packer.Place(pix.width, pix.height, &e.slot)) return false;
    if (e.slot.y + e.slot.h > fs.shared_rows) grow_shared(e.slot.y + e.slot.h);
    glBindTexture(GL_TEXTURE_2D, fs.shared_texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, e.slot.x, e.slot.y, pix.width, pix.height, GL_RGBA, GL_UNSIGNED_BYTE,
                    pix.pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    e.kind = FRAME_SHARED;
    return true;
}

// A layer holds the frame's own texture at its corner, its last column and row
// repeated to the layer's edge (which is what clamping gives), and smaller levels
// averaged from it.
bool place_layer(const Pixmap& pix, FrameEntry& e) {
    if (e.tw > kLayerSize || e.th > kLayerSize || fs.free_layers.empty()) return false;
    e.layer = fs.free_layers.back();
    fs.free_layers.pop_back();
    Pixmap own = own_texture_pixels(pix, e.tw, e.th);
    Pixmap level = MakePixmap(kLayerSize, kLayerSize, 4);
    for (int y = 0; y < kLayerSize; ++y)
        for (int x = 0; x < kLayerSize; ++x) std::copy_n(own.at(std::min(x, e.tw - 1), std::min(y, e.th - 1)), 4, level.at(x, y));
    glBindTexture(GL_TEXTURE_2D_ARRAY_EXT, fs.glyph_array);
    for (int n = 0;; ++n) {
        fs.gl->TexSubImage3D(GL_TEXTURE_2D_ARRAY_EXT, n, 0, 0, e.layer, level.width, level.height, 1, GL_RGBA,
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
    e.kind = FRAME_LAYER;
    return true;
}

}  // namespace

unsigned RendererMakeFrame(const Pixmap& source, int flags, int* tex_w, int* tex_h) {
    ++fs.generation;
    int tw = pow2_at_least(source.width), th = pow2_at_least(source.height);
    int max = fs.max_texture > 0 ? fs.max_texture : 1;
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
    if (fs.shared_texture && pix.width == source.width && pix.height == source.height) {
        if (!linear && !mipmapped) placed = place_shared(pix, e);
        else if (linear && mipmapped) placed = place_layer(pix, e);
    }
    if (!placed) {
        e.kind = FRAME_OWN;
        e.own = make_own_texture(pix, flags, tw, th);
    }
    unsigned handle;
    if (!fs.free_handles.empty()) {
        handle = fs.free_handles.back();
        fs.free_handles.pop_back();
        fs.frames[handle - 1] = e;
    } else {
        fs.frames.push_back(e);
        handle = unsigned(fs.frames.size());
    }
    *tex_w = tw;
    *tex_h = th;
    return handle;
}

void RendererFreeFrame(unsigned frame) {
    if (!frame || !fs.gl || frame > fs.frames.size() || !fs.frames[frame - 1].live) return;
    FrameEntry& e = fs.frames[frame - 1];
    e.live = false;
    ++fs.generation;
    fs.free_handles.push_back(frame);
    if (e.kind == FRAME_SHARED) {
        // Its place is handed out again only after the quads that use it are drawn.
        fs.released_slots.push_back(e.slot);
    } else if (e.kind == FRAME_LAYER) {
        fs.released_layers.push_back(e.layer);
    } else if (e.own) {
        // Recorded batches may still use it: it goes with the next submit, which comes
        // soon when nothing looks at the picture for a long time.
        fs.doomed.push_back(e.own);
        if (fs.doomed.size() > 8) RendererSubmit();
    }
}

bool FramesInit(const GlFunctions* gl, int max_texture, bool shared) {
    FramesShutdown();
    fs.gl = gl;
    fs.max_texture = max_texture;
    if (!shared) return true;
    fs.shared_texture = RendererNewTexture(GL_TEXTURE_2D, GL_NEAREST, GL_NEAREST);
    fs.shared_rows = kSharedFirstRows;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSharedSize, fs.shared_rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);

    // Glyphs are sampled with the filters a glyph's own texture has; every layer keeps
    // its full chain of smaller levels so the array is always complete.
    fs.glyph_array = RendererNewTexture(GL_TEXTURE_2D_ARRAY_EXT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    for (int level = 0, size = kLayerSize; size >= 1; ++level, size /= 2) {
        fs.gl->TexImage3D(GL_TEXTURE_2D_ARRAY_EXT, level, GL_RGBA8, size, size, kLayers, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                      nullptr);
    }
    glBindTexture(GL_TEXTURE_2D_ARRAY_EXT, 0);
    fs.packer = AtlasPacker(kSharedSize, kSharedSize);
    fs.free_layers.clear();
    for (int i = kLayers - 1; i >= 0; --i) fs.free_layers.push_back(i);
    return true;
}

void FramesShutdown() {
    if (fs.gl) {
        if (fs.shared_texture) glDeleteTextures(1, &fs.shared_texture);
        if (fs.glyph_array) glDeleteTextures(1, &fs.glyph_array);
        if (!fs.doomed.empty()) glDeleteTextures(GLsizei(fs.doomed.size()), fs.doomed.data());
    }
    uint64_t generation = fs.generation;
    fs = FrameStore{};
    fs.generation = generation + 1;
}

const FrameEntry* FrameFind(unsigned frame) {
    if (!frame || frame > fs.frames.size() || !fs.frames[frame - 1].live) return nullptr;
    return &fs.frames[frame - 1];
}

GLuint FramesSharedTexture() { return fs.shared_texture; }
int FramesSharedRows() { return fs.shared_rows; }
uint64_t FramesGeneration() { return fs.generation; }
GLuint FramesGlyphArray() { return fs.glyph_array; }

void FramesRecycle() {
    for (const AtlasSlot& slot : fs.released_slots) fs.packer.Release(slot);
    for (int layer : fs.released_layers) fs.free_layers.push_back(layer);
    fs.released_slots.clear();
    fs.released_layers.clear();
    if (!fs.doomed.empty()) {
        glDeleteTextures(GLsizei(fs.doomed.size()), fs.doomed.data());
        fs.doomed.clear();
    }
}
