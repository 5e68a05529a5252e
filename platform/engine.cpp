#include "platform/engine.h"

#include <SDL2/SDL.h>

#include <cstdio>

#include "platform/audio.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/input_internal.h"
#include "platform/pacer.h"
#include "platform/window.h"

bool Graphics(int width, int height, int depth, int hertz) {
    if (!WindowOpen(width, height, depth)) return false;
    DrawStateApply();
    for (int i = 0; i < 2; ++i) {
        Cls();
        WindowPresentNow(false);
    }
    PacerStart(hertz, depth);
    if (depth != 0) MoveMouse(width / 2, height / 2);
    // What came before the window is not the game's.
    FlushKeys();
    InputFlushMouse();
    return true;
}

void PlatformShutdown() {
    AudioShutdown();
    WindowClose();
    InputShutdown();
    SDL_Quit();
    std::fflush(stdout);
    std::fflush(stderr);
}
