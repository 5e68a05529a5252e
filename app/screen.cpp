#include "app/screen.h"

#include <algorithm>

#include "platform/draw.h"
#include "platform/keys.h"
#include "platform/font.h"
#include "platform/input.h"

namespace {

constexpr int kPadSouth = 0, kPadEast = 1, kPadWest = 2;
constexpr float kStickAt = 0.5f;

// Keys a player may give an action: not Escape, Space or the function keys (the game's
// and the program's own), and each modifier by its side only.
bool bindable(int key) {
    if (key == KEY_ESCAPE || key == KEY_SPACE || (key >= KEY_F1 && key <= KEY_F12)) return false;
    if (key == 16 || key == 17 || key == 18) return false;
    return !KeyName(key).empty();
}

// Keys held for the game's own use that a player may press by mistake while binding.
bool reserved(int key) { return key == KEY_SPACE || (key >= KEY_F1 && key <= KEY_F12); }

int direction(float v) { return v < -kStickAt ? -1 : v > kStickAt ? 1 : 0; }

}  // namespace

Nav NavReader::read(const Program& p, const FrameInput& in, bool menu) {
    Nav nav;
    bool up = KeyHit(KEY_UP) > 0, down = KeyHit(KEY_DOWN) > 0;
    bool left = KeyHit(KEY_LEFT) > 0, right = KeyHit(KEY_RIGHT) > 0;
    bool choose = KeyHit(KEY_RETURN) > 0;
    nav.remove = KeyHit(KEY_DELETE) > 0;
    for (int side = 0; side < 2; ++side) {
        const KeyLayout& keys = p.keys[side];
        bool on_keys = p.pilots.choice[side].kind == PilotKind::keys;
        bool rules_own = menu && side == 0 && on_keys;
        auto hit = [&](int action) {
            bool any = false;
            for (int key : keys[size_t(action)]) any = (key && KeyHit(key) > 0) || any;
            return any && !rules_own;
        };
        up = hit(KEY_CLIMB) || up;
        down = hit(KEY_DESCEND) || down;
        left = hit(KEY_TURN_LEFT) || left;
        right = hit(KEY_TURN_RIGHT) || right;
        // A keyboard pilot's fire key was read with the pilot's port: its press is the
        // port's fire button going down.
        bool fire = on_keys ? (in.port[side].buttons & 1) != 0 : false;
        bool fired = on_keys ? fire && !fire_held_[side] : hit(KEY_FIRE);
        fire_held_[side] = fire;
        choose = (fired && !rules_own) || choose;
    }
    auto flown = [&](int port) {
        for (int side = 0; side < 2; ++side) {
            if (p.pilots.choice[side].kind == PilotKind::pad && p.pilots.pad_port(side) == port) return true;
        }
        return false;
    };
    int pads = JoyAttached();
    for (int port = 0; port < int(pad_x_.size()); ++port) {
        bool there = port < pads;
        int x = there ? direction(JoyX(port)) : 0, y = there ? direction(JoyY(port)) : 0;
        bool south = there && JoyHit(kPadSouth, port) > 0, east = there && JoyHit(kPadEast, port) > 0;
        bool west = there && JoyHit(kPadWest, port) > 0;
        if (!(menu && flown(port))) {
            if (x != 0 && x != pad_x_[size_t(port)]) (x < 0 ? left : right) = true;
            if (y != 0 && y != pad_y_[size_t(port)]) (y < 0 ? up : down) = true;
            choose = south || choose;
            nav.pad = south || nav.pad;
            nav.back = east || nav.back;
            nav.remove = west || nav.remove;
        }
        pad_x_[size_t(port)] = static_cast<signed char>(x);
        pad_y_[size_t(port)] = static_cast<signed char>(y);
    }
    nav.dy = up == down ? 0 : up ? -1 : 1;
    nav.dx = left == right ? 0 : left ? -1 : 1;
    nav.choose = choose || in.space > 0;
    nav.back = nav.back || in.esc > 0;
    for (int key = 1; key < int(key_down_.size()); ++key) {
        bool held = KeyDown(key) != 0;
        bool pressed = held && !key_down_[size_t(key)];
        if (pressed && !nav.key && bindable(key)) nav.key = key;
        if (pressed && !nav.reserved && reserved(key)) nav.reserved = key;
        key_down_[size_t(key)] = held;
    }
    // A key just given to an action must not also count as a press of that action.
    if (nav.key) KeyHit(nav.key);
    nav.click = in.clicks > 0;
    nav.mouse_x = in.mouse_x;
    nav.mouse_y = in.mouse_y;
    nav.pointer_moved = mouse_x_ >= 0 && (in.mouse_x != mouse_x_ || in.mouse_y != mouse_y_);
    mouse_x_ = in.mouse_x;
    mouse_y_ = in.mouse_y;
    return nav;
}

