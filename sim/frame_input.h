#pragma once
// The input of one frame: the devices as they stand after the frame before, as the rules
// read them. The frame runner fills it in from the pads, keys and mouse (or from a
// replay); the rules never read a device themselves.
#include <cstdint>

#include "sim/pads.h"

struct PortInput {
    float axis[4] = {0, 0, 0, 0};  // X, Y, Z, R
    uint32_t buttons = 0;          // held
};

struct FrameInput {
    PortInput port[PAD_PORTS];
    int mouse_x = 0, mouse_y = 0;  // the pointer in picture pixels
    uint8_t clicks = 0;            // left-button presses
    uint8_t esc = 0, space = 0;    // key presses
    bool quit = false;             // the window was asked to close
    int pad_count = 0;             // pads a new count would find now
    bool recount = false;          // the pilots changed: the pads are counted again

    // The input flush reads pad 0 while it waits: when it did since the frame before,
    // the buttons it last found and the presses it saw of the buttons it does not wait
    // for (the others it takes itself).
    bool flushed = false;
    uint32_t flush_buttons = 0;
    uint8_t flush_presses[PAD_BUTTONS] = {};

    // Adds what a later reading gave: presses add up, held values are the later ones.
    void merge_later(const FrameInput& later);
};
