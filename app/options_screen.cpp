#include "app/options_screen.h"

#include <algorithm>
#include <vector>

#include "platform/draw.h"
#include "platform/keys.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/window.h"
#include "present/owdraw.h"

namespace {

enum MainLine {
    BLUE_PILOT, RED_PILOT, BLUE_KEYS, RED_KEYS, PAD_FIRE, PAD_PAUSE, SOUND, MUSIC, DISPLAY, STEREO, PAD_LABELS, BACK,
    MAIN_LINES
};
// The face buttons fire and pause may move to (the rules' numbers), in the order offered;
// the shoulder buttons fire whatever is chosen.
constexpr int kPadButtons[] = {0, 1, 2, 3};
constexpr int kPadButtonCount = int(sizeof kPadButtons / sizeof kPadButtons[0]);
constexpr int kSoundItem = 2, kMusicItem = 3;  // the title's volume items
constexpr char kSideName[2][5] = {"Blue", "Red"};
constexpr float kKeysTop = 101, kHeadsY = 79;
constexpr char kStereoNames[5][16] = {"Off", "Magenta / green", "Red / green", "Red / cyan", "Red / blue"};
constexpr char kActionLabel[KEY_ACTIONS][16] = {"Climb",      "Descend",     "Turn left", "Turn right", "Slide left",
                                                "Slide right", "Forward", "Backward",  "Fire"};

// As the title's items show a level.
std::string level_text(int level) {
    if (level <= 0) return "Off";
    return level >= 10 ? "Max" : std::to_string(level * 10) + "%";
}

// The pilots a side can be given, in the order the player steps through them.
std::vector<PilotChoice> pilot_choices() {
    std::vector<PilotChoice> list;
    if (JoyAttached() > 0) list.push_back(PilotChoice{PilotKind::pad});
    list.push_back(PilotChoice{PilotKind::keys});
    for (PilotSkill s : {PilotSkill::easy, PilotSkill::normal, PilotSkill::hard})
        list.push_back(PilotChoice{PilotKind::computer, -1, s});
    return list;
}

void step_pilot(Program& p, int side, int by) {
    std::vector<PilotChoice> list = pilot_choices();
    PilotChoice now = p.pilots.choice[side];
    now.pad = now.kind == PilotKind::pad ? -1 : now.pad;
    auto at = std::find(list.begin(), list.end(), now);
    int i = at == list.end() ? 0 : int(at - list.begin()) + by;
    PilotChoice c = list[size_t((i % int(list.size()) + int(list.size())) % int(list.size()))];
    p.pilots.choice[side] = c;
    p.settings.pilot[side] = c;
    seat_pilots(p);
}

std::string key_text(int key) { return key ? KeyName(key) : "-"; }

// A pad button as the screens name it.
std::string pad_button_name(const Program& p, int button) {
    PadNames names = pad_names(p);
    switch (button) {
        case 0: return names.south;
        case 1: return names.east;
        case 2: return names.west;
        case 3: return names.north;
        default: return "button " + std::to_string(button);
    }
}

// The next button in the list for fire or pause, passing over the other's.
int step_pad_button(int now, int other, int by) {
    int i = int(std::find(kPadButtons, kPadButtons + kPadButtonCount, now) - kPadButtons);
    for (int tries = 0; tries < kPadButtonCount; ++tries) {
        i = ((i + by) % kPadButtonCount + kPadButtonCount) % kPadButtonCount;
        if (kPadButtons[i] != other) break;
    }
    return kPadButtons[i];
}

}  // namespace

void OptionsScreen::fill(const Program& p) {
    list_.entries.clear();
    if (page_ == Page::main) {
        list_.title = "Options";
        list_.top = 92;
        list_.step = 29;
        for (int side = 0; side < 2; ++side) {
            list_.entries.push_back({std::string(kSideName[side]) + " pilot",
                                     pilot_label(p.pilots.choice[side], p.pilots.pad_port(side))});
        }
        for (int side = 0; side < 2; ++side) list_.entries.push_back({std::string(kSideName[side]) + " keys", "Change >"});
        list_.entries.push_back({"Pad button to fire", pad_button_name(p, p.settings.pad_fire)});
        list_.entries.push_back({"Pad button to pause", pad_button_name(p, p.settings.pad_pause)});
        list_.entries.push_back({"Sound volume", level_text(p.game.sound_lvl)});
        list_.entries.push_back({"Music volume", level_text(p.game.music_lvl)});
        list_.entries.push_back({"Display", FullScreen() ? "Full screen" : "Window"});
        list_.entries.push_back({"3D glasses", kStereoNames[std::clamp(p.media.draw3d.ana_mode, 0, 4)]});
        list_.entries.push_back({"Pad button names", pad_labels_name(p.settings.pad_labels)});
        list_.entries.push_back({"Back", ""});
    } else {
        list_.title = std::string(kSideName[side_]) + " keys";
        // The first line's highlight starts below the heads of the key columns.
        list_.top = kKeysTop;
        list_.step = 29;
        for (int a = 0; a < KEY_ACTIONS; ++a) list_.entries.push_back({kActionLabel[a], ""});
        list_.entries.push_back({"Reset both sides to defaults", ""});
        list_.entries.push_back({"Back", ""});
    }
}

