#pragma once
// The screens around the game (options and the like): what one frame of the devices asks
// of a screen, whichever device the player holds, and a list of entries with one in
// focus that a screen lays out, moves through and draws in the game's own look.
//
// Keys: the arrows or either side's climb and descend keys move, either side's turn keys
// or Left and Right change a value, Return, Space or a fire key chooses, Escape goes
// back, Delete deletes. Pads: the D-pad or the left stick moves and changes, the South
// button chooses, the East button goes back, the West button deletes. The mouse points and clicks.
#include <array>
#include <string>
#include <vector>

#include "session/runner.h"

// What the devices asked of one frame.
struct Nav {
    int dy = 0;  // -1 up, +1 down
    int dx = 0;  // -1 left, +1 right
    bool choose = false;
    bool pad = false;  // the choice came from a pad's South button
    bool back = false;
    bool remove = false;         // Delete, or a pad's West button
    bool click = false;          // the left mouse button went down
    bool pointer_moved = false;  // the mouse moved since the frame before
    int mouse_x = 0, mouse_y = 0;
    int key = 0;       // a key that went down this frame (bindable keys only), 0 none
    int reserved = 0;  // a key the game keeps for itself that went down (Space, F1..F12)
};

// Why a key the game keeps for itself cannot be given to an action ("Space pauses and
// resumes the game"), "" for a key that can.
std::string reserved_key_use(int key);

// Reads a frame's navigation from the devices, after the frame's input was read (the
// event pump, the pads' sampling). Presses of the keys it watches are taken every frame,
// so that none left from play reaches a screen later.
class NavReader {
public:
    // `in` is the frame's input as the devices gave it. With `menu` (the title's and the
    // pause's items) the devices the rules read there are left to them: Blue's keys,
    // which move the pointer as the first pad does, and the pilots' pads.
    Nav read(const Program& p, const FrameInput& in, bool menu);

private:
    bool fire_held_[2] = {false, false};
    std::array<signed char, 16> pad_x_{}, pad_y_{};
    std::array<bool, 256> key_down_{};
    int mouse_x_ = -1, mouse_y_ = -1;
};

// One line of a list: a label and, when it has one, its value.
struct Entry {
    std::string label;
    std::string value;
    bool enabled = true;
};

// A titled list of entries with one in focus, laid out on the 640 x 480 picture.
class EntryList {
public:
    std::string title;
    std::vector<Entry> entries;
    int focus = 0;
    float top = 110;     // the first line's top
    float step = 34;     // from line to line
    float left = 90, right = 550;
    float scale = 0.8f;  // of the game's font
    int shown = 0;       // lines shown at once, 0 all; the list scrolls to keep the focus in view
    int first = 0;       // the first line shown

    // Moves the focus by the navigation (up, down, the pointer over a line); true when
    // the focus is on a line the pointer clicked.
    bool navigate(const Nav& nav);
    // The line at a point of the picture, or -1.
    int line_at(int x, int y) const;
    void draw() const;
};

// Drawing for screens, in the game's font and colours; the drawing state is kept.
void screen_backdrop();
void screen_title(const std::string& text, float y);
// Text centred on x, or from x, at a scale of the game's font (24 pixels at 1.0).
void screen_text(const std::string& text, float x, float y, float scale, bool centred);
// The hint line at the foot of a screen.
void screen_hints(const std::string& text);
void screen_pointer(const Media& m, int x, int y);


// A screen over the title. The rules go on showing the title under it and see none of
// the devices, except what the screen hands them (the title's own items, as a pointer
// move and a click would).
class Screen {
public:
    virtual ~Screen() = default;
    struct Step {
        bool open = true;             // false: the screen closes
        bool pilots_changed = false;
    };
    // One frame of the devices; `rules` is the rules' quiet input for the frame, which
    // the screen may give a click on one of the title's items.
    virtual Step frame(Program& p, const Nav& nav, FrameInput& rules) = 0;
    virtual void draw(const Program& p) = 0;
    // Between frames, after the picture was presented (a screen that hands the program
    // over to another mode, as the replays' viewer and online play, does it here).
    virtual void presented(Program&) {}
};

// A pad's South, East, West and North buttons as the screens name them: as the first pad is
// labelled, or as the settings force ("A", "Cross", "B"...).
struct PadNames {
    std::string south, east, west, north;
};
PadNames pad_names(const Program& p);
// The names a setting of pad_labels gives (0 as the pad says).
const char* pad_labels_name(int setting);

// The rules' input with a pointer on the title's item (0..4) and a click.
void click_title_item(FrameInput& rules, int item);
