#pragma once
// The game's global state: states, round counters, volumes, texts, images and sounds.
// The world's own shared state (images it draws, sounds it makes, the pad count its
// controls read) lives in world/world.h.
#include <string>

#include "engine/audio.h"
#include "engine/draw.h"
#include "engine/font.h"
#include "world/world.h"

// Game states.
enum : int { STATE_PLAY = 2, STATE_PAUSE = 3, STATE_TITLE = 4, STATE_OVER = 5 };

extern int game_state;   // 0 until start-up ends
extern int play_phase;   // 0 round opening, 1 running, 2 closing
extern int quit_game;    // 1 ends the frame loop after the current frame
extern int round_no;
extern float trans_scale;  // zoom of the round-transition picture
extern float trans_spin;   // turn of the opening picture; alpha of the closing one
extern int over_tmr;       // game-over countdown in frames

extern Channel music_chn;
extern float music_vol, sound_vol;  // 0.0 .. 1.0 (summed in steps of 0.1)
extern int music_lvl, sound_lvl;    // the same as levels 0 .. 10

extern ImageFont game_font;
extern std::string menu_txt[5];
extern std::string vol_txt[11];
extern std::string credit_txt;

extern Image back_img, pointer_img, logo_img, hud_img, pause_img, trans_img;
extern Sound snd_start, snd_blulead, snd_redlead, snd_bluwin, snd_redwin, snd_tied, snd_detectgb, snd_newmap;

// Start-up, the frame loop and shut-down; returns only through End.
[[noreturn]] void run_game();
// Start-up: window, images, sounds, the logo intro, a new game, the title.
void start_game();
// One pass of the frame loop: background, the state's frame, HUD, present, keys, focus.
void game_frame();
// Stops the music (with a half-second wait if it was playing) and ends the program.
[[noreturn]] void shut_down();
// Registers the five embedded files by name.
void register_assets();
// Creates the empty images the sprite sheet is cut into (and those grabbed later).
void create_images();
int load_media();
int draw_back();
int check_keys();
int check_focus();
