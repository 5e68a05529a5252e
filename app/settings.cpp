#include "app/settings.h"

#include "net/net_link.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "sim/game_state.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/window.h"

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
const std::string kPadLabels[4] = {"auto", "xbox", "playstation", "nintendo"};
// The face buttons fire and pause may move to, by their place on an Xbox-style pad (the
// shoulder buttons fire whatever is chosen).
const std::string kPadButtons[4] = {"a", "b", "x", "y"};
constexpr int kPadButtonNumbers[4] = {0, 1, 2, 3};

std::string pad_button_text(int button) {
    for (int i = 0; i < 4; ++i) {
        if (kPadButtonNumbers[i] == button) return kPadButtons[i];
    }
    return "a";
}

// Escape, Space and the function keys belong to the game and the program.
bool reserved(int key) { return key == KEY_ESCAPE || key == KEY_SPACE || (key >= KEY_F1 && key <= KEY_F12); }

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

std::string default_settings_path() { return UserFolderPath(UserFolder::settings) + "/settings.ini"; }

namespace {

constexpr size_t kMostBytes = 64 * 1024;  // a settings file is a few hundred bytes
constexpr int kMostWarnings = 10;

// Bytes a terminal cannot show, as \xNN.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

// The file's text; false (with one line for anything but a missing file) when there
// is none to use. Checked before it is opened: a FIFO would hold the start.
bool read_settings_file(const std::string& path, std::string* text,
                        const std::function<void(const std::string&)>& warn) {
    std::string target = FileThroughLinks(path);
    struct stat st;
    if (stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) warn("cannot read " + path + ": " + std::strerror(errno) + "; using the defaults");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        warn("cannot read " + path + ": not a regular file; using the defaults");
        return false;
    }
    if (size_t(st.st_size) > kMostBytes) {
        warn("cannot read " + path + ": larger than 64 KB, not a settings file; using the defaults");
        return false;
    }
    std::ifstream file(target, std::ios::binary);
    if (!file) {
        warn("cannot read " + path + ": " + std::strerror(errno) + "; using the defaults");
        return false;
    }
    std::vector<char> bytes(kMostBytes + 1);
    file.read(bytes.data(), std::streamsize(bytes.size()));
    size_t got = size_t(file.gcount());
    if (got > kMostBytes) {
        warn("cannot read " + path + ": larger than 64 KB, not a settings file; using the defaults");
        return false;
    }
    text->assign(bytes.data(), got);
    return true;
}

// One line of the file: its setting, its value, and how a warning names it.
struct SettingLine {
    std::string key, value;
    std::string where;  // "PATH:LINE: "
    std::string shown;  // the line, cut short for a warning
    int number = 0;
};
using Warn = std::function<void(const std::string&)>;

// relay = USER@HOST[:PORT]: a password there would lie on disk in clear, so one is
// refused with a word on where it goes instead.
void read_relay_setting(const SettingLine& l, Settings& s, const Warn& warn) {
    const std::string& v = l.value;
    size_t at = v.rfind('@');
    std::string host;
    int port = 0;
    std::string stays = "; it stays " + (s.relay.empty() ? std::string("none") : s.relay);
    if (v.empty()) {
        s.relay.clear();
    } else if (at != std::string::npos && v.find(':') < at) {
        warn(l.where + "a relay's password does not belong in the settings file: keep relay = USER@HOST and put the "
             "password in the file named by WHIRLBAT_RELAY_PASSWORD_FILE" + stays);
    } else if (at == std::string::npos || at == 0 || v.find_first_of(" \t") != std::string::npos || v.size() > 255 ||
               !split_host_port(v.substr(at + 1), &host, &port)) {
        warn(l.where + "'" + l.shown + "' is not USER@HOST or USER@HOST:PORT with a port from 1 to 65535" + stays);
    } else {
        s.relay = v;
    }
}

