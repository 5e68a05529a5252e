#include "platform/script.h"

#include <SDL2/SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/input_internal.h"
#include "platform/window.h"

namespace {

enum class Kind { PadAxis, PadButton, PadUnplug, PadPlug, Key, Type, MouseMove, MouseButton, Focus, Close };

struct Action {
    int line = 0;
    bool by_frame = true;  // fN, else tMS
    int when = 0;
    Kind kind = Kind::Key;
    int pad = 0;
    int index = 0;  // axis, button or key code
    bool down = false;
    float value = 0;
    int x = 0, y = 0;
    std::string text;  // typed, a character at a time
};

struct VirtualPad {
    int device_instance = -1;
    SDL_Joystick* joystick = nullptr;
};

// Actions wait in two queues, one per kind of moment, each sorted by its moment (and by
// line within one moment). A poll takes what is due from the fronts, so its cost is what
// it applies, however long the script.
struct Queue {
    std::vector<Action> actions;
    size_t next = 0;
    bool due(int frame, int now) const {
        if (next >= actions.size()) return false;
        const Action& a = actions[next];
        return a.when <= (a.by_frame ? frame : now);
    }
};

struct ScriptState {
    bool active = false;
    int pads = 0;
    Queue by_frame, by_time;
    std::vector<const Action*> due;
    std::vector<VirtualPad> virtual_pads;
    bool polling = false;
};

ScriptState sc;

constexpr int kVirtualAxes = 6;
constexpr int kVirtualButtons = 15;

int device_index_of(SDL_JoystickID id) {
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
    }
    return -1;
}

void plug(VirtualPad& pad) {
    if (pad.joystick) return;
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, kVirtualAxes, kVirtualButtons, 0);
    if (index < 0) return;
    pad.joystick = SDL_JoystickOpen(index);
    pad.device_instance = pad.joystick ? SDL_JoystickInstanceID(pad.joystick) : -1;
}

void unplug(VirtualPad& pad) {
    if (!pad.joystick) return;
    int index = device_index_of(pad.device_instance);
    SDL_JoystickClose(pad.joystick);
    pad.joystick = nullptr;
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    pad.device_instance = -1;
}

Sint16 axis_value(float v) {
    if (v <= -1.0f) return -32768;
    if (v >= 1.0f) return 32767;
    return Sint16(std::lround(double(v) * 32767.0));
}

void push(SDL_Event& e) { SDL_PushEvent(&e); }

void apply(const Action& a) {
    SDL_Event e{};
    switch (a.kind) {
        case Kind::PadAxis:
        case Kind::PadButton: {
            if (a.pad >= int(sc.virtual_pads.size()) || !sc.virtual_pads[a.pad].joystick) return;
            SDL_Joystick* joy = sc.virtual_pads[a.pad].joystick;
            if (a.kind == Kind::PadAxis) {
                SDL_JoystickSetVirtualAxis(joy, a.index, axis_value(a.value));
            } else {
                int button = ControllerButtonOfGameButton(a.index);
                if (button >= 0) SDL_JoystickSetVirtualButton(joy, button, a.down ? 1 : 0);
            }
            return;
        }
        case Kind::PadUnplug:
            if (a.pad < int(sc.virtual_pads.size())) unplug(sc.virtual_pads[a.pad]);
            return;
        case Kind::PadPlug:
            if (a.pad < int(sc.virtual_pads.size())) plug(sc.virtual_pads[a.pad]);
            return;
        case Kind::Key:
            e.type = a.down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.state = a.down ? SDL_PRESSED : SDL_RELEASED;
            e.key.keysym.sym = KeycodeOfVirtualKey(a.index);
            e.key.keysym.scancode = SDL_GetScancodeFromKey(e.key.keysym.sym);
            push(e);
            return;
        case Kind::Type:
            // Each character as a keyboard gives it: its key down, its text, its key up.
            for (char c : a.text) {
                SDL_Keycode sym = SDL_Keycode(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
                e = SDL_Event{};
                e.type = SDL_KEYDOWN;
                e.key.state = SDL_PRESSED;
                e.key.keysym.sym = sym;
                e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
                push(e);
                SDL_Event text{};
                text.type = SDL_TEXTINPUT;
                text.text.text[0] = c;
                push(text);
                e.type = SDL_KEYUP;
                e.key.state = SDL_RELEASED;
                push(e);
            }
            return;
        case Kind::MouseMove: {
            int wx, wy;
            PictureToWindow(a.x, a.y, &wx, &wy);
            e.type = SDL_MOUSEMOTION;
            e.motion.x = wx;
            e.motion.y = wy;
            push(e);
            return;
        }
        case Kind::MouseButton:
            e.type = a.down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            e.button.button = SDL_BUTTON_LEFT;
            e.button.state = a.down ? SDL_PRESSED : SDL_RELEASED;
            e.button.clicks = 1;
            push(e);
            return;
        case Kind::Focus:
            e.type = SDL_WINDOWEVENT;
            e.window.event = a.down ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
            push(e);
            return;
        case Kind::Close:
            e.type = SDL_WINDOWEVENT;
            e.window.event = SDL_WINDOWEVENT_CLOSE;
            push(e);
            return;
    }
}

bool parse_int(std::string_view s, int* out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto [end, err] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return err == std::errc() && end == s.data() + s.size();
}

bool parse_float(std::string_view s, float* out) {
    if (s.empty() || s.size() > 64) return false;
    const std::string text(s);
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v)) return false;
    *out = float(v);
    return true;
}

