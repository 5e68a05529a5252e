#include "app/title_screens.h"

#include <algorithm>

#include "app/options_screen.h"
#include "app/pilot_panel.h"
#include "app/replays_screen.h"
#include "platform/draw.h"
#include "platform/font.h"
#include "present/plain_drawing.h"
#include "platform/input.h"
#include "platform/window.h"
#include "platform/events.h"

namespace {

// Under the title's fifth item (whose line ends at 425), above the credit line and clear
// of the pilots' columns.
constexpr float kRowTop = 428, kRowHeight = 27, kRowWidth = 140, kRowGap = 14, kRowScale = 0.65f;
constexpr const char* kRow[] = {"Play Online", "Replays", "Options"};
constexpr int kRowEntries = int(sizeof kRow / sizeof kRow[0]);
constexpr int kItems = 5;

float row_left(int i) {
    float total = kRowEntries * kRowWidth + (kRowEntries - 1) * kRowGap;
    return 320 - total / 2 + float(i) * (kRowWidth + kRowGap);
}

int row_at(int x, int y) {
    if (y < kRowTop || y >= kRowTop + kRowHeight) return -1;
    for (int i = 0; i < kRowEntries; ++i) {
        if (x >= row_left(i) && x < row_left(i) + kRowWidth) return i;
    }
    return -1;
}

int item_y(int item) { return 245 + 40 * item; }

}  // namespace

int TitleScreens::row_entries() { return kRowEntries; }

void TitleScreens::row_entry_centre(int i, int* x, int* y) {
    *x = int(row_left(i) + kRowWidth / 2);
    *y = int(kRowTop + kRowHeight / 2);
}

bool TitleScreens::take_devices(Program& p, FrameInput& in) {
    bool title = p.game.game_state == GameState::title;
    bool pause = p.game.game_state == GameState::pause;
    Nav nav = nav_.read(p, in, !screen_);
    if (!title) screen_.reset();
    if (!screen_) {
        if (title || pause) return menu_frame(p, in, nav, title);
        blue_fire_held_ = (in.port[0].buttons & 1) != 0;
        return false;
    }
    FrameInput rules;
    rules.quit = in.quit;
    rules.pad_count = in.pad_count;
    rules.recount = in.recount;
    rules.flushed = in.flushed;
    rules.flush_buttons = in.flush_buttons;
    std::copy(std::begin(in.flush_presses), std::end(in.flush_presses), std::begin(rules.flush_presses));
    rules.mouse_x = saved_x_;
    rules.mouse_y = saved_y_;
    Screen::Step step = screen_->frame(p, nav, rules);
    in = rules;
    if (!step.open) {
        screen_.reset();
        MoveMouse(saved_x_, saved_y_);
    }
    return step.pilots_changed;
}

bool TitleScreens::menu_frame(Program& p, FrameInput& in, const Nav& nav, bool title) {
    bool blue_fire = (in.port[0].buttons & 1) != 0;
    bool blue_pressed = blue_fire && !blue_fire_held_;
    blue_fire_held_ = blue_fire;
    // The pilots' panels are the program's too: over one, choosing changes its pilot.
    int panel = title ? PilotPanel::panel_at(in.mouse_x, in.mouse_y) : -1;
    if (panel >= 0 && nav.dy == 0) {
        if (blue_pressed) in.port[0].buttons &= ~1u;
        bool chosen = nav.choose || blue_pressed;
        in.clicks = 0;
        in.space = 0;
        if (chosen) next_pilot(p, panel);
        return chosen;
    }
    int row = title ? row_at(in.mouse_x, in.mouse_y) : -1;
    if (nav.dy != 0 || (nav.dx != 0 && row >= 0)) {
        int x = 320, y = in.mouse_y;
        if (row >= 0) {
            if (nav.dy < 0) {
                y = item_y(kItems - 1);
            } else {
                row = std::clamp(row + nav.dx, 0, kRowEntries - 1);
                row_entry_centre(row, &x, &y);
            }
        } else {
            int item = menu_item_at(in.mouse_y);
            int target = item >= 0 ? item + nav.dy : in.mouse_y > item_y(kItems - 1) ? kItems : 0;
            target = std::max(target, 0);
            if (target >= kItems && title) row_entry_centre(0, &x, &y);
            else y = item_y(std::min(target, kItems - 1));
        }
        in.mouse_x = x;
        in.mouse_y = y;
        MoveMouse(x, y);
        row = title ? row_at(x, y) : -1;
    }
    if (row >= 0 && (nav.click || nav.choose || blue_pressed)) {
        // The row is the program's: the rules see neither the click nor the press.
        if (blue_pressed) in.port[0].buttons &= ~1u;
        in.clicks = 0;
        in.space = 0;
        open(row, in);
        return false;
    }
    // Return, a fire key or a spare pad's South button chooses what the pointer is on,
    // as a click there would; so does Space on the title (in the pause it goes on
    // playing, as it always did).
    if (title && in.space > 0) {
        in.space = 0;
        in.clicks = uint8_t(std::min(in.clicks + 1, 255));
    } else if (nav.choose && (title || in.space == 0)) {
        in.clicks = uint8_t(std::min(in.clicks + 1, 255));
    }
    return false;
}

void TitleScreens::open(int entry, const FrameInput& in) {
    saved_x_ = in.mouse_x;
    saved_y_ = in.mouse_y;
    switch (entry) {
        case 0: screen_ = std::make_unique<OnlineScreen>(online_); break;
        case 1: screen_ = std::make_unique<ReplaysScreen>(); break;
        default: screen_ = std::make_unique<OptionsScreen>(); break;
    }
}

// The row is drawn from the pointer alone; an open screen is drawn every frame.
bool TitleScreens::draw_key(const Program& p, std::string& key) const {
    if (p.game.game_state != GameState::title) return true;
    if (screen_) return false;
    int lit = row_at(p.game.pointer_x, p.game.pointer_y);
    key += "row " + std::to_string(lit);
    if (lit >= 0) key += " " + std::to_string(p.game.pointer_x) + "," + std::to_string(p.game.pointer_y);
    key += ";";
    return true;
}

void TitleScreens::draw_over(Program& p) {
    if (p.game.game_state != GameState::title) return;
    PlainDrawing plain(GetImageFont());
    if (screen_) {
        screen_->draw(p);
        screen_pointer(p.media, MouseX(), MouseY());
        return;
    }
    int lit = row_at(p.game.pointer_x, p.game.pointer_y);
    for (int i = 0; i < kRowEntries; ++i) {
        float x = row_left(i);
        if (i == lit) SetColor(255, 50, 50);
        else SetColor(0, 0, 0);
        SetAlpha(i == lit ? 0.7f : 0.55f);
        DrawRect(x, kRowTop, kRowWidth, kRowHeight);
        SetAlpha(1.0f);
        if (i == lit) SetColor(255, 255, 255);
        else SetColor(120, 160, 255);
        screen_text(kRow[i], x + kRowWidth / 2, kRowTop + 3, kRowScale, true);
    }
    // The rules drew the pointer under the row.
    if (lit >= 0) screen_pointer(p.media, p.game.pointer_x, p.game.pointer_y);
}

void TitleScreens::presented(Program& p) {
    // A screen may hand the program over to another mode from here (the replay viewer,
    // online play); the title and the screen are as they were when it comes back.
    if (screen_ && p.game.game_state == GameState::title) screen_->presented(p);
    if (FullScreenToggles() == toggles_seen_) return;  // F11 anywhere, or the options
    toggles_seen_ = FullScreenToggles();
    p.settings.full_screen = FullScreen();
}
