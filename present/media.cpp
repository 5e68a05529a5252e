#include "present/media.h"

#include <cstddef>

#include "platform/resources.h"

// The five pictures and the font, assembled into the program (embedded_assets.S).
extern "C" {
extern const unsigned char asset_owlogo_png[], asset_owlogo_png_end[];
extern const unsigned char asset_armalite_ttf[], asset_armalite_ttf_end[];
extern const unsigned char asset_dmpointer_png[], asset_dmpointer_png_end[];
extern const unsigned char asset_whirlbat_01_png[], asset_whirlbat_01_png_end[];
extern const unsigned char asset_whirlbat_02_png[], asset_whirlbat_02_png_end[];
}

void register_assets() {
    IncbinAdd("owlogo.png", asset_owlogo_png, size_t(asset_owlogo_png_end - asset_owlogo_png));
    IncbinAdd("armalite.ttf", asset_armalite_ttf, size_t(asset_armalite_ttf_end - asset_armalite_ttf));
    IncbinAdd("dmpointer.png", asset_dmpointer_png, size_t(asset_dmpointer_png_end - asset_dmpointer_png));
    IncbinAdd("whirlbat_01.png", asset_whirlbat_01_png, size_t(asset_whirlbat_01_png_end - asset_whirlbat_01_png));
    IncbinAdd("whirlbat_02.png", asset_whirlbat_02_png, size_t(asset_whirlbat_02_png_end - asset_whirlbat_02_png));
}

void create_images(Media& m) {
    m.hud_img = CreateImage(640, 32, 1, -1);
    m.pause_img = CreateImage(640, 480, 1, -1);
    AutoMidHandle(1);
    m.logo_img = CreateImage(378, 145, 1, -1);
    m.sprites.heli_img = CreateImage(18, 49, 8, -1);
    m.sprites.blade_img = CreateImage(56, 4, 2, -1);
    m.sprites.rocket_img = CreateImage(18, 8, 4, -1);
    m.sprites.tile_img = CreateImage(32, 32, 10, -1);
    m.trans_img = CreateImage(640, 480, 1, -1);
    AutoMidHandle(0);
}

int load_media(Media& m) {
    m.game_font = LoadImageFont("incbin::armalite.ttf", 24, SMOOTHFONT);
    SetImageFont(m.game_font);
    m.back_img = LoadImage("incbin::whirlbat_02.png", -1);
    m.pointer_img = LoadImage("incbin::dmpointer.png", -1);
    Image sheet = LoadImage("incbin::whirlbat_01.png", -1);
    // The sheet is cut from a plain copy of it: the drawing state start-up has.
    SetColor(255, 255, 255);
    SetAlpha(1.0f);
    SetBlend(MASKBLEND);
    SetTransform(0, 1, 1);
    Cls();
    DrawImage(sheet, 0, 0);
    GrabImage(m.logo_img, 0, 87, 0);
    GrabImage(m.hud_img, 0, 240, 0);
    for (int i = 0; i < 8; ++i) GrabImage(m.sprites.heli_img, 1 + 19 * i, 1, i);
    for (int i = 0; i < 2; ++i) GrabImage(m.sprites.blade_img, 155 + 57 * i, 1, i);
    for (int i = 0; i < 4; ++i) GrabImage(m.sprites.rocket_img, 155 + 19 * i, 8, i);
    for (int i = 0; i < 10; ++i) GrabImage(m.sprites.tile_img, 1 + 33 * i, 53, i);
    // The intro opens its logo by a name with a capital first letter.
    m.maker_logo = LoadImage("Incbin::owlogo.png", -1);
    MidHandleImage(m.maker_logo);
    return 0;
}
