#include "app/pilot_panel.h"

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

constexpr int kBannerFrames = 120;
constexpr float kTop = 236, kHeaderY = 240, kNameY = 262, kLegendY = 290, kLegendStep = 16;
constexpr float kHeaderScale = 0.75f, kNameScale = 0.7f, kLegendScale = 0.55f, kColumnWidth = 176;
constexpr int kTeamColour[2][3] = {{50, 100, 255}, {255, 100, 50}};
constexpr char kTeamName[2][5] = {"Blue", "Red"};
constexpr char kStereoNames[5][16] = {"off", "magenta / green", "red / green", "red / cyan", "red / blue"};

// The left edge of a side's column: left of the menu for Blue, right of it for Red.
float column_x(int side) { return side == 0 ? 10.0f : 456.0f; }

std::string name_line(const Program& p, int side) {
    const PilotChoice& c = p.pilots.choice[side];
    int port = p.pilots.pad_port(side);
    std::string label = pilot_label(c, port);
    if (c.kind == PilotKind::pad && port >= JoyAttached()) label += " (none)";
    return label;
}

// The name line's box, where a click changes the pilot.
bool over_name(const Program& p, int side, int x, int y) {
    float w = float(TextWidth(name_line(p, side))) * kNameScale, h = float(TextHeight("")) * kNameScale;
    float x0 = column_x(side);
    return x >= x0 && x < x0 + w && y >= kNameY && y < kNameY + h;
}

// Pad (when one is there), the keys, then the computer at each skill.
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

std::vector<std::string> legend(const Program& p, int side) {
    const KeyLayout& k = p.keys[side];
    switch (p.pilots.choice[side].kind) {
        case PilotKind::keys:
            return {key_names(k[KEY_CLIMB]) + " / " + key_names(k[KEY_DESCEND]) + "  up / down",
                    key_names(k[KEY_TURN_LEFT]) + " / " + key_names(k[KEY_TURN_RIGHT]) + "  turn",
                    key_names(k[KEY_FORWARD]) + " / " + key_names(k[KEY_BACKWARD]) + "  ahead / back",
                    key_names(k[KEY_SLIDE_LEFT]) + " / " + key_names(k[KEY_SLIDE_RIGHT]) + "  slide",
                    key_names(k[KEY_FIRE]) + "  fire"};
        case PilotKind::pad: {
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

void text(const std::string& s, float x, float y, float scale) {
    SetScale(scale, scale);
    DrawText(s, x, y);
}

}  // namespace

bool PilotPanel::take_devices(Program& p, FrameInput& in) {
    bool changed = false;
    bool title = p.game.game_state == GameState::title;
    for (int side = 0; side < 2; ++side) {
        if (KeyHit(side == 0 ? KEY_F1 : KEY_F2) && title) {
            next_pilot(p, side);
            changed = true;
        }
    }
    if (title && in.clicks) {
        for (int side = 0; side < 2; ++side) {
            if (over_name(p, side, in.mouse_x, in.mouse_y)) {
                next_pilot(p, side);
                in.clicks = 0;
                changed = true;
            }
        }
    }
    if (KeyHit(KEY_F3) && (title || p.game.game_state == GameState::pause)) {
        set_stereo_mode(p.media.draw3d, (p.media.draw3d.ana_mode + 1) % 5);
        p.settings.stereo_mode = p.media.draw3d.ana_mode;
        stereo_banner_ = kBannerFrames;
        changed = true;
    }
    return changed;
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
    add(stereo_banner_);
    if (stereo_banner_ > 0) add(p.media.draw3d.ana_mode);
    return true;
}

void PilotPanel::draw_over(Program& p) {
    bool title = p.game.game_state == GameState::title;
    if (!title && stereo_banner_ == 0) return;
    PlainDrawing plain(GetImageFont());
    if (title) {
        for (int side = 0; side < 2; ++side) {
            std::vector<std::string> lines = legend(p, side);
            float x = column_x(side), bottom = kLegendY + kLegendStep * float(lines.size() + 1) + 8;
            // A dark backing keeps the small print readable over the fields.
            SetColor(0, 0, 0);
            SetAlpha(0.55f);
            SetScale(1, 1);
            DrawRect(x - 6, kTop, kColumnWidth, bottom - kTop);
            SetAlpha(1.0f);
            const int* c = kTeamColour[side];
            SetColor(c[0], c[1], c[2]);
            text(kTeamName[side], x, kHeaderY, kHeaderScale);
            text(name_line(p, side), x, kNameY, kNameScale);
            SetColor(215, 215, 215);
            float y = kLegendY;
            for (const std::string& line : lines) {
                text(line, x, y, kLegendScale);
                y += kLegendStep;
            }
            SetColor(150, 150, 150);
            text(side == 0 ? "F1 or a click: another pilot" : "F2 or a click: another pilot", x, y + 4,
                 kLegendScale);
        }
    }
    if (stereo_banner_ > 0) {
        std::string line = std::string("3D glasses (F3): ") + kStereoNames[p.media.draw3d.ana_mode];
        SetColor(255, 255, 255);
        text(line, 320 - TextWidth(line) * kNameScale / 2, 40, kNameScale);
        --stereo_banner_;
    }
}
