#pragma once
// The title from every device, and the screens reached from it. Under the title's five
// items a row of small entries opens the program's own screens (Play Online, Replays, Options). The arrows,
// Return and the like move between the items and that row: on the items they do it as
// the player's pointer would, by putting the pointer on the item and clicking, so that
// the rules (and a recording) see what a mouse would have given. Blue's own keys or pad
// keep moving the pointer as the rules move it; the pause's items are reached the same
// way. While a screen is open the rules keep
// the title and see nothing of the devices.
//
// F11 and Alt+Enter (the window's own keys) switch full screen; the choice is kept in
// the settings.
#include <memory>

#include "app/online_screen.h"
#include "app/screen.h"

class TitleScreens : public FrameHook {
public:
    // Online play goes through `online`, which main completes once the recorder is made.
    explicit TitleScreens(std::shared_ptr<OnlinePlay> online) : online_(std::move(online)) {}
    bool take_devices(Program& p, FrameInput& in) override;
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;
    void presented(Program& p) override;

    // The row's entries, for tests and the manual.
    static int row_entries();
    // The middle of the row's entry i, in picture pixels.
    static void row_entry_centre(int i, int* x, int* y);

private:
    // The title's or the pause's items (and the title's row) from the keys and spare pads.
    bool menu_frame(Program& p, FrameInput& in, const Nav& nav, bool title);
    void open(int entry, const FrameInput& in);

    std::shared_ptr<OnlinePlay> online_;
    NavReader nav_;
    std::unique_ptr<Screen> screen_;
    int saved_x_ = 0, saved_y_ = 0;  // the title's pointer while a screen is open
    bool blue_fire_held_ = false;
    int toggles_seen_ = 0;
};