std::string reserved_key_use(int key) {
    switch (key) {
        case KEY_SPACE: return "Space pauses and resumes the game";
        case KEY_F1: return "F1 changes Blue's pilot";
        case KEY_F1 + 1: return "F2 changes Red's pilot";
        case KEY_F1 + 2: return "F3 changes the 3D glasses mode";
        case KEY_F1 + 3: return "F4 shows the online figures";
        case KEY_F5: return "F5 plays the last game back";
        case KEY_F11: return "F11 switches full screen";
        default: break;
    }
    return reserved(key) ? KeyName(key) + " is kept for the game" : "";
}

bool EntryList::navigate(const Nav& nav) {
    int n = int(entries.size());
    if (n == 0) return false;
    auto usable = [&](int i) { return i >= 0 && i < n && entries[size_t(i)].enabled; };
    if (nav.dy != 0) {
        int i = focus;
        for (int tries = 0; tries < n; ++tries) {
            i = (i + nav.dy + n) % n;
            if (usable(i)) break;
        }
        focus = i;
    }
    if (shown > 0) {
        first = std::clamp(first, std::max(0, focus - shown + 1), std::min(focus, std::max(0, n - shown)));
    }
    int under = line_at(nav.mouse_x, nav.mouse_y);
    if ((nav.pointer_moved || nav.click) && usable(under)) focus = under;
    return nav.click && usable(under) && under == focus;
}

int EntryList::line_at(int x, int y) const {
    if (x < left - 10 || x >= right + 10 || y < top - 4) return -1;
    int i = int((float(y) - (top - 4)) / step);
    if (shown > 0 && i >= shown) return -1;
    i += shown > 0 ? first : 0;
    return i < int(entries.size()) ? i : -1;
}

void EntryList::draw() const {
    screen_title(title, 40);
    size_t from = shown > 0 ? size_t(first) : 0;
    size_t to = shown > 0 ? std::min(entries.size(), from + size_t(shown)) : entries.size();
    for (size_t i = from; i < to; ++i) {
        const Entry& e = entries[i];
        float y = top + step * float(i - from);
        bool lit = int(i) == focus;
        if (lit) {
            SetColor(255, 50, 50);
            SetAlpha(0.28f);
            SetScale(1, 1);
            DrawRect(left - 10, y - 4, right - left + 20, step - 4);
            SetAlpha(1.0f);
        }
        if (!e.enabled) SetColor(100, 100, 100);
        else if (lit) SetColor(255, 255, 255);
        else SetColor(120, 160, 255);
        screen_text(e.label, left, y, scale, false);
        if (!e.value.empty()) {
            if (e.enabled && !lit) SetColor(220, 220, 220);
            float w = float(TextWidth(e.value)) * scale;
            screen_text(e.value, right - w, y, scale, false);
        }
    }
    if (shown > 0 && entries.size() > size_t(shown)) {
        SetColor(150, 150, 150);
        std::string where = std::to_string(focus + 1) + " of " + std::to_string(entries.size());
        screen_text(where, right - float(TextWidth(where)) * 0.6f, top - 24, 0.6f, false);
    }
}

void screen_backdrop() {
    SetColor(8, 12, 28);
    SetAlpha(0.93f);
    SetScale(1, 1);
    DrawRect(0, 0, 640, 480);
    SetAlpha(1.0f);
    SetColor(50, 100, 255);
    DrawRect(40, 76, 560, 2);
}

void screen_title(const std::string& text, float y) {
    SetColor(255, 255, 255);
    screen_text(text, 320, y, 1.25f, true);
}

void screen_text(const std::string& text, float x, float y, float scale, bool centred) {
    SetScale(scale, scale);
    DrawText(text, centred ? x - float(TextWidth(text)) * scale / 2 : x, y);
    SetScale(1, 1);
}

void screen_hints(const std::string& text) {
    SetColor(0, 0, 0);
    SetAlpha(0.6f);
    SetScale(1, 1);
    DrawRect(0, 448, 640, 32);
    SetAlpha(1.0f);
    SetColor(200, 200, 200);
    screen_text(text, 320, 455, 0.6f, true);
}

void screen_pointer(const Media& m, int x, int y) {
    SetColor(255, 255, 255);
    SetScale(1, 1);
    if (m.pointer_img) DrawImage(m.pointer_img, float(x), float(y));
}

void click_title_item(FrameInput& rules, int item) {
    rules.mouse_x = 320;
    rules.mouse_y = 245 + 40 * item;
    rules.clicks = 1;
}

PadNames pad_names(const Program& p) {
    PadLabels labels = p.settings.pad_labels == 0 ? JoyLabels(0) : PadLabels(p.settings.pad_labels - 1);
    switch (labels) {
        case PadLabels::playstation: return {"Cross", "Circle", "Square", "Triangle"};
        case PadLabels::nintendo: return {"B", "A", "Y", "X"};
        case PadLabels::xbox: break;
    }
    return {"A", "B", "X", "Y"};
}

const char* pad_labels_name(int setting) {
    constexpr const char* kNames[] = {"As the pad says", "Xbox", "PlayStation", "Nintendo"};
    return kNames[setting >= 0 && setting < 4 ? setting : 0];
}
