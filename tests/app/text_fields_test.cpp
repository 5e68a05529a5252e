// The Play Online screen's fields take text as a keyboard types it: every character
// between two frames, in order, the pilots' keys among them typing instead of moving the
// focus; Return is done, Escape puts the field back; a pad's South opens the grid, a key
// never does; a long value shows its end inside the field.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "app/online_screen.h"
#include "app/text_field.h"
#include "platform/events.h"
#include "platform/font.h"
#include "platform/options.h"
#include "support.h"

namespace {

enum { PORT = 0, HOST = 1, ADDRESS = 2, LOBBY = 6 };

void push(SDL_Event e) { SDL_PushEvent(&e); }

SDL_Event key_event(Uint32 type, SDL_Keycode sym) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    return e;
}

// A character as a keyboard types it: its key down, its text, its key up.
void type_char(char c) {
    push(key_event(SDL_KEYDOWN, SDL_Keycode(c)));
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    text.text.text[0] = c;
    push(text);
    push(key_event(SDL_KEYUP, SDL_Keycode(c)));
}

void tap(SDL_Keycode sym) {
    push(key_event(SDL_KEYDOWN, sym));
    push(key_event(SDL_KEYUP, sym));
}

class TextFields : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::OpenHeadlessGraphics();
        p.pilots = Pilots::defaults(0);  // both helicopters on the keys: W S E I K ... are pilots' keys
        FlushKeys();
        screen = std::make_unique<OnlineScreen>(nullptr);
    }
    // One frame of the screen: the events pumped, the navigation read, the screen's frame.
    Screen::Step frame(bool pad_choose = false) {
        PumpEvents();
        FrameInput in;
        Nav nav = nav_.read(p, in, false);
        if (pad_choose) nav.choose = nav.pad = true;
        FrameInput rules;
        return screen->frame(p, nav, rules);
    }
    Program p;
    NavReader nav_;
    std::unique_ptr<OnlineScreen> screen;
};

TEST_F(TextFields, TwoHundredCharactersTypedAtOneInFiveMillisecondsAllArriveInOrder) {
    frame();
    ASSERT_EQ(screen->focus(), HOST);
    tap(SDLK_DOWN);
    frame();
    ASSERT_EQ(screen->focus(), ADDRESS);
    // The letters of the pilots' keys (W, S, A, D, I, K, J, L, E) typed fast: three and
    // more to a frame, as at 5 ms a key.
    std::string typed;
    const std::string letters = "seek.example.kiss-wasd-ijkl-";
    for (int i = 0; i < 200; ++i) {
        char c = letters[size_t(i) % letters.size()];
        typed += c;
        type_char(c);
        if (i % 3 == 2) frame();
    }
    frame();
    EXPECT_TRUE(screen->editing());
    EXPECT_EQ(screen->focus(), ADDRESS) << "a pilot's key moved the focus while the field was typed into";
    EXPECT_EQ(screen->value_at(ADDRESS), typed);
    EXPECT_EQ(screen->value_at(LOBBY), "") << "letters landed in another field";
    // Return is done with it; the field keeps what was typed and the keys move again.
    tap(SDLK_RETURN);
    frame();
    EXPECT_FALSE(screen->editing());
    EXPECT_FALSE(screen->grid_open()) << "Return opened the character grid";
    EXPECT_EQ(screen->value_at(ADDRESS), typed);
    tap(SDLK_DOWN);
    frame();
    EXPECT_EQ(screen->focus(), ADDRESS + 1);
}