Screen::Step OptionsScreen::frame(Program& p, const Nav& nav, FrameInput& rules) {
    fill(p);
    Step step = page_ == Page::main ? main_frame(p, nav, rules) : keys_frame(p, nav);
    fill(p);
    return step;
}

Screen::Step OptionsScreen::main_frame(Program& p, const Nav& nav, FrameInput& rules) {
    Step step;
    bool clicked = list_.navigate(nav);
    int line = list_.focus;
    if (nav.back) {
        step.open = false;
        return step;
    }
    int change = nav.dx != 0 ? nav.dx : (nav.choose || clicked) ? 1 : 0;
    if (change == 0) return step;
    switch (line) {
        case BLUE_PILOT:
        case RED_PILOT:
            step_pilot(p, line - BLUE_PILOT, change);
            step.pilots_changed = true;
            break;
        case BLUE_KEYS:
        case RED_KEYS:
            if (nav.dx != 0) break;
            page_ = Page::keys;
            side_ = line - BLUE_KEYS;
            list_.focus = 0;
            slot_ = 0;
            message_.clear();
            break;
        // The title's items step the volume up, from Max to Off.
        case SOUND: click_title_item(rules, kSoundItem); break;
        case MUSIC: click_title_item(rules, kMusicItem); break;
        case DISPLAY: SetFullScreen(!FullScreen()); break;
        case STEREO:
            set_stereo_mode(p.media.draw3d, (p.media.draw3d.ana_mode + change + 5) % 5);
            p.settings.stereo_mode = p.media.draw3d.ana_mode;
            break;
        case PAD_FIRE: p.settings.pad_fire = step_pad_button(p.settings.pad_fire, p.settings.pad_pause, change); break;
        case PAD_PAUSE: p.settings.pad_pause = step_pad_button(p.settings.pad_pause, p.settings.pad_fire, change); break;
        case PAD_LABELS: p.settings.pad_labels = (p.settings.pad_labels + change + 4) % 4; break;
        case BACK:
            if (nav.dx == 0) step.open = false;
            break;
        default: break;
    }
    return step;
}

Screen::Step OptionsScreen::keys_frame(Program& p, const Nav& nav) {
    Step step;
    if (wait_ == Wait::key) {
        if (nav.back) {
            wait_ = Wait::none;
            message_.clear();
        } else if (nav.key) {
            bind(p, nav.key);
        } else if (nav.reserved) {
            message_ = reserved_key_use(nav.reserved) + ", so no action can have it. Press another key.";
        }
        return step;
    }
    if (wait_ == Wait::confirm) {
        if (nav.choose) {
            swap(p);
        } else if (nav.back) {
            wait_ = Wait::none;
            message_ = "Nothing changed.";
        }
        return step;
    }
    bool clicked = list_.navigate(nav);
    int line = list_.focus;
    if (nav.back) {
        page_ = Page::main;
        list_.focus = BLUE_KEYS + side_;
        message_.clear();
        return step;
    }
    if (line < KEY_ACTIONS) {
        if (nav.dx != 0) slot_ = std::clamp(slot_ + nav.dx, 0, 1);
        if (clicked && nav.mouse_x >= 440) slot_ = 1;
        else if (clicked && nav.mouse_x >= 300) slot_ = 0;
    }
    if (!(nav.choose || clicked)) return step;
    if (line < KEY_ACTIONS) {
        wait_ = Wait::key;
        message_ = waiting_message(p);
    } else if (line == KEY_ACTIONS) {
        for (int side = 0; side < 2; ++side) {
            p.settings.keys[side] = default_layout(side);
            p.keys[side] = p.settings.keys[side];
        }
        message_ = "Both keyboard halves have their first keys again.";
    } else {
        page_ = Page::main;
        list_.focus = BLUE_KEYS + side_;
        message_.clear();
    }
    return step;
}

// Delete clears the place being bound only where the action keeps a key: its second key
// is cleared, or its first with the second taking its place.
bool OptionsScreen::may_clear(const Program& p) const {
    return p.settings.keys[side_][size_t(list_.focus)][1] != 0;
}

std::string OptionsScreen::waiting_message(const Program& p) const {
    const std::array<int, 2>& keys = p.settings.keys[side_][size_t(list_.focus)];
    std::string action = std::string(kSideName[side_]) + " " + kActionLabel[list_.focus];
    if (slot_ == 1) {
        return "Press a second key for " + action + ". Escape: keep it." +
               (keys[1] ? " Delete: no second key." : "");
    }
    return "Press a key for " + action + ". Escape: keep it." +
           (keys[1] ? " Delete: leave it only " + KeyName(keys[1]) + "." : "");
}

