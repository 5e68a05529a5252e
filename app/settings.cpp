#include "app/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "sim/game_state.h"
#include "platform/input.h"

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

bool parse_level(const std::string& v, int* out) {
    if (v.empty() || v.size() > 2) return false;
    for (char c : v) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    int n = std::stoi(v);
    if (n > VOLUME_LEVELS) return false;
    *out = n;
    return true;
}

constexpr char kSides[2][5] = {"blue", "red"};

// Escape, Space and the function keys belong to the game and the program.
bool reserved(int key) { return key == 27 || key == 32 || (key >= 112 && key <= 123); }

bool parse_keys(const std::string& v, std::array<int, 2>* out) {
    std::array<int, 2> keys{0, 0};
    std::stringstream list(v);
    int n = 0;
    for (std::string name; std::getline(list, name, ',');) {
        name = trim(name);
        int code = KeyByName(name);
        if (!code || reserved(code) || n == 2) return false;
        keys[size_t(n++)] = code;
    }
    if (n == 0) return false;
    *out = keys;
    return true;
}

// Makes a folder and the ones above it.
bool make_folders(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !make_folders(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

// The values an action of a keyboard half was given, with the lines that gave them (0:
// the value before the file).
using KeyHistory = std::vector<std::pair<int, std::array<int, 2>>>;

bool holds(const std::array<int, 2>& keys, int key) { return key && (keys[0] == key || keys[1] == key); }

// A key on both halves of the keyboard would fly both helicopters: the binding of the
// later line is dropped (the action keeps what it had before that line), until no key
// is shared.
void drop_shared_keys(const std::string& path, Settings& s, KeyHistory (&history)[2][KEY_ACTIONS],
                      const std::function<void(const std::string&)>& warn) {
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (int a = 0; a < KEY_ACTIONS && !dropped; ++a) {
            for (int b = 0; b < KEY_ACTIONS && !dropped; ++b) {
                for (int key : s.keys[0][size_t(a)]) {
                    if (!holds(s.keys[1][size_t(b)], key)) continue;
                    KeyHistory& blue = history[0][a];
                    KeyHistory& red = history[1][b];
                    int side = red.back().first > blue.back().first ? 1 : 0;
                    int action = side ? b : a;
                    KeyHistory& later = side ? red : blue;
                    if (later.back().first == 0) continue;  // shared before the file: not ours to drop
                    int line = later.back().first;
                    later.pop_back();
                    s.keys[side][size_t(action)] = later.back().second;
                    warn(path + ":" + std::to_string(line) + ": " + key_names({key, 0}) + " is bound to both blue." +
                         key_action_name(a) + " and red." + key_action_name(b) + "; this line is left out and " +
                         kSides[side] + "." + key_action_name(action) + " stays " +
                         key_names(s.keys[side][size_t(action)]));
                    dropped = true;
                    break;
                }
            }
        }
    }
}

}  // namespace

std::string default_settings_path() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = xdg && *xdg == '/' ? std::string(xdg) : home ? std::string(home) + "/.config" : std::string(".");
    return base + "/rc-whirlbat/settings.ini";
}