TEST_F(TextFields, EscapePutsTheFieldBackAndBackspaceTakesTheLastCharacter) {
    frame();
    tap(SDLK_UP);
    frame();
    ASSERT_EQ(screen->focus(), PORT);
    tap(SDLK_RETURN);
    frame();
    ASSERT_TRUE(screen->editing());
    tap(SDLK_BACKSPACE);
    type_char('2');
    type_char('x');  // a port takes digits only
    frame();
    EXPECT_EQ(screen->value_at(PORT), "7172");
    tap(SDLK_ESCAPE);
    frame();
    EXPECT_FALSE(screen->editing());
    EXPECT_EQ(screen->value_at(PORT), "7171") << "Escape did not put the field back";
    // The screen is still open: Escape ended the edit, not the screen.
    tap(SDLK_RETURN);
    Screen::Step step = frame();
    EXPECT_TRUE(step.open);
    EXPECT_TRUE(screen->editing());
}

TEST_F(TextFields, OnlyAPadsPressOpensTheGrid) {
    frame();
    tap(SDLK_DOWN);
    frame();
    ASSERT_EQ(screen->focus(), ADDRESS);
    frame(true);
    EXPECT_TRUE(screen->grid_open());
    EXPECT_FALSE(screen->editing());
}

// A field is checked when it is used, and only a value used goes to the settings: a
// meeting server typed with a port past 65535 is named and not kept as its last valid
// beginning.
TEST_F(TextFields, AValueIsCheckedWhenUsedAndOnlyAUsedOneIsKept) {
    p.settings.lobby = "lobby.example:7170";
    frame();
    // Down to the meeting server: the address, Join, Watch, and (the network's games,
    // which none were found of, passed over) the meeting server.
    for (int i = 0; i < 4; ++i) {
        tap(SDLK_DOWN);
        frame();
    }
    ASSERT_EQ(screen->focus(), LOBBY);
    tap(SDLK_RETURN);
    frame();
    for (int i = 0; i < 18; ++i) tap(SDLK_BACKSPACE);
    for (char c : std::string("127.0.0.1:71700")) type_char(c);
    tap(SDLK_RETURN);
    frame();
    ASSERT_EQ(screen->value_at(LOBBY), "127.0.0.1:71700");
    EXPECT_EQ(p.settings.lobby, "lobby.example:7170") << "a value being typed went to the settings";
    // Up to "Host a game" and chosen: refused, named, nothing kept.
    for (int i = 0; i < 4; ++i) {
        tap(SDLK_UP);
        frame();
    }
    ASSERT_EQ(screen->focus(), HOST);
    tap(SDLK_RETURN);
    frame();
    screen->presented(p);
    EXPECT_EQ(p.settings.lobby, "lobby.example:7170");
    // Put right and used: kept (this run has no online play to start).
    for (int i = 0; i < 4; ++i) {
        tap(SDLK_DOWN);
        frame();
    }
    ASSERT_EQ(screen->focus(), LOBBY);
    tap(SDLK_RETURN);
    frame();
    tap(SDLK_BACKSPACE);
    tap(SDLK_RETURN);
    frame();
    ASSERT_EQ(screen->value_at(LOBBY), "127.0.0.1:7170");
    for (int i = 0; i < 4; ++i) {
        tap(SDLK_UP);
        frame();
    }
    tap(SDLK_RETURN);
    frame();
    screen->presented(p);
    EXPECT_EQ(p.settings.lobby, "127.0.0.1:7170");
}

TEST(TextField, ALongValueShowsItsEndInsideTheField) {
    test_support::OpenHeadlessGraphics();
    TextField field(".:-", 255);
    field.value = "a-very-long-host-name.that-goes.on-and-on.example.org:7170";
    SetScale(0.8f, 0.8f);
    float room = 200;
    std::string shown = field.shown(room, 0.8f);
    SetScale(1, 1);
    EXPECT_EQ(shown.rfind("...", 0), 0u) << shown;
    EXPECT_LE(float(TextWidth(shown)) * 0.8f, room) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 5), ":7170") << "the end of the value is what shows";
    EXPECT_EQ(field.takes(), "letters, digits and . : -");
    field.start_editing();
    field.type({Typed{"é", 0}});
    EXPECT_EQ(field.refused(), "This field takes letters, digits and . : -.");
}

}  // namespace
