// The floor the game is measured against: a program that does nothing but clear and
// present a window of the same size at 60 frames a second, paced as the game paces
// (16, 17, 17 ms by the millisecond clock), with the same kind of OpenGL context.
// Usage: whirlbat_floor (--fullscreen | --window W H) FRAMES
#include <GL/gl.h>
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    bool fullscreen = argc == 3 && std::strcmp(argv[1], "--fullscreen") == 0;
    bool windowed = argc == 5 && std::strcmp(argv[1], "--window") == 0;
    if (!fullscreen && !windowed) {
        std::fprintf(stderr, "usage: whirlbat_floor (--fullscreen | --window W H) FRAMES\n");
        return 2;
    }
    int frames = std::atoi(argv[argc - 1]);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "whirlbat_floor: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Rect r{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 0, 0};
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (fullscreen) {
        SDL_DisplayMode desktop;
        SDL_GetDesktopDisplayMode(0, &desktop);
        r = SDL_Rect{0, 0, desktop.w, desktop.h};
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    } else {
        r.w = std::atoi(argv[2]);
        r.h = std::atoi(argv[3]);
    }
    SDL_Window* window = SDL_CreateWindow("floor", r.x, r.y, r.w, r.h, flags);
    SDL_GLContext gl = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!gl) {
        std::fprintf(stderr, "whirlbat_floor: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);
    Uint32 due = SDL_GetTicks();
    int fraction = 0;
    for (int i = 0; i < frames; ++i) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        int w, h;
        SDL_GL_GetDrawableSize(window, &w, &h);
        glViewport(0, 0, w, h);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        due += 16;
        fraction += 40;
        if (fraction >= 60) fraction -= 60, due += 1;
        int wait = int(due - SDL_GetTicks());
        if (wait > 0) SDL_Delay(Uint32(wait));
        else due = SDL_GetTicks();
        SDL_GL_SwapWindow(window);
    }
    SDL_GL_DeleteContext(gl);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