// A word of the script as an error message shows it: whole when short, cut when not.
std::string quoted(std::string_view word) {
    constexpr size_t kShown = 40;
    std::string shown(1, '\'');
    shown += word.substr(0, kShown);
    if (word.size() <= kShown) return shown += '\'';
    return shown += "...' (" + std::to_string(word.size()) + " characters)";
}

bool parse_updown(std::string_view s, bool* down) {
    if (s == "down") *down = true;
    else if (s == "up") *down = false;
    else return false;
    return true;
}

// Parses the part of a line after WHEN into an action; returns a message on failure.
std::string parse_action(const std::vector<std::string_view>& t, Action& a) {
    const std::string_view dev = t[1];
    size_t n = t.size();
    if (dev.rfind("pad", 0) == 0 && dev != "pads") {
        if (!parse_int(dev.substr(3), &a.pad) || a.pad < 0) return "bad pad number in " + quoted(dev);
        if (a.pad >= sc.pads) return "pad " + std::to_string(a.pad) + " is not attached (see 'pads N')";
        if (n == 3 && t[2] == "unplug") return a.kind = Kind::PadUnplug, "";
        if (n == 3 && t[2] == "plug") return a.kind = Kind::PadPlug, "";
        if (n != 4) return "expected 'padP x|y|z|r VALUE', 'padP bN down|up', 'padP unplug' or 'padP plug'";
        constexpr std::string_view axes = "xyzr";
        if (t[2].size() == 1 && axes.find(t[2]) != std::string_view::npos) {
            a.kind = Kind::PadAxis;
            a.index = int(axes.find(t[2]));
            if (!parse_float(t[3], &a.value) || a.value < -1.0f || a.value > 1.0f)
                return "axis value must be -1.0 .. 1.0";
            return "";
        }
        if (t[2].size() > 1 && t[2][0] == 'b') {
            a.kind = Kind::PadButton;
            if (!parse_int(t[2].substr(1), &a.index) || ControllerButtonOfGameButton(a.index) < 0)
                return "no pad button " + quoted(t[2]);
            if (!parse_updown(t[3], &a.down)) return "expected down or up";
            return "";
        }
        return "unknown pad control " + quoted(t[2]);
    }
    if (dev == "key") {
        if (n != 4) return "expected 'key esc|space|CODE down|up'";
        a.kind = Kind::Key;
        if (t[2] == "esc") a.index = 27;
        else if (t[2] == "space") a.index = 32;
        else if (!parse_int(t[2], &a.index) || KeycodeOfVirtualKey(a.index) == 0) return "unknown key " + quoted(t[2]);
        if (!parse_updown(t[3], &a.down)) return "expected down or up";
        return "";
    }
    if (dev == "type") {
        if (n != 3 || t[2].size() > 64) return "expected 'type TEXT' (up to 64 characters, no spaces)";
        for (char c : t[2]) {
            if (c < 0x21 || c > 0x7e) return "only printable characters can be typed";
        }
        a.kind = Kind::Type;
        a.text = std::string(t[2]);
        return "";
    }
    if (dev == "mouse") {
        if (n == 5 && t[2] == "move") {
            a.kind = Kind::MouseMove;
            if (!parse_int(t[3], &a.x) || !parse_int(t[4], &a.y)) return "expected 'mouse move X Y'";
            return "";
        }
        if (n == 4 && t[2] == "left") {
            a.kind = Kind::MouseButton;
            if (!parse_updown(t[3], &a.down)) return "expected down or up";
            return "";
        }
        return "expected 'mouse move X Y' or 'mouse left down|up'";
    }
    if (dev == "window") {
        if (n == 4 && t[2] == "focus" && (t[3] == "lost" || t[3] == "gained")) {
            a.kind = Kind::Focus;
            a.down = t[3] == "gained";
            return "";
        }
        if (n == 3 && t[2] == "close") return a.kind = Kind::Close, "";
        return "expected 'window focus lost|gained' or 'window close'";
    }
    return "unknown device " + quoted(dev);
}

}  // namespace

