#include "session/pilots.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/input.h"

namespace {

constexpr char kSkillNames[3][7] = {"easy", "normal", "hard"};

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool parse_pilot(const std::string& raw, PilotChoice* out) {
    std::string text = lower(raw);
    PilotChoice p;
    if (text == "keys") {
        p.kind = PilotKind::keys;
    } else if (text.rfind("pad", 0) == 0) {
        p.kind = PilotKind::pad;
        std::string n = text.substr(3);
        if (!n.empty()) {
            if (n.size() > 2 || !std::isdigit(static_cast<unsigned char>(n[0])) ||
                (n.size() == 2 && !std::isdigit(static_cast<unsigned char>(n[1]))))
                return false;
            int number = std::stoi(n);
            if (number < 1 || number > 16) return false;
            p.pad = number - 1;
        }
    } else if (text.rfind("computer", 0) == 0) {
        p.kind = PilotKind::computer;
        std::string rest = text.substr(8);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            rest = rest.substr(1);
            int i = 0;
            while (i < 3 && rest != kSkillNames[i]) ++i;
            if (i == 3) return false;
            p.skill = PilotSkill(i);
        }
    } else {
        return false;
    }
    *out = p;
    return true;
}

std::string pilot_text(const PilotChoice& p) {
    switch (p.kind) {
        case PilotKind::pad: return p.pad < 0 ? "pad" : "pad" + std::to_string(p.pad + 1);
        case PilotKind::keys: return "keys";
        case PilotKind::computer: return std::string("computer:") + kSkillNames[int(p.skill)];
    }
    return "pad";
}

std::string pilot_label(const PilotChoice& p, int pad_number) {
    switch (p.kind) {
        case PilotKind::pad: return pad_number < 0 ? "No pad" : "Pad " + std::to_string(pad_number + 1);
        case PilotKind::keys: return "Keys";
        case PilotKind::computer: return std::string("Computer \u00b7 ") + kSkillNames[int(p.skill)];
    }
    return "";
}

KeyLayout default_layout(int side) {
    auto key = [](const char* name) { return KeyByName(name); };
    KeyLayout k{};
    if (side == 0) {
        k[KEY_CLIMB] = {key("W"), 0};
        k[KEY_DESCEND] = {key("S"), 0};
        k[KEY_TURN_LEFT] = {key("A"), 0};
        k[KEY_TURN_RIGHT] = {key("D"), 0};
        k[KEY_SLIDE_LEFT] = {key("F"), 0};
        k[KEY_SLIDE_RIGHT] = {key("H"), 0};
        k[KEY_FORWARD] = {key("T"), 0};
        k[KEY_BACKWARD] = {key("G"), 0};
        k[KEY_FIRE] = {key("Left Ctrl"), key("Q")};
    } else {
        k[KEY_CLIMB] = {key("I"), 0};
        k[KEY_DESCEND] = {key("K"), 0};
        k[KEY_TURN_LEFT] = {key("J"), 0};
        k[KEY_TURN_RIGHT] = {key("L"), 0};
        k[KEY_SLIDE_LEFT] = {key("Left"), 0};
        k[KEY_SLIDE_RIGHT] = {key("Right"), 0};
        k[KEY_FORWARD] = {key("Up"), 0};
        k[KEY_BACKWARD] = {key("Down"), 0};
        k[KEY_FIRE] = {key("Right Ctrl"), key("Return")};
    }
    return k;
}

const char* key_action_name(int action) {
    static constexpr char names[KEY_ACTIONS][12] = {"climb",      "descend", "turn_left", "turn_right", "slide_left",
                                                    "slide_right", "forward", "backward",  "fire"};
    return names[action];
}

std::string key_names(const std::array<int, 2>& keys) {
    std::string out;
    for (int k : keys) {
        if (!k) continue;
        if (!out.empty()) out += ", ";
        out += KeyName(k);
    }
    return out;
}