// The volumes, the pilots, the 3D mode and the meeting server; false for another key.
bool read_play_setting(const SettingLine& l, Settings& s, const Warn& warn) {
    const std::string& key = l.key;
    if (key == "sound_volume" || key == "music_volume") {
        int& level = key == "sound_volume" ? s.sound_lvl : s.music_lvl;
        if (!parse_level(l.value, &level))
            warn(l.where + "'" + l.shown + "' is not a level from 0 to 10; it stays " + std::to_string(level));
    } else if (key == "blue" || key == "red") {
        int side = key == "red";
        PilotChoice p;
        if (parse_pilot(l.value, &p)) {
            s.pilot[side] = p;
        } else {
            warn(l.where + "'" + l.shown + "' is not pad, padN, keys or computer[:easy|normal|hard]; it stays " +
                 (s.pilot[side] ? pilot_text(*s.pilot[side]) : std::string("as the pads found say")));
        }
    } else if (key == "stereo_mode") {
        if (l.value.size() == 1 && l.value[0] >= '0' && l.value[0] <= '4') {
            s.stereo_mode = l.value[0] - '0';
        } else {
            warn(l.where + "'" + l.shown + "' is not a mode from 0 to 4; it stays " + std::to_string(s.stereo_mode));
        }
    } else if (key == "lobby") {
        std::string host;
        int port = 0;
        if (l.value.empty() || (l.value.find_first_of(" \t") == std::string::npos && l.value.size() <= 255 &&
                                split_host_port(l.value, &host, &port))) {
            s.lobby = l.value;
        } else {
            warn(l.where + "'" + l.shown + "' is not HOST or HOST:PORT with a port from 1 to 65535; it stays " +
                 (s.lobby.empty() ? std::string("none") : s.lobby));
        }
    } else if (key == "relay") {
        read_relay_setting(l, s, warn);
    } else {
        return false;
    }
    return true;
}

// Online play's choices of what to ask the network; false for another key.
bool read_network_setting(const SettingLine& l, Settings& s, const Warn& warn) {
    bool* flag = l.key == "port_mapping" ? &s.port_mapping
                 : l.key == "lan_search" ? &s.lan_search
                 : l.key == "watchers"   ? &s.watchers
                                         : nullptr;
    if (!flag) return false;
    if (l.value == "on" || l.value == "off") *flag = l.value == "on";
    else warn(l.where + "'" + l.shown + "' is not on or off; it stays " + (*flag ? "on" : "off"));
    return true;
}

// The pad's buttons and names, and the display; false for another key.
bool read_device_setting(const SettingLine& l, Settings& s, const Warn& warn) {
    const std::string& key = l.key;
    if (key == "pad.fire" || key == "pad.pause") {
        int& button = key == "pad.fire" ? s.pad_fire : s.pad_pause;
        auto at = std::find(std::begin(kPadButtons), std::end(kPadButtons), l.value);
        if (at != std::end(kPadButtons)) {
            button = kPadButtonNumbers[at - std::begin(kPadButtons)];
        } else {
            warn(l.where + "'" + l.shown + "' is not one of a, b, x, y; it stays " + pad_button_text(button));
        }
    } else if (key == "pad_labels") {
        auto at = std::find(std::begin(kPadLabels), std::end(kPadLabels), l.value);
        if (at != std::end(kPadLabels)) {
            s.pad_labels = int(at - std::begin(kPadLabels));
        } else {
            warn(l.where + "'" + l.shown + "' is not auto, xbox, playstation or nintendo; it stays " +
                 kPadLabels[s.pad_labels]);
        }
    } else if (key == "display") {
        if (l.value == "full screen" || l.value == "window") {
            s.full_screen = l.value == "full screen";
        } else {
            warn(l.where + "'" + l.shown + "' is not 'full screen' or 'window'; it stays " +
                 (s.full_screen.value_or(true) ? "full screen" : "window"));
        }
    } else if (key == "window") {
        int w = 0, h = 0;
        char end = 0;
        if (std::sscanf(l.value.c_str(), "%dx%d%c", &w, &h, &end) == 2 && w >= 160 && h >= 120 && w <= 16384 &&
            h <= 16384) {
            s.window_w = w;
            s.window_h = h;
        } else {
            std::string now = std::to_string(s.window_w) + "x" + std::to_string(s.window_h);
            warn(l.where + "'" + l.shown + "' is not a size such as 1280x960; it stays " +
                 (s.window_w ? now : std::string("the one that fits")));
        }
    } else {
        return false;
    }
    return true;
}