void OptionsScreen::bind(Program& p, int key) {
    int action = list_.focus;
    std::array<int, 2>& keys = p.settings.keys[side_][size_t(action)];
    if (key == KEY_DELETE || key == KEY_BACKSPACE) {
        if (slot_ == 0 && !keys[1]) {
            message_ = "An action keeps at least one key.";
        } else {
            keys[size_t(slot_)] = 0;
            if (!keys[0]) std::swap(keys[0], keys[1]);
            message_.clear();
        }
        wait_ = Wait::none;
        p.keys[side_] = p.settings.keys[side_];
        return;
    }
    // Where the key is now, other than this place.
    for (int side = 0; side < 2; ++side) {
        for (int a = 0; a < KEY_ACTIONS; ++a) {
            for (int s = 0; s < 2; ++s) {
                if (p.settings.keys[side][size_t(a)][size_t(s)] != key) continue;
                if (side == side_ && a == action && s == slot_) {
                    wait_ = Wait::none;
                    message_.clear();
                    return;
                }
                new_key_ = key;
                other_side_ = side;
                other_action_ = a;
                other_slot_ = s;
                int mine = keys[size_t(slot_)];
                if (side == side_ && a == action) {
                    swap(p);
                    return;
                }
                wait_ = Wait::confirm;
                message_ = KeyName(key) + " is " + kSideName[side] + " " + kActionLabel[a] + ". Swap, giving it " +
                           key_text(mine) + "? Return: yes  Escape: no";
                return;
            }
        }
    }
    keys[size_t(slot_)] = key;
    p.keys[side_] = p.settings.keys[side_];
    wait_ = Wait::none;
    message_.clear();
}

void OptionsScreen::swap(Program& p) {
    int action = list_.focus;
    std::array<int, 2>& mine = p.settings.keys[side_][size_t(action)];
    std::array<int, 2>& theirs = p.settings.keys[other_side_][size_t(other_action_)];
    int old = mine[size_t(slot_)];
    theirs[size_t(other_slot_)] = old;
    mine[size_t(slot_)] = new_key_;
    // An action left without its first key takes its second.
    for (std::array<int, 2>* keys : {&mine, &theirs}) {
        if (!(*keys)[0]) std::swap((*keys)[0], (*keys)[1]);
    }
    wait_ = Wait::none;
    if (!theirs[0]) {
        // The other action had only this key and this place had none: it cannot be left
        // without one, so nothing changes.
        theirs[size_t(other_slot_)] = new_key_;
        mine[size_t(slot_)] = old;
        if (!mine[0]) std::swap(mine[0], mine[1]);
        message_ = KeyName(new_key_) + " is the only key of " + kSideName[other_side_] + " " +
                   kActionLabel[other_action_] + "; give that one another key first.";
        return;
    }
    for (int side = 0; side < 2; ++side) p.keys[side] = p.settings.keys[side];
    message_ = KeyName(new_key_) + " is now " + kSideName[side_] + " " + kActionLabel[action] + ".";
}

void OptionsScreen::draw(const Program& p) {
    screen_backdrop();
    list_.draw();
    if (page_ == Page::keys) {
        SetColor(150, 150, 150);
        screen_text("first key", 330, kHeadsY, 0.6f, false);
        screen_text("second key", 450, kHeadsY, 0.6f, false);
        for (int a = 0; a < KEY_ACTIONS; ++a) {
            float y = list_.top + list_.step * float(a);
            for (int s = 0; s < 2; ++s) {
                bool lit = a == list_.focus && s == slot_;
                float x = s == 0 ? 330.0f : 450.0f;
                if (lit) {
                    SetColor(wait_ == Wait::key ? 255 : 50, wait_ == Wait::key ? 200 : 100, wait_ == Wait::key ? 0 : 255);
                    SetAlpha(0.8f);
                    DrawRect(x - 6, y - 2, 112, list_.step - 8);
                    SetAlpha(1.0f);
                }
                SetColor(255, 255, 255);
                std::string name = wait_ == Wait::key && lit ? "?" : key_text(p.settings.keys[side_][size_t(a)][size_t(s)]);
                screen_text(name, x, y, 0.7f, false);
            }
        }
    }
    if (!message_.empty()) {
        SetColor(255, 210, 80);
        screen_text(message_, 320, 420, 0.6f, true);
    }
    PadNames pad = pad_names(p);
    std::string a = " or (" + pad.south + ")", b = " or (" + pad.east + ")";
    if (page_ == Page::main) {
        screen_hints("Up/Down: line   Left/Right: change   Return" + a + ": choose   Esc" + b + ": back");
    } else if (wait_ == Wait::none) {
        screen_hints("Up/Down: action   Left/Right: first or second key   Return" + a + ": bind   Esc" + b + ": back");
    } else {
        std::string clear = may_clear(p) ? "   Delete: clear it" : "";
        screen_hints(wait_ == Wait::key ? "Press the key   Esc: keep it" + clear
                                        : "Return" + a + ": swap   Esc" + b + ": keep");
    }
}
