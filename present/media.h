#pragma once
// The pictures and the font the game draws with, made once at start-up and owned by the
// program. Sounds are the sound player's (present/sound.h).
#include "platform/draw.h"
#include "platform/font.h"
#include "present/owdraw.h"
#include "present/world_draw.h"

struct Media {
    // The drawing object every frame draws through, with the player's stereo mode.
    owdraw_tag draw3d;
    ImageFont game_font;
    Image back_img;     // 640 x 480 background
    Image pointer_img;  // 18 x 18 menu pointer, top-left hot spot
    Image logo_img;     // the title logo, cut from the sheet
    Image hud_img;      // 640 x 32 HUD bar
    // Helicopters flown by the keys or the computer: the rules count each as a pad so
    // that Red flies, and "Detect Game Pads" leaves them out so that it counts pads.
    int pilots_without_pads = 0;
    Image pause_img;    // the picture grabbed when play is paused
    Image trans_img;    // the picture grabbed for the round transitions
    Image maker_logo;   // the intro's logo
    Sprites sprites;
};

// Registers the five embedded files by name.
void register_assets();
// Creates the empty images the sprite sheet is cut into (and those grabbed later).
void create_images(Media& m);
// Loads the font and the pictures and cuts the sprite sheet (through the picture, which
// it clears).
int load_media(Media& m);