namespace {

// The words of a line up to its comment.
void split_words(std::string_view line, std::vector<std::string_view>& words) {
    words.clear();
    line = line.substr(0, line.find('#'));
    constexpr std::string_view space = " \t\r\n\v\f";
    for (size_t at = line.find_first_not_of(space); at != std::string_view::npos;) {
        size_t end = std::min(line.find_first_of(space, at), line.size());
        words.push_back(line.substr(at, end - at));
        at = line.find_first_not_of(space, end);
    }
}

}  // namespace

bool ScriptLoad(const std::string& path, std::string* error) {
    // A folder opens and reads as nothing; a device may never end: both are refused,
    // and no script is read past its cap (a pipe is read as it comes).
    constexpr size_t kMostBytes = size_t(16) << 20;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "cannot read script " + path + ": a folder, not a file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read script " + path;
        return false;
    }
    std::string text;
    std::vector<char> chunk(size_t(1) << 16);
    while (in.read(chunk.data(), std::streamsize(chunk.size())) || in.gcount() > 0) {
        text.append(chunk.data(), size_t(in.gcount()));
        if (text.size() > kMostBytes) {
            *error = "cannot read script " + path + ": larger than 16 MB";
            return false;
        }
    }
    if (in.bad()) {
        *error = "cannot read script " + path;
        return false;
    }
    std::istringstream file(text);
    sc = ScriptState{};
    std::string line;
    std::vector<std::string_view> t;
    int number = 0;
    bool seen_action = false;
    while (std::getline(file, line)) {
        ++number;
        split_words(line, t);
        if (t.empty()) continue;
        auto fail = [&](const std::string& why) {
            *error = path + ":" + std::to_string(number) + ": " + why;
            sc = ScriptState{};
            return false;
        };
        if (t[0] == "pads") {
            if (seen_action || t.size() != 2 || !parse_int(t[1], &sc.pads) || sc.pads < 0 || sc.pads > 8)
                return fail("'pads N' (0..8) must come before every action");
            continue;
        }
        Action a;
        a.line = number;
        if (t.size() < 3 || (t[0][0] != 'f' && t[0][0] != 't') || !parse_int(t[0].substr(1), &a.when) || a.when < 0)
            return fail("expected 'fN' or 'tMS' followed by a device and a control");
        a.by_frame = t[0][0] == 'f';
        std::string why = parse_action(t, a);
        if (!why.empty()) return fail(why);
        (a.by_frame ? sc.by_frame : sc.by_time).actions.push_back(a);
        seen_action = true;
    }
    for (Queue* q : {&sc.by_frame, &sc.by_time}) {
        std::stable_sort(q->actions.begin(), q->actions.end(),
                         [](const Action& x, const Action& y) { return x.when < y.when; });
    }
    sc.active = true;
    return true;
}

void ScriptAttachPads() {
    if (!sc.active) return;
    SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    sc.virtual_pads.resize(sc.pads);
    for (VirtualPad& pad : sc.virtual_pads) plug(pad);
}

void ScriptPoll(int frame, int now) {
    if (!sc.active || sc.polling) return;
    sc.polling = true;
    sc.due.clear();
    for (Queue* q : {&sc.by_frame, &sc.by_time}) {
        while (q->due(frame, now)) sc.due.push_back(&q->actions[q->next++]);
    }
    // What comes due together is applied in the order of the script.
    std::sort(sc.due.begin(), sc.due.end(), [](const Action* x, const Action* y) { return x->line < y->line; });
    for (const Action* a : sc.due) apply(*a);
    sc.polling = false;
}

bool ScriptActive() { return sc.active; }

bool ScriptHasTimedActions() { return sc.by_time.next < sc.by_time.actions.size(); }

void ScriptShutdown() {
    for (VirtualPad& pad : sc.virtual_pads) unplug(pad);
    sc.virtual_pads.clear();
}
