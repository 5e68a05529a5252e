#include "app/globals.h"

int game_state = 0;
int play_phase = 0;
int quit_game = 0;
int round_no = 0;
float trans_scale = 0;
float trans_spin = 0;
int over_tmr = 0;

Channel music_chn;
float music_vol = 1.0f, sound_vol = 1.0f;
int music_lvl = 10, sound_lvl = 10;

ImageFont game_font;
std::string menu_txt[5];
std::string vol_txt[11];
// 36 characters: "v1.3 - " and 29 of our own.
std::string credit_txt = "v1.3 - Two pads. Five pads. One win.";

Image back_img, pointer_img, logo_img, hud_img, pause_img, trans_img;
Sound snd_start, snd_blulead, snd_redlead, snd_bluwin, snd_redwin, snd_tied, snd_detectgb, snd_newmap;
