#include "app/pilot_panel.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/screen.h"
#include "platform/draw.h"
#include "platform/keys.h"
#include "present/plain_drawing.h"
#include "platform/font.h"
#include "platform/input.h"
#include "present/owdraw.h"

namespace {

constexpr int kBannerFrames = 120, kMissingPadFrames = 300;
// The panels keep clear of the menu's widest item lit ("Detect Game Pads: 16" at 1.2
// times, from x 170 to 470), from the logo above and the row below.
constexpr float kTop = 236, kBottom = 394, kBoxWidth = 168, kTextInset = 6;
constexpr float kHeaderY = 240, kNameY = 262, kLegendY = 290, kLegendStep = 16;
constexpr float kHeaderScale = 0.75f, kNameScale = 0.7f, kLegendScale = 0.55f;
// The hint line and the notices, between the scores and the logo.
constexpr float kHintTop = 34, kHintHeight = 18, kHintScale = 0.55f;
constexpr int kPointerReach = 24;  // the pointer's picture, right of and below its hot spot
constexpr int kTeamColour[2][3] = {{50, 100, 255}, {255, 100, 50}};
constexpr int kWarning[3] = {255, 210, 80};
constexpr char kTeamName[2][5] = {"Blue", "Red"};
constexpr char kStereoNames[5][16] = {"off", "magenta / green", "red / green", "red / cyan", "red / blue"};

// The left edge of a side's box: left of the menu for Blue, right of it for Red.
float box_x(int side) { return side == 0 ? 0.0f : 640.0f - kBoxWidth; }

bool pad_missing(const Program& p, int side) {
    return p.pilots.choice[side].kind == PilotKind::pad && p.pilots.pad_port(side) >= JoyAttached();
}

std::string name_line(const Program& p, int side) {
    return pilot_label(p.pilots.choice[side], p.pilots.pad_port(side));
}

void text(const std::string& s, float x, float y, float scale) {
    SetScale(scale, scale);
    DrawText(s, x, y);
}

void draw_band(const std::string& line, const int rgb[3]) {
    float w = float(TextWidth(line)) * kHintScale;
    SetColor(0, 0, 0);
    SetAlpha(0.75f);
    SetScale(1, 1);
    DrawRect(320 - w / 2 - 10, kHintTop, w + 20, kHintHeight);
    SetAlpha(1.0f);
    SetColor(rgb[0], rgb[1], rgb[2]);
    text(line, 320 - w / 2, kHintTop + 2, kHintScale);
}

void draw_panel(const Program& p, int side) {
    float x0 = box_x(side), x = x0 + kTextInset;
    // A dark backing keeps the small print readable over the fields.
    SetColor(0, 0, 0);
    SetAlpha(0.55f);
    SetScale(1, 1);
    DrawRect(x0, kTop, kBoxWidth, kBottom - kTop);
    SetAlpha(1.0f);
    const int* c = kTeamColour[side];
    SetColor(c[0], c[1], c[2]);
    text(kTeamName[side], x, kHeaderY, kHeaderScale);
    text(name_line(p, side), x, kNameY, kNameScale);
    bool missing = pad_missing(p, side);
    if (missing) SetColor(kWarning[0], kWarning[1], kWarning[2]);
    else SetColor(215, 215, 215);
    float y = kLegendY;
    for (const std::string& line : PilotPanel::legend(p, side)) {
        text(line, x, y, kLegendScale);
        y += kLegendStep;
    }
    if (missing) return;
    SetColor(150, 150, 150);
    text(side == 0 ? "F1 or a click: change" : "F2 or a click: change", x, y + 4, kLegendScale);
}

}  // namespace

void next_pilot(Program& p, int side) {
    PilotChoice& c = p.pilots.choice[side];
    switch (c.kind) {
        case PilotKind::pad: c = PilotChoice{PilotKind::keys}; break;
        case PilotKind::keys: c = PilotChoice{PilotKind::computer, -1, PilotSkill::easy}; break;
        case PilotKind::computer:
            if (c.skill != PilotSkill::hard) {
                c.skill = PilotSkill(int(c.skill) + 1);
            } else {
                c = PilotChoice{JoyAttached() > 0 ? PilotKind::pad : PilotKind::keys};
            }
            break;
    }
    p.settings.pilot[side] = c;
    seat_pilots(p);
}

std::string PilotPanel::hint_line() {
    return "Space: pause    F1 / F2: Blue's / Red's pilot    F5: last game    F11: full screen";
}

int PilotPanel::panel_at(int x, int y) {
    if (y < kTop || y >= kBottom) return -1;
    for (int side = 0; side < 2; ++side) {
        if (x >= box_x(side) && x < box_x(side) + kBoxWidth) return side;
    }
    return -1;
}

std::vector<std::string> PilotPanel::legend(const Program& p, int side) {
    const KeyLayout& k = p.keys[side];
    switch (p.pilots.choice[side].kind) {
        case PilotKind::keys:
            return {key_names(k[KEY_CLIMB]) + " / " + key_names(k[KEY_DESCEND]) + "  up / down",
                    key_names(k[KEY_TURN_LEFT]) + " / " + key_names(k[KEY_TURN_RIGHT]) + "  turn",
                    key_names(k[KEY_FORWARD]) + " / " + key_names(k[KEY_BACKWARD]) + "  ahead / back",
                    key_names(k[KEY_SLIDE_LEFT]) + " / " + key_names(k[KEY_SLIDE_RIGHT]) + "  slide",
                    key_names(k[KEY_FIRE]) + "  fire"};
        case PilotKind::pad: {
            if (pad_missing(p, side)) {
                return {name_line(p, side) + " is not connected:", std::string(side == 0 ? "F1" : "F2") +
                                                                     " chooses another pilot"};
            }
            // The fire and pause buttons as chosen in the options, named as the pad is labelled.
            PadNames names = pad_names(p);
            const std::string face[4] = {names.south, names.east, names.west, names.north};
            auto name = [&](int button) { return button >= 0 && button < 4 ? face[button] : std::string("?"); };
            return {"left stick  up, down, turn", "right stick  ahead, slide",
                    name(p.settings.pad_fire) + ", LB, RB  fire", name(p.settings.pad_pause) + " or Start  pause"};
        }
        case PilotKind::computer:
            return {"flown by the computer"};
    }
    return {};
}