PortInput keyboard_port(const KeyLayout& layout) {
    auto held = [&](int action) {
        for (int key : layout[action]) {
            if (key && KeyDown(key)) return true;
        }
        return false;
    };
    auto axis = [&](int negative, int positive) {
        bool n = held(negative), p = held(positive);
        return n == p ? 0.0f : n ? -1.0f : 1.0f;
    };
    PortInput port;
    port.axis[AXIS_X] = axis(KEY_TURN_LEFT, KEY_TURN_RIGHT);
    port.axis[AXIS_Y] = axis(KEY_CLIMB, KEY_DESCEND);
    port.axis[AXIS_Z] = axis(KEY_SLIDE_LEFT, KEY_SLIDE_RIGHT);
    port.axis[AXIS_R] = axis(KEY_FORWARD, KEY_BACKWARD);
    // A fire key is button 0; a tap between two frames counts as held for this one.
    bool fire = held(KEY_FIRE);
    for (int key : layout[KEY_FIRE]) {
        if (key && KeyHit(key)) fire = true;
    }
    port.buttons = fire ? 1u : 0u;
    return port;
}

uint32_t remap_pad_buttons(uint32_t buttons, int fire, int pause, bool flying) {
    if (fire == 0 && pause == 1) return buttons;
    if (!flying) {
        if (pause > 1 && pause < 32 && (buttons >> pause & 1u)) buttons |= 2u;
        return buttons;
    }
    // from[i]: the pad's button the rules read as button i.
    std::array<int, 32> from;
    for (int i = 0; i < 32; ++i) from[size_t(i)] = i;
    auto bring = [&](int to, int button) {
        if (button < 0 || button > 31) return;
        auto at = std::find(from.begin(), from.end(), button);
        std::swap(from[size_t(to)], *at);
    };
    bring(0, fire);
    if (pause != fire) bring(1, pause);
    uint32_t out = 0;
    for (int i = 0; i < 32; ++i) out |= (buttons >> from[size_t(i)] & 1u) << i;
    return out;
}

Pilots Pilots::defaults(int pads) {
    Pilots p;
    p.choice[0].kind = pads >= 1 ? PilotKind::pad : PilotKind::keys;
    p.choice[1].kind = pads >= 2 ? PilotKind::pad : PilotKind::keys;
    return p;
}

int Pilots::pad_port(int side) const {
    const PilotChoice& me = choice[side];
    if (me.kind != PilotKind::pad) return -1;
    if (me.pad >= 0) return me.pad;
    // The first pad the other side does not take; Blue chooses first.
    const PilotChoice& other = choice[1 - side];
    int taken = -1;
    if (other.kind == PilotKind::pad) taken = other.pad >= 0 ? other.pad : (side == 1 ? pad_port(0) : -1);
    return taken == 0 ? 1 : 0;
}

int Pilots::pads_for_rules(int pads) const {
    return pads + without_pads();
}

int Pilots::without_pads() const {
    int n = 0;
    for (const PilotChoice& c : choice) n += c.kind != PilotKind::pad;
    return n;
}

int pilots_without_pads(const std::string& described) {
    int n = 0;
    for (const char* side : {"Blue: ", "Red: "}) {
        size_t at = described.find(side);
        if (at == std::string::npos) continue;
        at += std::strlen(side);
        PilotChoice c;
        if (parse_pilot(described.substr(at, described.find(';', at) - at), &c)) n += c.kind != PilotKind::pad;
    }
    return n;
}

std::string pilots_label(const std::string& described) {
    std::string shown;
    for (const char* side : {"Blue: ", "Red: "}) {
        size_t at = described.find(side);
        if (at == std::string::npos) return described;
        size_t from = at + std::strlen(side), to = described.find(';', from);
        std::string text = described.substr(from, to == std::string::npos ? std::string::npos : to - from);
        PilotChoice pilot;
        if (parse_pilot(text, &pilot)) {
            text = pilot.kind == PilotKind::pad && pilot.pad < 0 ? "Pad" : pilot_label(pilot, pilot.pad);
        }
        shown += (shown.empty() ? "" : "   ") + std::string(side) + text;
    }
    return shown;
}
