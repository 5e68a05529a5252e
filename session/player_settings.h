#pragma once
// What the player chose and the game remembers between runs: the volumes, the pilots,
// the keyboard layouts and the 3D glasses mode (app/settings keeps them in a file).
#include <optional>
#include <string>

#include "session/pilots.h"

struct Settings {
    int sound_lvl = 10;  // 0 .. 10
    int music_lvl = 10;
    std::optional<PilotChoice> pilot[2];  // unset: the defaults for the pads found
    KeyLayout keys[2] = {default_layout(0), default_layout(1)};
    int stereo_mode = 0;  // 0 off, 1..4 the colour pairs
    std::string lobby;    // the meeting server for join codes, HOST[:PORT]; "" none

    bool operator==(const Settings&) const = default;
};
