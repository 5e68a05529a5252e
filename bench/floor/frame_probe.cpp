// Loaded into a program with LD_PRELOAD by the performance suite: stamps every buffer
// swap (or, where the program presents without OpenGL, every shared-memory put of its
// window's pixels) with the wall clock and the process's CPU time and counts the draw calls made
// since the swap before, then writes one line per swap to $WHIRLBAT_PROBE_OUT at exit:
// "wall_ns cpu_ns draw_calls". The program under test is not changed in any way.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <dlfcn.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Swap {
    int64_t wall_ns, cpu_ns;
    int draws;
};

struct Probe {
    std::vector<Swap> swaps;
    int draws = 0;
    bool swapping = false;  // OpenGL's own swap may put the pixels through shared memory
    Probe() { swaps.reserve(1 << 16); }
    ~Probe() {
        const char* path = std::getenv("WHIRLBAT_PROBE_OUT");
        if (!path) return;
        FILE* f = std::fopen(path, "w");
        if (!f) return;
        for (const Swap& s : swaps) std::fprintf(f, "%lld %lld %d\n", (long long)s.wall_ns, (long long)s.cpu_ns, s.draws);
        std::fclose(f);
    }
};

Probe probe;

int64_t now_ns(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// One presented frame.
void stamp() {
    probe.swaps.push_back(Swap{now_ns(CLOCK_MONOTONIC), now_ns(CLOCK_PROCESS_CPUTIME_ID), probe.draws});
    probe.draws = 0;
}

}  // namespace

extern "C" {

void SDL_GL_SwapWindow(SDL_Window* window) {
    static auto next = real<void (*)(SDL_Window*)>("SDL_GL_SwapWindow");
    probe.swapping = true;
    next(window);
    probe.swapping = false;
    stamp();
}

Bool XShmPutImage(Display* display, Drawable drawable, GC gc, XImage* image, int src_x, int src_y, int dst_x,
                  int dst_y, unsigned int width, unsigned int height, Bool send_event) {
    static auto next = real<Bool (*)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned int,
                                     unsigned int, Bool)>("XShmPutImage");
    Bool done = next(display, drawable, gc, image, src_x, src_y, dst_x, dst_y, width, height, send_event);
    if (!probe.swapping) stamp();
    return done;
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    static auto next = real<void (*)(GLenum, GLint, GLsizei)>("glDrawArrays");
    ++probe.draws;
    next(mode, first, count);
}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    static auto next = real<void (*)(GLenum, GLsizei, GLenum, const void*)>("glDrawElements");
    ++probe.draws;
    next(mode, count, type, indices);
}

}  // extern "C"