void load_settings(const std::string& path, Settings& s, const std::function<void(const std::string&)>& warn) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) warn("cannot read " + path + ": " + std::strerror(errno) + "; using the defaults");
        return;
    }
    std::ifstream file(path);
    if (!S_ISREG(st.st_mode) || !file) {
        warn("cannot read " + path + (S_ISREG(st.st_mode) ? ": " + std::string(std::strerror(errno)) : ": not a file") +
             "; using the defaults");
        return;
    }
    KeyHistory history[2][KEY_ACTIONS];
    for (int side = 0; side < 2; ++side) {
        for (int a = 0; a < KEY_ACTIONS; ++a) history[side][a].emplace_back(0, s.keys[side][size_t(a)]);
    }
    int number = 0;
    for (std::string raw; std::getline(file, raw);) {
        ++number;
        std::string line = trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? line : trim(line.substr(0, eq));
        std::string value = eq == std::string::npos ? "" : trim(line.substr(eq + 1));
        std::string where = path + ":" + std::to_string(number) + ": ";
        std::string shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
        if (key == "sound_volume" || key == "music_volume") {
            int& level = key == "sound_volume" ? s.sound_lvl : s.music_lvl;
            if (!parse_level(value, &level))
                warn(where + "'" + shown + "' is not a level from 0 to 10; it stays " + std::to_string(level));
        } else if (key == "blue" || key == "red") {
            int side = key == "red";
            PilotChoice p;
            if (parse_pilot(value, &p)) {
                s.pilot[side] = p;
            } else {
                warn(where + "'" + shown + "' is not pad, padN, keys or computer[:easy|normal|hard]; it stays " +
                     (s.pilot[side] ? pilot_text(*s.pilot[side]) : std::string("as the pads found say")));
            }
        } else if (key == "stereo_mode") {
            if (value.size() == 1 && value[0] >= '0' && value[0] <= '4') {
                s.stereo_mode = value[0] - '0';
            } else {
                warn(where + "'" + shown + "' is not a mode from 0 to 4; it stays " + std::to_string(s.stereo_mode));
            }
        } else if (key.rfind("blue.", 0) == 0 || key.rfind("red.", 0) == 0) {
            int side = key[0] == 'r';
            std::string action = key.substr(side ? 4 : 5);
            int a = 0;
            while (a < KEY_ACTIONS && action != key_action_name(a)) ++a;
            if (a == KEY_ACTIONS) {
                warn(where + "no setting is called '" + key + "'; the line is left out");
            } else if (!parse_keys(value, &s.keys[side][size_t(a)])) {
                warn(where + "'" + shown + "' does not name one or two keys (not Escape, Space or F1 to F12); it stays " +
                     key_names(s.keys[side][size_t(a)]));
            } else {
                history[side][a].emplace_back(number, s.keys[side][size_t(a)]);
            }
        } else {
            warn(where + "no setting is called '" + (key.size() > 40 ? key.substr(0, 40) + "..." : key) +
                 "'; the line is left out");
        }
    }
    drop_shared_keys(path, s, history, warn);
}

std::string settings_text(const Settings& s) {
    std::ostringstream out;
    out << "# RC Whirlbat settings: \"name = value\" a line. A line the game cannot use is\n"
           "# reported and left out; delete the file to start afresh.\n\n"
           "# Volumes: 0 (off) to 10 (full).\n"
        << "sound_volume = " << s.sound_lvl << "\nmusic_volume = " << s.music_lvl << "\n\n"
        << "# Pilots: pad (the first free pad), pad1, pad2, ..., keys, computer:easy|normal|hard.\n";
    for (int side = 0; side < 2; ++side) {
        if (s.pilot[side]) out << kSides[side] << " = " << pilot_text(*s.pilot[side]) << "\n";
        else out << "# " << kSides[side] << " = pad\n";
    }
    out << "\n# 3D glasses: 0 off, 1 magenta/green, 2 red/green, 3 red/cyan, 4 red/blue.\n"
        << "stereo_mode = " << s.stereo_mode << "\n\n"
        << "# Keyboard halves: one or two keys an action, by the names the system gives them.\n";
    for (int side = 0; side < 2; ++side) {
        for (int a = 0; a < KEY_ACTIONS; ++a)
            out << kSides[side] << "." << key_action_name(a) << " = " << key_names(s.keys[side][size_t(a)]) << "\n";
    }
    return out.str();
}

bool save_settings(const std::string& path, const Settings& s, std::string* error) {
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !make_folders(path.substr(0, slash))) {
        *error = "cannot save settings in " + path.substr(0, slash) + ": " + std::strerror(errno);
        return false;
    }
    std::string temp = path + ".new-" + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        out << settings_text(s);
        out.flush();
        if (!out) {
            *error = "cannot save settings to " + path + ": " + std::strerror(errno ? errno : EIO);
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot save settings to " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void SettingsKeeper::presented(Program& p) {
    if (path_.empty() || p.settings == saved_) return;
    std::string why;
    if (save_settings(path_, p.settings, &why)) {
        saved_ = p.settings;
    } else {
        std::fprintf(stderr, "rc-whirlbat: %s; the settings are not kept\n", why.c_str());
        path_.clear();
    }
}
