#include "platform/window_system.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/present_cpu.h"
#include "platform/renderer.h"
#include "platform/window_x11.h"

namespace {

struct DirectState {
    SoftScaler scaler;
    int scaled_w = 0, scaled_h = 0;  // the window size the scaler is set up for
    WindowArea changed;              // the window pixels the last enlargement wrote
    bool put_whole = false;          // the window has lost what was put on it before
    std::vector<uint32_t> words;
};

DirectState direct;

}  // namespace

bool SystemPresentWanted() {
    const char* choice = std::getenv("WHIRLBAT_PRESENT");
    if (choice && std::strcmp(choice, "gl") == 0) return false;
    if (choice && std::strcmp(choice, "cpu") == 0) return true;
    return RendererIsSoftware();
}

bool SystemPresentOpen(SDL_Window* window) {
    direct.scaled_w = direct.scaled_h = 0;
    return X11DirectOpen(window);
}

// The black bars are drawn once, when the pixels are new. Only the pixels that changed
// are put on the window, unless the window is new or was uncovered.
bool SystemPresentPrepare(int dw, int dh, int picture_w, int picture_h, bool every_frame) {
    int pitch = 0;
    bool fresh = false;
    uint32_t* pixels = X11DirectPixels(dw, dh, &pitch, &fresh);
    if (!pixels) return false;
    if (fresh || direct.scaled_w != dw || direct.scaled_h != dh) {
        int x, y, w, h;
        RendererFitRect(dw, dh, &x, &y, &w, &h);
        SoftScalerSetup(direct.scaler, picture_w, picture_h, x, y, w, h);
        direct.scaled_w = dw;
        direct.scaled_h = dh;
        direct.put_whole = true;
    }
    RendererReadPictureWords(direct.words);
    // GL's rows run bottom to top: start at the last and step back.
    direct.changed = SoftScale(direct.scaler, direct.words.data() + size_t(picture_h - 1) * size_t(picture_w),
                               -long(picture_w), pixels, pitch);
    if (std::exchange(direct.put_whole, false)) direct.changed = WindowArea{0, 0, dw, dh};
    // A probe that counts puts as frames still sees one for a frame that changed nothing.
    if (direct.changed.w == 0 && every_frame) direct.changed = WindowArea{0, 0, 1, 1};
    return true;
}

void SystemPresentShow() { X11DirectPut(direct.changed.x, direct.changed.y, direct.changed.w, direct.changed.h); }

void SystemPresentWhole() { direct.put_whole = true; }

void SystemPresentClose() { X11DirectClose(); }
