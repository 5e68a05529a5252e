#pragma once
// The options: who flies each side, the keys of each keyboard half, both volumes, full
// screen or a window and the 3D glasses mode. Every change is the player's setting at
// once (the settings keeper writes the file); the volumes are changed through the
// title's own volume items, as a click on them would.
//
// On a side's keys, each action has two places for a key. Choosing a place waits for a
// key; a key that another action holds is named and the two are swapped only once the
// player confirms.
#include <string>

#include "app/screen.h"

class OptionsScreen : public Screen {
public:
    Step frame(Program& p, const Nav& nav, FrameInput& rules) override;
    void draw(const Program& p) override;

private:
    enum class Page { main, keys };
    enum class Wait { none, key, confirm };

    void fill(const Program& p);
    Step main_frame(Program& p, const Nav& nav, FrameInput& rules);
    Step keys_frame(Program& p, const Nav& nav);
    void bind(Program& p, int key);
    bool may_clear(const Program& p) const;
    std::string waiting_message(const Program& p) const;
    void swap(Program& p);

    Page page_ = Page::main;
    int side_ = 0;     // the keyboard half on the keys page
    int slot_ = 0;     // the place of the action's key in focus, 0 or 1
    Wait wait_ = Wait::none;
    int new_key_ = 0;  // waiting for confirmation: the key, and where it is now
    int other_side_ = 0, other_action_ = 0, other_slot_ = 0;
    std::string message_;
    EntryList list_;
};
