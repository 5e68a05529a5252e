#pragma once
// The two pad ports as the rules read them. A pad counts a press when a reading finds a
// button down that the reading before found up; the rules take a reading of a port the
// first time they look at it in a frame, so a port they do not look at counts nothing
// (a press and release in between is missed, a button still held counts at the next
// reading). A press stays pending until the rules ask for that button.
// QUIRK(presses-count-when-read)
#include <cstdint>

constexpr int PAD_PORTS = 2;
constexpr int PAD_BUTTONS = 16;  // buttons that count presses

enum PadAxis : int { AXIS_X = 0, AXIS_Y = 1, AXIS_Z = 2, AXIS_R = 3 };

struct PortState {
    float axes[4] = {0, 0, 0, 0};  // X turn, Y climb, Z slide, R forward, as the pad stands
    uint32_t buttons = 0;          // held now
    uint32_t seen = 0;             // held at the last reading
    bool read = false;             // read in this frame
    uint8_t pending[PAD_BUTTONS] = {};

    // An axis, -1.0 .. 1.0.
    float axis(int a) {
        take_reading();
        return axes[a];
    }
    // The presses of a button since it was last asked for; asking clears them.
    int take(int button) {
        take_reading();
        int n = pending[button];
        pending[button] = 0;
        return n;
    }
    void take_reading() {
        if (read) return;
        read = true;
        uint32_t went_down = buttons & ~seen;
        for (int b = 0; b < PAD_BUTTONS; ++b) {
            if ((went_down >> b & 1) && pending[b] < 255) ++pending[b];
        }
        seen = buttons;
    }
};

struct Pads {
    PortState port[PAD_PORTS];
};
