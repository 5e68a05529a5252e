#pragma once
// What the game remembers between runs, in a plain text file a person can edit
// ($XDG_CONFIG_HOME/rc-whirlbat/settings.ini): the volumes, the pilots, the keyboard
// layouts and the 3D glasses mode. A missing file gives the defaults; a damaged line
// gives one warning naming it and is left out (the setting keeps what it had), never a
// refusal to start. A key bound to both halves of the keyboard is named and the later
// binding dropped. The file is written whole to a temporary file and renamed into place.
#include <functional>
#include <optional>
#include <string>

#include "app/pilots.h"

struct Settings {
    int sound_lvl = 10;  // 0 .. 10
    int music_lvl = 10;
    std::optional<PilotChoice> pilot[2];  // unset: the defaults for the pads found
    KeyLayout keys[2] = {default_layout(0), default_layout(1)};
    int stereo_mode = 0;  // 0 off, 1..4 the colour pairs

    bool operator==(const Settings&) const = default;
};

// $XDG_CONFIG_HOME/rc-whirlbat/settings.ini, or ~/.config/rc-whirlbat/settings.ini.
std::string default_settings_path();

// Reads the file into s (which keeps its values for anything the file lacks or gets
// wrong). Each problem is passed to warn as one line. A missing file is no problem.
void load_settings(const std::string& path, Settings& s, const std::function<void(const std::string&)>& warn);
// Writes the file (creating its folder); false with the reason on failure.
bool save_settings(const std::string& path, const Settings& s, std::string* error);
// The file's text.
std::string settings_text(const Settings& s);

// The volume the menu would show after stepping to a level: the float sum of the
// steps from "Off", and 1.0 for "Max" as the game starts with.
float volume_for_level(int level);