// A keyboard half's key for an action ("blue.climb = W, Up"); false for another key.
bool read_key_setting(const SettingLine& l, Settings& s, KeyHistory (&history)[2][KEY_ACTIONS], const Warn& warn) {
    const std::string& key = l.key;
    if (key.rfind("blue.", 0) != 0 && key.rfind("red.", 0) != 0) return false;
    int side = key[0] == 'r';
    std::string action = key.substr(side ? 4 : 5);
    int a = 0;
    while (a < KEY_ACTIONS && action != key_action_name(a)) ++a;
    if (a == KEY_ACTIONS) {
        warn(l.where + "no setting is called '" + key + "'; the line is left out");
    } else if (!parse_keys(l.value, &s.keys[side][size_t(a)])) {
        warn(l.where + "'" + l.shown + "' does not name one or two keys (not Escape, Space or F1 to F12); it stays " +
             key_names(s.keys[side][size_t(a)]));
    } else {
        history[side][a].emplace_back(l.number, s.keys[side][size_t(a)]);
    }
    return true;
}

// Reads the lines of a settings file's text into s.
void read_settings_lines(const std::string& text, const std::string& path, Settings& s, const Warn& warn) {
    std::istringstream file(text);
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
        SettingLine l;
        l.key = eq == std::string::npos ? line : trim(line.substr(0, eq));
        l.value = eq == std::string::npos ? "" : trim(line.substr(eq + 1));
        l.where = path + ":" + std::to_string(number) + ": ";
        l.shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
        l.number = number;
        if (read_play_setting(l, s, warn) || read_network_setting(l, s, warn) || read_device_setting(l, s, warn) ||
            read_key_setting(l, s, history, warn))
            continue;
        warn(l.where + "no setting is called '" + (l.key.size() > 40 ? l.key.substr(0, 40) + "..." : l.key) +
             "'; the line is left out");
    }
    drop_shared_keys(path, s, history, warn);
    if (s.pad_fire == s.pad_pause) {
        warn(path + ": pad.fire and pad.pause are both " + pad_button_text(s.pad_fire) + "; they are a and b again");
        s.pad_fire = 0;
        s.pad_pause = 1;
    }
}

}  // namespace

void load_settings(const std::string& path, Settings& s, const std::function<void(const std::string&)>& warn) {
    int problems = 0;
    auto counted = [&](const std::string& line) {
        if (++problems <= kMostWarnings) warn(printable(line));
    };
    std::string text;
    if (read_settings_file(path, &text, counted)) read_settings_lines(text, path, s, counted);
    if (problems > kMostWarnings)
        warn(std::to_string(problems - kMostWarnings) + " more problems in " + printable(path) + " not shown");
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
        << "stereo_mode = " << s.stereo_mode << "\n\n";
    out << "# The pad buttons that fire and pause, by their place on an Xbox-style pad: a, b, x, y.\n"
        << "pad.fire = " << pad_button_text(s.pad_fire) << "\npad.pause = " << pad_button_text(s.pad_pause) << "\n\n"
        << "# A pad's buttons on the screens: auto (as the pad says), xbox, playstation, nintendo.\n"
        << "pad_labels = " << kPadLabels[s.pad_labels] << "\n\n";
    if (s.full_screen) {
        out << "# Display: full screen or window (F11 or Alt+Enter switches while playing).\n"
            << "display = " << (*s.full_screen ? "full screen" : "window") << "\n\n";
    }
    if (s.window_w > 0) {
        out << "# The window's size, as you last gave it (delete the line for the size that fits best).\n"
            << "window = " << s.window_w << "x" << s.window_h << "\n\n";
    }
    out
        << "# Keyboard halves: one or two keys an action, by the names the system gives them.\n";
    for (int side = 0; side < 2; ++side) {
        for (int a = 0; a < KEY_ACTIONS; ++a)
            out << kSides[side] << "." << key_action_name(a) << " = " << key_names(s.keys[side][size_t(a)]) << "\n";
    }
    if (!s.lobby.empty()) out << "\n# The meeting server for join codes in online play: HOST or HOST:PORT.\nlobby = " << s.lobby << "\n";
    if (!s.relay.empty())
        out << "\n# A TURN relay of your own for online play (else the meeting server's): USER@HOST or USER@HOST:PORT,\n"
            << "# its password in the file named by $WHIRLBAT_RELAY_PASSWORD_FILE.\nrelay = " << s.relay << "\n";
    if (!s.port_mapping)
        out << "\n# Hosting with a meeting server, ask the router to forward the game's port: on or off.\nport_mapping = off\n";
    if (!s.lan_search) out << "\n# The Play Online screen asks the local network for its games: on or off.\nlan_search = off\n";
    if (!s.watchers) out << "\n# Hosting, let others watch the match: on or off.\nwatchers = off\n";
    return out.str();
}

