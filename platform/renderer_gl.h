#pragma once
// Engine-internal, shared by renderer.cpp (batches), renderer_frames.cpp (the textures
// frames live in) and renderer_present.cpp (presenting): the OpenGL entry points we
// load and what the parts need of each other.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <vector>

#include "platform/atlas.h"
#include "platform/renderer.h"

struct GlFunctions {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
    PFNGLGENERATEMIPMAPPROC GenerateMipmap = nullptr;
    // Shaders, buffers and texture arrays; all null when the driver lacks them.
    PFNGLCREATESHADERPROC CreateShader = nullptr;
    PFNGLSHADERSOURCEPROC ShaderSource = nullptr;
    PFNGLCOMPILESHADERPROC CompileShader = nullptr;
    PFNGLGETSHADERIVPROC GetShaderiv = nullptr;
    PFNGLDELETESHADERPROC DeleteShader = nullptr;
    PFNGLCREATEPROGRAMPROC CreateProgram = nullptr;
    PFNGLATTACHSHADERPROC AttachShader = nullptr;
    PFNGLLINKPROGRAMPROC LinkProgram = nullptr;
    PFNGLGETPROGRAMIVPROC GetProgramiv = nullptr;
    PFNGLDELETEPROGRAMPROC DeleteProgram = nullptr;
    PFNGLUSEPROGRAMPROC UseProgram = nullptr;
    PFNGLGETUNIFORMLOCATIONPROC GetUniformLocation = nullptr;
    PFNGLUNIFORM1IPROC Uniform1i = nullptr;
    PFNGLUNIFORM1FPROC Uniform1f = nullptr;
    PFNGLUNIFORM2FPROC Uniform2f = nullptr;
    PFNGLGENBUFFERSPROC GenBuffers = nullptr;
    PFNGLDELETEBUFFERSPROC DeleteBuffers = nullptr;
    PFNGLBINDBUFFERPROC BindBuffer = nullptr;
    PFNGLBUFFERDATAPROC BufferData = nullptr;
    PFNGLACTIVETEXTUREPROC ActiveTexture = nullptr;
    void (*ClientActiveTexture)(GLenum) = nullptr;
    PFNGLTEXIMAGE3DPROC TexImage3D = nullptr;
    PFNGLTEXSUBIMAGE3DPROC TexSubImage3D = nullptr;
    PFNGLMULTIDRAWARRAYSPROC MultiDrawArrays = nullptr;
};

// Where a frame's texels are. The shared texture holds nearest-sampled frames, the
// glyph array smoothed and mipmapped ones (a layer each, at its corner); anything else
// (or everything, without shaders) has a texture of its own.
enum FrameKind { FRAME_FLAT = 0, FRAME_SHARED = 1, FRAME_LAYER = 2, FRAME_OWN = 3 };

struct FrameEntry {
    bool live = false;
    FrameKind kind = FRAME_OWN;
    AtlasSlot slot;
    int layer = -1;
    GLuint own = 0;
    int w = 0, h = 0, tw = 0, th = 0;  // the pixels, and their power-of-two texture
};

constexpr int kSharedSize = 2048;
constexpr int kSharedFirstRows = 256;  // the shared texture's height to begin with
constexpr int kSharedStepRows = 128;   // and the rows it grows by
constexpr int kLayerSize = 64;
constexpr int kLayers = 64;  // a whole game uses fewer than 50; more glyphs get textures of their own

// Sets up the frame table; with shared, also the shared texture and the glyph array.
bool FramesInit(const struct GlFunctions* gl, int max_texture, bool shared);
void FramesShutdown();
// A live frame, or nullptr.
const FrameEntry* FrameFind(unsigned frame);
GLuint FramesSharedTexture();
// The shared texture's height now (up to kSharedSize; its width is kSharedSize).
int FramesSharedRows();
GLuint FramesGlyphArray();
// Changes whenever a frame is made or freed: pictures drawn under the same generation
// from the same quads are the same.
uint64_t FramesGeneration();
// Called once the recorded batches are drawn or dropped: places and textures of the
// frames freed meanwhile can go.
void FramesRecycle();

struct Target {
    GLuint fbo = 0;
    GLuint texture = 0;
    int w = 0, h = 0;
};

// A compiled program; 0 when it could not be made.
GLuint RendererCompile(const GlFunctions& gl, const char* vertex, const char* fragment);
bool RendererMakeTarget(const GlFunctions& gl, Target& t, int w, int h);
// A new texture name, bound to target, with the filters given and edges clamped.
GLuint RendererNewTexture(GLenum target, GLint min_filter, GLint mag_filter);
void RendererFreeTarget(const GlFunctions& gl, Target& t);

// The present path's own state.
struct PresentState {
    GLuint program = 0;
    GLint size_at = -1, scale_at = -1;
    Target upscaled;  // the older path's whole-multiple enlargement
    Target probe;     // RendererPresentedPicture draws here
};

// Sets up and releases the present path (after the picture target exists).
void PresentInit(const GlFunctions& gl, PresentState& ps);
void PresentShutdown(const GlFunctions& gl, PresentState& ps);
// Scales the picture's texture into framebuffer fbo of w x h.
void PresentInto(const GlFunctions& gl, PresentState& ps, const Target& picture, GLuint fbo, int w, int h,
                 bool two_pass);
