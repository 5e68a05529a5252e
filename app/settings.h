#pragma once
// What the game remembers between runs, in a plain text file a person can edit
// ($XDG_CONFIG_HOME/rc-whirlbat/settings.ini): the volumes, the pilots, the keyboard
// layouts and the 3D glasses mode. A missing file gives the defaults; a damaged line
// gives one warning naming it and is left out (the setting keeps what it had), never a
// refusal to start. A key bound to both halves of the keyboard is named and the later
// binding dropped. The file is written whole to a temporary file and renamed into place
// (through a symbolic link, beside its target), keeping the player's comments and the
// lines the game cannot use.
#include <functional>
#include <optional>
#include <string>

#include "session/runner.h"

// Writes the settings file whenever the player's choices change (the volumes, the
// pilots, the 3D mode). A failure is one line, and the game goes on without keeping them.
class SettingsKeeper : public FrameHook {
public:
    SettingsKeeper(std::string path, const Settings& saved);
    void presented(Program& p) override;

private:
    std::string path_;  // none once writing failed
    Settings saved_;    // as the file last had them
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