namespace {

// The file's lines as they were, with each setting the game can use there given its
// value now, and settings the file lacks added at the end: comments and lines the game
// cannot use stay as the player wrote them.
std::string merged_settings_text(const std::string& old, const Settings& s) {
    std::string fresh = settings_text(s);
    if (old.empty()) return fresh;
    std::vector<std::pair<std::string, std::string>> lines;  // key, the line as written now
    std::istringstream now(fresh);
    for (std::string line; std::getline(now, line);) {
        std::string body = trim(line[0] == '#' ? line.substr(1) : line);
        size_t eq = body.find('=');
        if (eq == std::string::npos || (line[0] == '#' && body.find(' ') != eq - 1)) continue;
        std::string key = trim(body.substr(0, eq));
        if (line[0] == '#' && key != kSides[0] && key != kSides[1]) continue;
        lines.emplace_back(key, line);
    }
    std::string out;
    std::vector<std::string> written;
    std::istringstream before(old);
    for (std::string raw; std::getline(before, raw);) {
        std::string line = trim(raw.substr(0, raw.find('#')));
        std::string key = trim(line.substr(0, line.find('=')));
        auto it = std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.first == key; });
        bool usable = false;
        if (!line.empty() && it != lines.end()) {
            Settings scratch;
            usable = true;
            read_settings_lines(raw, "", scratch, [&](const std::string&) { usable = false; });
        }
        if (usable) {
            size_t note = raw.find('#');
            out += it->second + (note == std::string::npos ? "" : " " + raw.substr(note)) + "\n";
            written.push_back(key);
        } else {
            out += raw + "\n";
        }
    }
    for (const auto& [key, line] : lines) {
        if (line[0] != '#' && std::find(written.begin(), written.end(), key) == written.end()) out += line + "\n";
    }
    return out;
}

}  // namespace

bool save_settings(const std::string& path, const Settings& s, std::string* error) {
    // Through a symbolic link to its target, which is replaced whole by a file written
    // beside it.
    std::string target = FileThroughLinks(path);
    std::string old;
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            *error = "cannot save settings to " + path + ": not a regular file";
            return false;
        }
        if (size_t(st.st_size) <= kMostBytes) {
            std::ifstream in(target, std::ios::binary);
            old.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (old.size() > kMostBytes) old.clear();
        }
    }
    size_t slash = target.find_last_of('/');
    if (slash != std::string::npos && !FolderMake(target.substr(0, slash))) {
        *error = "cannot save settings in " + target.substr(0, slash) + ": " + std::strerror(errno);
        return false;
    }
    std::string temp = target + ".new-" + std::to_string(ProcessNumber());
    {
        std::ofstream out(temp, std::ios::trunc | std::ios::binary);
        out << merged_settings_text(old, s);
        out.flush();
        if (!out) {
            *error = "cannot save settings to " + path + ": " + std::strerror(errno ? errno : EIO);
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (!FileMoveOver(temp, target)) {
        *error = "cannot save settings to " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

SettingsKeeper::SettingsKeeper(std::string path, const Settings& saved) : saved_(saved) {
    // A path that names something other than a file (a FIFO, a device) is never
    // written; reading it said so once.
    struct stat st;
    if (stat(FileThroughLinks(path).c_str(), &st) != 0 || S_ISREG(st.st_mode)) path_ = std::move(path);
}

void SettingsKeeper::presented(Program& p) {
    int w = 0, h = 0;
    if (WindowedSize(&w, &h)) {
        p.settings.window_w = w;
        p.settings.window_h = h;
    }
    if (path_.empty() || p.settings == saved_) return;
    std::string why;
    if (save_settings(path_, p.settings, &why)) {
        saved_ = p.settings;
    } else {
        std::fprintf(stderr, "rc-whirlbat: %s; the settings are not kept\n", why.c_str());
        path_.clear();
    }
}
