#include "platform/input.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <array>
#include <deque>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/input_internal.h"

namespace {

constexpr int kMaxPorts = 16;
constexpr int kHitButtons = 16;

struct Pad {
    SDL_JoystickID instance = -1;  // -1: no device on this port now
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* controller = nullptr;
};

struct PadSample {
    uint32_t buttons = 0;
    std::array<float, 16> axes{};
    std::array<int, kHitButtons> hits{};
};

struct InputState {
    bool started = false;
    std::array<int, 256> key_down{};
    std::array<int, 256> key_hits{};
    std::array<int, 4> mouse_down{};
    std::array<int, 4> mouse_hits{};
    int mouse_x = 0, mouse_y = 0, mouse_z = 0;
    int keymap_changes = 0;  // the keyboard's layout changed, and with it the keys' names
    std::deque<Typed> typed;  // text and editing keys, oldest first
    std::vector<Pad> ports;  // the port table: pad number -> device
    std::array<PadSample, kMaxPorts> samples{};
};

InputState in;

void start_input() {
    if (in.started) return;
    in.started = true;
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
}

void flush_keys() {
    in.key_down.fill(0);
    in.key_hits.fill(0);
    in.typed.clear();
}

void flush_mouse() {
    in.mouse_down.fill(0);
    in.mouse_hits.fill(0);
    in.mouse_z = 0;
}

// ---- pads ----

void close_pad(Pad& pad) {
    if (pad.controller) SDL_GameControllerClose(pad.controller);
    else if (pad.joystick) SDL_JoystickClose(pad.joystick);
    pad.controller = nullptr;
    pad.joystick = nullptr;
    pad.instance = -1;
}

bool open_pad(int device_index, Pad& pad) {
    pad = Pad{};
    if (SDL_IsGameController(device_index)) {
        pad.controller = SDL_GameControllerOpen(device_index);
        if (pad.controller) pad.joystick = SDL_GameControllerGetJoystick(pad.controller);
    } else {
        pad.joystick = SDL_JoystickOpen(device_index);
    }
    if (!pad.joystick) {
        pad.controller = nullptr;
        return false;
    }
    pad.instance = SDL_JoystickInstanceID(pad.joystick);
    return true;
}

int port_of_instance(SDL_JoystickID id) {
    for (size_t p = 0; p < in.ports.size(); ++p) {
        if (in.ports[p].instance == id) return int(p);
    }
    return -1;
}

// A pad plugged in while the game runs takes the place of a pulled one, or a new port.
void pad_added(int device_index) {
    if (port_of_instance(SDL_JoystickGetDeviceInstanceID(device_index)) >= 0) return;
    int port = -1;
    for (size_t p = 0; p < in.ports.size(); ++p) {
        if (in.ports[p].instance == -1) {
            port = int(p);
            break;
        }
    }
    if (port < 0) {
        if (int(in.ports.size()) >= kMaxPorts) return;
        in.ports.emplace_back();
        port = int(in.ports.size()) - 1;
    }
    Pad pad;
    if (open_pad(device_index, pad)) in.ports[port] = pad;
}

// A pulled pad's port keeps its last sampled values.
void pad_removed(SDL_JoystickID id) {
    int port = port_of_instance(id);
    if (port >= 0) close_pad(in.ports[port]);
}

// SDL's -32768..32767 read as a transmitter's 0..65535 with its centre at 32767, then
// normalised as (raw - min) * 2 / max - 1: both ends land exactly on -1.0 and +1.0.
float normalise_axis(int value) {
    int raw = value <= 0 ? std::max(value + 32767, 0) : value + 32768;
    return float(double(raw) * 2.0 / 65535.0 - 1.0);
}

constexpr float kFullNegative = -1.0f;
constexpr float kFullPositive = 1.0f;

// Game buttons of a known controller: 0 bottom face, 1 right face (and Start, so it
// pauses), 2 left face, 3 top face, 4 back, 5 guide, 6 and 7 the shoulders (and the
// triggers, pressed past half way), 8 and 9 the stick clicks, 10 Start, 11..14 the D-pad.
struct ButtonMap {
    int game;
    SDL_GameControllerButton pad;
};
constexpr ButtonMap kButtons[] = {
    {0, SDL_CONTROLLER_BUTTON_A},           {1, SDL_CONTROLLER_BUTTON_B},
    {1, SDL_CONTROLLER_BUTTON_START},       {2, SDL_CONTROLLER_BUTTON_X},
    {3, SDL_CONTROLLER_BUTTON_Y},           {4, SDL_CONTROLLER_BUTTON_BACK},
    {5, SDL_CONTROLLER_BUTTON_GUIDE},       {6, SDL_CONTROLLER_BUTTON_LEFTSHOULDER},
    {7, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER}, {8, SDL_CONTROLLER_BUTTON_LEFTSTICK},
    {9, SDL_CONTROLLER_BUTTON_RIGHTSTICK},  {10, SDL_CONTROLLER_BUTTON_START},
    {11, SDL_CONTROLLER_BUTTON_DPAD_UP},    {12, SDL_CONTROLLER_BUTTON_DPAD_DOWN},
    {13, SDL_CONTROLLER_BUTTON_DPAD_LEFT},  {14, SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
};

void read_controller(SDL_GameController* gc, PadSample& s) {
    auto axis = [&](SDL_GameControllerAxis a) { return normalise_axis(SDL_GameControllerGetAxis(gc, a)); };
    s.axes[0] = axis(SDL_CONTROLLER_AXIS_LEFTX);
    s.axes[1] = axis(SDL_CONTROLLER_AXIS_LEFTY);
    s.axes[2] = axis(SDL_CONTROLLER_AXIS_RIGHTX);
    s.axes[3] = axis(SDL_CONTROLLER_AXIS_RIGHTY);
    s.axes[4] = axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    s.axes[5] = axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    // The D-pad flies and steers the pointer at full deflection.
    if (SDL_GameControllerGetButton(gc, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) s.axes[0] = kFullNegative;
    if (SDL_GameControllerGetButton(gc, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) s.axes[0] = kFullPositive;
    if (SDL_GameControllerGetButton(gc, SDL_CONTROLLER_BUTTON_DPAD_UP)) s.axes[1] = kFullNegative;
    if (SDL_GameControllerGetButton(gc, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) s.axes[1] = kFullPositive;
    uint32_t bits = 0;
    for (const ButtonMap& b : kButtons) {
        if (SDL_GameControllerGetButton(gc, b.pad)) bits |= 1u << b.game;
    }
    if (SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_TRIGGERLEFT) > 16384) bits |= 1u << 6;
    if (SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) > 16384) bits |= 1u << 7;
    s.buttons = bits;
}

void read_joystick(SDL_Joystick* joy, PadSample& s) {
    int axes = std::min(SDL_JoystickNumAxes(joy), 9);
    for (int a = 0; a < axes; ++a) s.axes[a] = normalise_axis(SDL_JoystickGetAxis(joy, a));
    uint32_t bits = 0;
    int buttons = std::min(SDL_JoystickNumButtons(joy), 32);
    for (int b = 0; b < buttons; ++b) {
        if (SDL_JoystickGetButton(joy, b)) bits |= 1u << b;
    }
    s.buttons = bits;
}

// Reads a pad afresh; a pad that cannot be read keeps its last values.
void sample(int port) {
    PadSample& s = in.samples[port];
    if (port >= int(in.ports.size())) return;
    Pad& pad = in.ports[port];
    if (!pad.joystick || !SDL_JoystickGetAttached(pad.joystick)) return;
    uint32_t before = s.buttons;
    if (pad.controller) read_controller(pad.controller, s);
    else read_joystick(pad.joystick, s);
    for (int b = 0; b < kHitButtons; ++b) {
        uint32_t bit = 1u << b;
        if (!(before & bit) && (s.buttons & bit)) s.hits[b]++;
    }
}

const PadSample* sampled(int port) {
    if (port < 0 || port >= kMaxPorts) return nullptr;
    return &in.samples[port];
}

float axis(int port, int index) {
    const PadSample* s = sampled(port);
    return s ? s->axes[index] : 0.0f;
}

// ---- keys ----

constexpr size_t kMostTyped = 1024;
constexpr int kEditingKeys[] = {8, 13, 27, 35, 36, 37, 39, 46};  // Backspace ... Delete

void typed(Typed t) {
    if (in.typed.size() >= kMostTyped) in.typed.pop_front();
    in.typed.push_back(std::move(t));
}

struct KeyMap {
    int vk;
    SDL_Keycode sym;
};
constexpr KeyMap kKeys[] = {
    {8, SDLK_BACKSPACE}, {9, SDLK_TAB},     {13, SDLK_RETURN},  {19, SDLK_PAUSE},    {27, SDLK_ESCAPE},
    {32, SDLK_SPACE},    {33, SDLK_PAGEUP}, {34, SDLK_PAGEDOWN}, {35, SDLK_END},     {36, SDLK_HOME},
    {37, SDLK_LEFT},     {38, SDLK_UP},     {39, SDLK_RIGHT},   {40, SDLK_DOWN},     {45, SDLK_INSERT},
    {46, SDLK_DELETE},   {160, SDLK_LSHIFT}, {161, SDLK_RSHIFT}, {162, SDLK_LCTRL},  {163, SDLK_RCTRL},
    {164, SDLK_LALT},    {165, SDLK_RALT},  {186, SDLK_SEMICOLON}, {188, SDLK_COMMA}, {189, SDLK_MINUS}, {190, SDLK_PERIOD},
    {191, SDLK_SLASH},   {219, SDLK_LEFTBRACKET}, {221, SDLK_RIGHTBRACKET}, {222, SDLK_QUOTE},
};

// Shift, Ctrl and Alt are also known without their side, as one key each.
int unsided(int vk) {
    if (vk == 160 || vk == 161) return 16;
    if (vk == 162 || vk == 163) return 17;
    if (vk == 164 || vk == 165) return 18;
    return 0;
}


int mouse_button_index(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return 1;
        case SDL_BUTTON_RIGHT: return 2;
        case SDL_BUTTON_MIDDLE: return 3;
        default: return 0;
    }
}

}  // namespace

void InputHandle(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYMAPCHANGED:
            ++in.keymap_changes;
            break;
        case SDL_TEXTINPUT:
            typed(Typed{e.text.text, 0});
            break;
        case SDL_KEYDOWN: {
            // Holding a key counts one press: auto-repeat changes nothing, but types again.
            int vk = VirtualKeyOfKeycode(e.key.keysym.sym);
            if (std::find(std::begin(kEditingKeys), std::end(kEditingKeys), vk) != std::end(kEditingKeys))
                typed(Typed{"", vk});
            for (int code : {vk, unsided(vk)}) {
                if (code > 0 && !e.key.repeat && !in.key_down[code]) {
                    in.key_down[code] = 1;
                    in.key_hits[code]++;
                }
            }
            break;
        }
        case SDL_KEYUP: {
            int vk = VirtualKeyOfKeycode(e.key.keysym.sym);
            for (int code : {vk, unsided(vk)}) {
                if (code > 0) in.key_down[code] = 0;
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN: {
            int b = mouse_button_index(e.button.button);
            if (b && !in.mouse_down[b]) {
                in.mouse_down[b] = 1;
                in.mouse_hits[b]++;
            }
            break;
        }
        case SDL_MOUSEBUTTONUP: {
            int b = mouse_button_index(e.button.button);
            if (b) in.mouse_down[b] = 0;
            break;
        }
        case SDL_MOUSEWHEEL:
            in.mouse_z += e.wheel.y;
            break;
        case SDL_JOYDEVICEADDED:
            pad_added(e.jdevice.which);
            break;
        case SDL_JOYDEVICEREMOVED:
            pad_removed(e.jdevice.which);
            break;
        default:
            break;
    }
}

void InputStart() { start_input(); }

bool InputPadsOpen() {
    return std::any_of(in.ports.begin(), in.ports.end(), [](const Pad& p) { return p.joystick; });
}

void SamplePads() {
    start_input();
    for (int port = 0; port < kMaxPorts; ++port) sample(port);
}

int KeymapChanges() { return in.keymap_changes; }

std::vector<Typed> TakeTyping() {
    std::vector<Typed> out(std::make_move_iterator(in.typed.begin()), std::make_move_iterator(in.typed.end()));
    in.typed.clear();
    return out;
}

void InputMouseAt(int x, int y) {
    in.mouse_x = x;
    in.mouse_y = y;
}

void InputFlushKeys() { flush_keys(); }

void InputFlushMouse() { flush_mouse(); }

void InputShutdown() {
    for (Pad& pad : in.ports) close_pad(pad);
    in.ports.clear();
}

int VirtualKeyOfKeycode(int keycode) {
    if (keycode >= SDLK_a && keycode <= SDLK_z) return 65 + (keycode - SDLK_a);
    if (keycode >= SDLK_0 && keycode <= SDLK_9) return 48 + (keycode - SDLK_0);
    if (keycode >= SDLK_F1 && keycode <= SDLK_F12) return 112 + (keycode - SDLK_F1);
    for (const KeyMap& k : kKeys) {
        if (k.sym == keycode) return k.vk;
    }
    return 0;
}

int KeycodeOfVirtualKey(int vk) {
    if (vk == 16) return SDLK_LSHIFT;
    if (vk == 17) return SDLK_LCTRL;
    if (vk == 18) return SDLK_LALT;
    if (vk >= 65 && vk <= 90) return SDLK_a + (vk - 65);
    if (vk >= 48 && vk <= 57) return SDLK_0 + (vk - 48);
    if (vk >= 112 && vk <= 123) return SDLK_F1 + (vk - 112);
    for (const KeyMap& k : kKeys) {
        if (k.vk == vk) return k.sym;
    }
    return 0;
}

int ControllerButtonOfGameButton(int button) {
    for (const ButtonMap& b : kButtons) {
        if (b.game == button) return b.pad;
    }
    return -1;
}

int KeyByName(const std::string& name) {
    SDL_Keycode sym = SDL_GetKeyFromName(name.c_str());
    return sym == SDLK_UNKNOWN ? 0 : VirtualKeyOfKeycode(sym);
}

std::string KeyName(int key) {
    int sym = KeycodeOfVirtualKey(key);
    return sym ? SDL_GetKeyName(sym) : "";
}

int KeyHit(int key) {
    if (key < 0 || key > 255) return 0;
    int n = in.key_hits[key];
    in.key_hits[key] = 0;
    return n;
}

int KeyDown(int key) {
    if (key < 0 || key > 255) return 0;
    return in.key_down[key];
}

int MouseX() {
    return in.mouse_x;
}

int MouseY() {
    return in.mouse_y;
}

int MouseHit(int button) {
    if (button < 0 || button > 3) return 0;
    int n = in.mouse_hits[button];
    in.mouse_hits[button] = 0;
    return n;
}

int MouseDown(int button) {
    if (button < 0 || button > 3) return 0;
    return in.mouse_down[button];
}

int InputRebuildPads() {
    start_input();
    std::vector<Pad> table;
    for (int i = 0; i < SDL_NumJoysticks() && int(table.size()) < kMaxPorts; ++i) {
        SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        int old = port_of_instance(id);
        if (old >= 0) {
            table.push_back(in.ports[old]);
            in.ports[old] = Pad{};
            continue;
        }
        Pad pad;
        if (open_pad(i, pad)) table.push_back(pad);
    }
    for (Pad& pad : in.ports) close_pad(pad);
    in.ports = std::move(table);
    return int(in.ports.size());
}

float JoyX(int port) { return axis(port, 0); }
float JoyY(int port) { return axis(port, 1); }
float JoyZ(int port) { return axis(port, 2); }
float JoyR(int port) { return axis(port, 3); }

int JoyAttached() {
    start_input();
    return std::min(SDL_NumJoysticks(), kMaxPorts);
}

int JoyDown(int button, int port) {
    const PadSample* s = sampled(port);
    if (!s || button < 0 || button > 31) return 0;
    return (s->buttons >> button) & 1;
}

PadLabels JoyLabels(int port) {
    start_input();
    if (port < 0 || size_t(port) >= in.ports.size() || !in.ports[size_t(port)].controller) return PadLabels::xbox;
    switch (SDL_GameControllerGetType(in.ports[size_t(port)].controller)) {
        case SDL_CONTROLLER_TYPE_PS3:
        case SDL_CONTROLLER_TYPE_PS4:
        case SDL_CONTROLLER_TYPE_PS5: return PadLabels::playstation;
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO:
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_LEFT:
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_RIGHT:
        case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_PAIR: return PadLabels::nintendo;
        default: return PadLabels::xbox;
    }
}

uint32_t JoyButtons(int port) {
    const PadSample* s = sampled(port);
    return s ? s->buttons : 0;
}

int JoyHit(int button, int port) {
    PadSample* s = port >= 0 && port < kMaxPorts ? &in.samples[port] : nullptr;
    if (!s || button < 0 || button >= kHitButtons) return 0;
    int n = s->hits[button];
    s->hits[button] = 0;
    return n;
}
