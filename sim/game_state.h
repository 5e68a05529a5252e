#pragma once
// The game around the world, as one value: the screen it shows, the round and its
// transitions, the volumes, the logo intro, the pointer and the presses not yet asked
// for. With the World it is the whole state a frame reads and writes.
#include <cstdint>
#include <vector>

#include "sim/pads.h"

// Game states; 0 is the logo intro, before the frame loop starts.
enum class GameState : int { intro = 0, play = 2, pause = 3, title = 4, over = 5 };
// Sub-state of play.
enum class PlayPhase : int { opening = 0, running = 1, closing = 2 };

// What the program still owes the picture it presented last, before the next frame.
enum class AfterPresent : uint8_t {
    nothing,       // the first frame
    intro_checks,  // an intro frame: the close request, a key, click or pad button ends it
    check_keys,    // a frame of the loop: the state keys and the close request
    round_start,   // the round opening's last picture: the round starts, nothing is read
};

// The game's rule numbers: frames and steps of its screens.
constexpr int OVER_FRAMES = 1000;         // game-over countdown
constexpr int OVER_PROMPT_BELOW = 800;    // the prompt and the pad button from here
constexpr int OVER_ANNOUNCE_AT = 900;     // the winner is announced on this count
constexpr float OPENING_START = 0.1f;     // the opening picture's first zoom
constexpr float OPENING_SPIN = 15.0f;     // degrees per frame
constexpr float OPENING_GROWTH = 0.02f;   // zoom per frame
constexpr float CLOSING_STEP = 0.01f;     // fade and zoom per frame
constexpr int ROUND_END_WAIT_MS = 500;    // twice: before and after the announcement
constexpr float LOGO_GROW_START = 0.1f;
constexpr float LOGO_GROWTH = 0.004f;
constexpr float LOGO_FADE = 0.01f;
constexpr float LOGO_EYE_START = -4.0f;
constexpr float LOGO_EYE_STEP = 0.05f;
constexpr float LOGO_STEREO_FADE_FROM = 1.1f;
constexpr float VOLUME_STEP = 0.1f;
constexpr int VOLUME_LEVELS = 10;
constexpr int POINTER_STEP = 6;           // pixels per frame from pad 0's stick
constexpr int POINTER_HOME_X = 320, POINTER_HOME_Y = 245;

struct Game {
    GameState game_state = GameState::intro;
    PlayPhase play_phase = PlayPhase::opening;
    int quit_game = 0;   // 1 ends the frame loop after the current frame
    int round_no = 0;
    float trans_scale = 0;  // zoom of the round-transition picture
    float trans_spin = 0;   // turn of the opening picture; alpha of the closing one
    int over_tmr = 0;       // game-over countdown in frames
    int pads_found = 0;     // pads found by the last count
    float music_vol = 1.0f, sound_vol = 1.0f;  // 0.0 .. 1.0, summed in steps of 0.1
    int music_lvl = VOLUME_LEVELS, sound_lvl = VOLUME_LEVELS;

    float logo_alpha = 1.0f;  // the intro's fade
    float logo_grow = LOGO_GROW_START;
    // With the 3D glasses on, the intro's logo zooms in while its two eye images
    // converge, and fades once it has grown past 1.1.
    bool stereo_intro = false;
    float logo_eye = LOGO_EYE_START;
    AfterPresent after = AfterPresent::nothing;

    // Input as the rules have taken it in: the pad ports with their pending presses,
    // key and click presses not yet asked for, and the pointer.
    Pads pads;
    int esc_hits = 0, space_hits = 0, click_hits = 0;
    int pointer_x = 0, pointer_y = 0;
};

// A game at the start of a run: nothing shown yet, the pads counted at start-up, the
// intro in 3D when the glasses mode is on.
Game new_game_state(int pads_found, bool stereo_intro = false);

// The volume the menu would show after stepping to a level: the float sum of the
// steps from "Off", and 1.0 for "Max" as the game starts with.
float volume_for_level(int level);

// The canonical byte form of a Game (see write_canonical for the World).
void write_canonical(std::vector<uint8_t>& out, const Game& g);

struct CanonicalReader;
// Reads a Game back from its canonical form, refusing values the game could not have
// (an unknown screen, a volume level off the menu's list): false, with the reason in
// the reader.
bool read_canonical(CanonicalReader& in, Game& g);
