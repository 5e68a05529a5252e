#pragma once
// What the player chose and the game remembers between runs: the volumes, the pilots,
// the keyboard layouts, the 3D glasses mode and full screen or a window (app/settings keeps them in a file).
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
    // A TURN relay of the player's own, USER@HOST[:PORT], its password never in the file
    // (from $WHIRLBAT_RELAY_PASSWORD_FILE or $WHIRLBAT_RELAY_PASSWORD); "" none: the
    // meeting server's, if it offers one.
    std::string relay;
    bool port_mapping = true;  // a host with a meeting server asks the router to forward its port
    bool lan_search = true;    // the online screen asks the local network for its games
    bool watchers = true;      // a host lets others watch its match
    std::optional<bool> full_screen;  // unset: full screen unless --window
    int window_w = 0, window_h = 0;   // the window's size the player gave it; 0 none
    int pad_fire = 0, pad_pause = 1;  // the pad buttons that fire and pause (0 A, 1 B, 2 X, 3 Y)
    int pad_labels = 0;  // how screens name a pad's buttons: 0 as the pad says, 1 Xbox, 2 PlayStation, 3 Nintendo

    bool operator==(const Settings&) const = default;
};
