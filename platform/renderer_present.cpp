// Presenting: the 640 x 480 picture scaled into the window with black bars.
#include <algorithm>
#include <cmath>

#include "platform/renderer_gl.h"

namespace {

// Sharp bilinear: inside a texel the picture is flat; only the band of one window
// pixel where two texels meet is blended, so any scale looks crisp without shimmer.
const char* kPresentVertex = R"(#version 120
void main() {
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
)";

const char* kPresentFragment = R"(#version 120
uniform sampler2D picture;
uniform vec2 size;   // the picture in texels
uniform vec2 scale;  // window pixels per texel
void main() {
    vec2 texel = gl_TexCoord[0].xy * size;
    vec2 band = 0.5 - 0.5 / scale;
    vec2 from_centre = fract(texel) - 0.5;
    vec2 f = (from_centre - clamp(from_centre, -band, band)) * scale + 0.5;
    gl_FragColor = texture2D(picture, (floor(texel) + f) / size);
}
)";

}  // namespace

GLuint RendererCompile(const GlFunctions& gl, const char* vertex, const char* fragment) {
    if (!gl.CreateShader) return 0;
    auto stage = [&](GLenum type, const char* source) {
        GLuint s = gl.CreateShader(type);
        gl.ShaderSource(s, 1, &source, nullptr);
        gl.CompileShader(s);
        GLint ok = 0;
        gl.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            gl.DeleteShader(s);
            return GLuint(0);
        }
        return s;
    };
    GLuint vs = stage(GL_VERTEX_SHADER, vertex), fs = stage(GL_FRAGMENT_SHADER, fragment);
    GLuint program = 0;
    if (vs && fs) {
        program = gl.CreateProgram();
        gl.AttachShader(program, vs);
        gl.AttachShader(program, fs);
        gl.LinkProgram(program);
        GLint ok = 0;
        gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            gl.DeleteProgram(program);
            program = 0;
        }
    }
    if (vs) gl.DeleteShader(vs);
    if (fs) gl.DeleteShader(fs);
    return program;
}

GLuint RendererNewTexture(GLenum target, GLint min_filter, GLint mag_filter) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(target, name);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, min_filter);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, mag_filter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return name;
}

bool RendererMakeTarget(const GlFunctions& gl, Target& t, int w, int h) {
    if (t.w == w && t.h == h && t.fbo) return true;
    RendererFreeTarget(gl, t);
    t.texture = RendererNewTexture(GL_TEXTURE_2D, GL_NEAREST, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    gl.GenFramebuffers(1, &t.fbo);
    gl.BindFramebuffer(GL_FRAMEBUFFER, t.fbo);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.texture, 0);
    bool ok = gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    t.w = w;
    t.h = h;
    return ok;
}

void RendererFreeTarget(const GlFunctions& gl, Target& t) {
    if (t.fbo) gl.DeleteFramebuffers(1, &t.fbo);
    if (t.texture) glDeleteTextures(1, &t.texture);
    t = Target{};
}

void PresentInit(const GlFunctions& gl, PresentState& ps) {
    ps = PresentState{};
    ps.program = RendererCompile(gl, kPresentVertex, kPresentFragment);
    if (!ps.program) return;
    gl.UseProgram(ps.program);
    gl.Uniform1i(gl.GetUniformLocation(ps.program, "picture"), 0);
    ps.size_at = gl.GetUniformLocation(ps.program, "size");
    ps.scale_at = gl.GetUniformLocation(ps.program, "scale");
    gl.UseProgram(0);
}

void PresentShutdown(const GlFunctions& gl, PresentState& ps) {
    if (ps.program && gl.DeleteProgram) gl.DeleteProgram(ps.program);
    RendererFreeTarget(gl, ps.upscaled);
    RendererFreeTarget(gl, ps.probe);
    ps = PresentState{};
}

namespace {

void draw_scaled(const GlFunctions& gl, PresentState& ps, const Target& picture, int x, int y, int w, int h,
                 int fb_w, int fb_h) {
    gl.UseProgram(ps.program);
    gl.Uniform2f(ps.size_at, float(picture.w), float(picture.h));
    gl.Uniform2f(ps.scale_at, float(w) / float(picture.w), float(h) / float(picture.h));
    gl.ActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, fb_w, 0, fb_h, -1, 1);  // rows from the bottom, as the picture's texture
    // The picture's first row is its bottom one, so v runs up the window.
    glBegin(GL_TRIANGLE_STRIP);
    glColor4ub(255, 255, 255, 255);
    glTexCoord2f(0, 0);
    glVertex2f(float(x), float(y));
    glTexCoord2f(1, 0);
    glVertex2f(float(x + w), float(y));
    glTexCoord2f(0, 1);
    glVertex2f(float(x), float(y + h));
    glTexCoord2f(1, 1);
    glVertex2f(float(x + w), float(y + h));
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    gl.UseProgram(0);
}

}  // namespace

void PresentInto(const GlFunctions& gl, PresentState& ps, const Target& picture, GLuint fbo, int fb_w, int fb_h,
                 bool two_pass) {
    int x, y, w, h;
    RendererFitRect(fb_w, fb_h, &x, &y, &w, &h);
    glDisable(GL_SCISSOR_TEST);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
    glViewport(0, 0, fb_w, fb_h);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // GL counts rows from the bottom, so the destination y is measured from there.
    int dst_y0 = fb_h - y - h;
    int whole = std::max(1, std::min(w / picture.w, h / picture.h));
    if (w == picture.w * whole && h == picture.h * whole) {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, picture.fbo);
        gl.BlitFramebuffer(0, 0, picture.w, picture.h, x, dst_y0, x + w, dst_y0 + h, GL_COLOR_BUFFER_BIT,
                           GL_NEAREST);
    } else if (ps.program && !two_pass) {
        draw_scaled(gl, ps, picture, x, dst_y0, w, h, fb_w, fb_h);
    } else {
        // Without shaders: enlarge by the next whole multiple with nearest sampling,
        // then scale down smoothly to the window.
        int up = int(std::ceil(std::max(double(w) / picture.w, double(h) / picture.h)));
        if (RendererMakeTarget(gl, ps.upscaled, picture.w * up, picture.h * up)) {
            gl.BindFramebuffer(GL_READ_FRAMEBUFFER, picture.fbo);
            gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, ps.upscaled.fbo);
            gl.BlitFramebuffer(0, 0, picture.w, picture.h, 0, 0, ps.upscaled.w, ps.upscaled.h, GL_COLOR_BUFFER_BIT,
                               GL_NEAREST);
            gl.BindFramebuffer(GL_READ_FRAMEBUFFER, ps.upscaled.fbo);
            gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
            gl.BlitFramebuffer(0, 0, ps.upscaled.w, ps.upscaled.h, x, dst_y0, x + w, dst_y0 + h, GL_COLOR_BUFFER_BIT,
                               GL_LINEAR);
        }
    }
}
