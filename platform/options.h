#pragma once
// How the engine runs: set once by the program before the first service call.

struct EngineOptions {
    // No visible window and no sound device: SDL's offscreen video driver, the dummy
    // audio driver unless SDL_AUDIODRIVER names another, and a virtual clock that
    // advances only when the program waits.
    bool headless = false;
    // A window (the picture scaled by 2) instead of desktop full screen.
    bool windowed = false;
};

extern EngineOptions engine_options;
