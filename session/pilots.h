#pragma once
// Who flies each helicopter: a game pad, a half of the keyboard, or the computer. Every
// pilot gives the rules what a pad gives them (the four axes at their ends or at rest,
// the buttons held), so the flight rules do not know who flies.
#include <array>
#include <string>

#include "pilots/computer_pilot.h"
#include "sim/frame_input.h"

enum class PilotKind { pad, keys, computer };

struct PilotChoice {
    PilotKind kind = PilotKind::pad;
    int pad = -1;  // for a pad: which pad (0 the first found); -1 the first the other side leaves
    PilotSkill skill = PilotSkill::normal;

    bool operator==(const PilotChoice&) const = default;
};

// "pad", "pad2", "keys", "computer", "computer:easy|normal|hard" (as on the command line
// and in the settings file); false for anything else.
bool parse_pilot(const std::string& text, PilotChoice* out);
std::string pilot_text(const PilotChoice& p);
// As the title screen shows it: "Pad 1", "Keys", "Computer · normal".
std::string pilot_label(const PilotChoice& p, int pad_number);

// The keys of one keyboard half: each action has up to two keys (0: none).
enum KeyAction : int { KEY_CLIMB, KEY_DESCEND, KEY_TURN_LEFT, KEY_TURN_RIGHT, KEY_SLIDE_LEFT, KEY_SLIDE_RIGHT,
                       KEY_FORWARD, KEY_BACKWARD, KEY_FIRE, KEY_ACTIONS };
using KeyLayout = std::array<std::array<int, 2>, KEY_ACTIONS>;

// Blue on the left half (W S A D, F H, T G, Left Ctrl or Q), Red on the right half
// (I K J L, the arrows, Right Ctrl or Return): keys two people can hold at once.
KeyLayout default_layout(int side);
// The action's name in the settings file: "climb", "descend", ...
const char* key_action_name(int action);
// An action's keys by their names: "Left Ctrl, Q".
std::string key_names(const std::array<int, 2>& keys);

// A pad as a keyboard half gives it, from the keys held now and pressed since the last
// frame (a tap between two frames still fires).
PortInput keyboard_port(const KeyLayout& layout);

// A pad's buttons as the rules read them when the player moved fire and pause to other
// buttons. In flight the chosen fire button trades places with button 0 (A) and the
// chosen pause button with button 1 (B). In the menus A still chooses and B still goes
// on, and the chosen pause button (unless it is A) goes on too. Fire 0 and pause 1 leave
// the buttons as the pad gives them.
uint32_t remap_pad_buttons(uint32_t buttons, int fire, int pause, bool flying);

// The two pilots and what they say about the pads the rules should count.
struct Pilots {
    std::array<PilotChoice, 2> choice;

    // The defaults for the pads found: two pads fly both; a helicopter without a pad
    // flies on its keyboard half.
    static Pilots defaults(int pads);
    // The pad port a helicopter on a pad reads (whether a pad is there or not: a pad
    // pulled out keeps its last reading), or -1 when it is not on a pad.
    int pad_port(int side) const;
    // The pads the rules count: the pads found, and every helicopter flown by the keys
    // or the computer counts as one more (so Red flies when it has a pilot).
    int pads_for_rules(int pads) const;
    // The helicopters flown by the keys or the computer.
    int without_pads() const;
};

// The helicopters flown by the keys or the computer in a recording's "Blue: keys; Red:
// pad 2" line (a side given as "none" or not understood flies on no pilot of its own).
int pilots_without_pads(const std::string& described);
// The pilots a replay names ("Blue: computer:hard; Red: pad2") as the title names them
// ("Blue: Computer · hard   Red: Pad 2"); words of an older recording stay as they are.
std::string pilots_label(const std::string& described);