void PilotPanel::announce(const std::string& line, int frames, bool on_title) {
    notice_ = line;
    notice_frames_ = frames;
    notice_waits_ = on_title;
}

bool PilotPanel::take_devices(Program& p, FrameInput& in) {
    bool changed = false;
    bool title = p.game.game_state == GameState::title;
    for (int side = 0; side < 2; ++side) {
        if (KeyHit(side == 0 ? KEY_F1 : KEY_F2) && title) {
            next_pilot(p, side);
            changed = true;
        }
    }
    int side = title && in.clicks ? panel_at(in.mouse_x, in.mouse_y) : -1;
    if (side >= 0) {
        next_pilot(p, side);
        in.clicks = 0;
        changed = true;
    }
    if (KeyHit(KEY_F3) && (title || p.game.game_state == GameState::pause)) {
        set_stereo_mode(p.media.draw3d, (p.media.draw3d.ana_mode + 1) % 5);
        p.settings.stereo_mode = p.media.draw3d.ana_mode;
        announce(std::string("3D glasses (F3): ") + kStereoNames[p.media.draw3d.ana_mode], kBannerFrames);
        changed = true;
    }
    return changed;
}

// The rules light the item at the pointer's height across the whole picture (the quirk
// menu-highlight-from-height in docs/QUIRKS.md); over a panel the pointer is on the
// panel, so no item is shown lit.
void PilotPanel::shown(const Program& p, Scene& scene) {
    if (p.game.game_state != GameState::title || panel_at(p.game.pointer_x, p.game.pointer_y) < 0) return;
    for (SceneOp& op : scene.ops) {
        if (op.kind == SceneOp::Kind::menu) op.i[1] = -1;
    }
}

// What the panel draws is its lines of text, in fixed places and colours; they follow
// from the pilots, their keys and pads, and the names keys and pad buttons go by. Those
// are cheaper to compare than the lines are to make every frame.
bool PilotPanel::draw_key(const Program& p, std::string& key) const {
    auto add = [&key](const auto& value) {
        const auto* bytes = reinterpret_cast<const char*>(&value);
        key.append(bytes, sizeof value);
    };
    key += "panel";
    bool title = p.game.game_state == GameState::title;
    add(title);
    if (title) {
        for (int side = 0; side < 2; ++side) {
            const PilotChoice& c = p.pilots.choice[side];
            add(c.kind), add(c.skill), add(p.pilots.pad_port(side));
            for (const auto& keys : p.keys[side]) add(keys);
        }
        add(JoyAttached()), add(KeymapChanges()), add(p.settings.pad_fire), add(p.settings.pad_pause);
        add(p.settings.pad_labels), add(JoyLabels(0));
    }
    bool notice = notice_frames_ > 0 && !(notice_waits_ && !title);
    add(notice);
    if (notice) {
        add(notice_frames_);
        key += notice_ + ";";
    }
    return true;
}

void PilotPanel::draw_over(Program& p) {
    bool title = p.game.game_state == GameState::title;
    if (title) notice_waits_ = false;
    bool notice = notice_frames_ > 0 && !notice_waits_;
    if (!title && !notice) return;
    PlainDrawing plain(GetImageFont());
    if (title) {
        for (int side = 0; side < 2; ++side) draw_panel(p, side);
    }
    if (notice) {
        draw_band(notice_, kWarning);
        --notice_frames_;
    } else {
        const int light[3] = {225, 225, 225};
        draw_band(hint_line(), light);
    }
    // The rules drew their pointer (on the menus) under the panels and the line.
    int x = p.game.pointer_x, y = p.game.pointer_y;
    bool under = y + kPointerReach > kHintTop && y < kHintTop + kHintHeight;
    for (int dx : {0, kPointerReach}) {
        for (int dy : {0, kPointerReach}) under = under || (title && panel_at(x + dx, y + dy) >= 0);
    }
    if (under && (title || p.game.game_state == GameState::pause)) screen_pointer(p.media, x, y);
}

// A game started with a pilot whose pad is not plugged in: that helicopter will not fly,
// which the game says once, on the screen and on the terminal.
void PilotPanel::presented(Program& p) {
    bool title = p.game.game_state == GameState::title;
    if (was_title_ && p.game.game_state == GameState::play) {
        for (int side = 0; side < 2; ++side) {
            if (!pad_missing(p, side)) continue;
            std::string pad = "pad " + std::to_string(p.pilots.pad_port(side) + 1);
            std::fprintf(stderr, "rc-whirlbat: %s is not connected: %s does not fly this game (%s on the title chooses "
                                 "another pilot)\n", pad.c_str(), kTeamName[side], side == 0 ? "F1" : "F2");
            announce("P" + pad.substr(1) + " is not connected: " + kTeamName[side] + " does not fly this game",
                     kMissingPadFrames);
        }
    }
    was_title_ = title;
}
