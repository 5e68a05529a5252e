#include <cstdio>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/harness.h"
#include "app/menus.h"
#include "app/rounds.h"
#include "app/sound.h"
#include "engine/input.h"
#include "engine/random.h"
#include "engine/resources.h"
#include "engine/window.h"
#include "stereo/owdraw.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/level.h"
#include "world/player.h"
#include "world/rocket.h"
#include "world/trail.h"

// The five pictures and the font, assembled into the program (embedded_assets.S).
extern "C" {
extern const unsigned char asset_owlogo_png[], asset_owlogo_png_end[];
extern const unsigned char asset_armalite_ttf[], asset_armalite_ttf_end[];
extern const unsigned char asset_dmpointer_png[], asset_dmpointer_png_end[];
extern const unsigned char asset_whirlbat_01_png[], asset_whirlbat_01_png_end[];
extern const unsigned char asset_whirlbat_02_png[], asset_whirlbat_02_png_end[];
}

namespace {

struct EffectFile {
    Sound* sound;
    const char* file;
};

const EffectFile kEffects[] = {
    {&snd_start, "data\\start.ogg"},       {&snd_explode, "data\\explode.ogg"},
    {&snd_brocket, "data\\brocket.ogg"},   {&snd_rrocket, "data\\rrocket.ogg"},
    {&snd_land, "data\\land.ogg"},         {&snd_death, "data\\death.ogg"},
    {&snd_blulead, "data\\blulead.ogg"},   {&snd_redlead, "data\\redlead.ogg"},
    {&snd_bluwin, "data\\bluwin.ogg"},     {&snd_redwin, "data\\redwin.ogg"},
    {&snd_tied, "data\\tied.ogg"},         {&snd_detectgb, "data\\detectgb.ogg"},
    {&snd_newmap, "data\\newmap.ogg"},
};

const char* const kMusicFiles[] = {"data\\titletrack.ogg", "data\\playtrack.ogg"};

}  // namespace

void register_assets() {
    IncbinAdd("owlogo.png", asset_owlogo_png, size_t(asset_owlogo_png_end - asset_owlogo_png));
    IncbinAdd("armalite.ttf", asset_armalite_ttf, size_t(asset_armalite_ttf_end - asset_armalite_ttf));
    IncbinAdd("dmpointer.png", asset_dmpointer_png, size_t(asset_dmpointer_png_end - asset_dmpointer_png));
    IncbinAdd("whirlbat_01.png", asset_whirlbat_01_png, size_t(asset_whirlbat_01_png_end - asset_whirlbat_01_png));
    IncbinAdd("whirlbat_02.png", asset_whirlbat_02_png, size_t(asset_whirlbat_02_png_end - asset_whirlbat_02_png));
}

namespace {

// The game runs without a missing sound; one line says which files are missing.
void report_missing_data() {
    std::string missing;
    auto check = [&](const char* file) {
        if (UrlExists(file)) return;
        std::string shown = file;
        shown[4] = '/';  // "data\\x.ogg" as this system writes it
        missing += (missing.empty() ? "" : ", ") + shown;
    };
    for (const EffectFile& e : kEffects) check(e.file);
    for (const char* file : kMusicFiles) check(file);
    if (!missing.empty()) {
        std::string looked;
        for (const std::string& folder : DataFolders()) looked += (looked.empty() ? "" : ", ") + folder;
        std::fprintf(stderr, "rc-whirlbat: missing sound files (the game goes on without them): %s; looked in %s\n",
                     missing.c_str(), looked.c_str());
    }
}

bool round_running() { return play_phase == 1; }

void reset_done(int new_game) {
    if (new_game) round_no = 1;
    if (game_state == STATE_PLAY) {
        grab_arena(0.1f);
        play_phase = 0;
        draw_back();
        draw_hud();
    }
}

void enter_pause() {
    game_state = STATE_PAUSE;
    GrabImage(pause_img, 0, 0, 0);
    MoveMouse(320, 245);
    play_music(1);
    FlushKeys();
    FlushMouse();
}

void run_state() {
    switch (game_state) {
        case STATE_PLAY: play_frame(); break;
        case STATE_PAUSE:
        case STATE_TITLE: menu_frame(); break;
        case STATE_OVER: over_frame(); break;
        default: break;
    }
}

}  // namespace

void create_images() {
    hud_img = CreateImage(640, 32, 1, -1);
    pause_img = CreateImage(640, 480, 1, -1);
    AutoMidHandle(1);
    logo_img = CreateImage(378, 145, 1, -1);
    heli_img = CreateImage(18, 49, 8, -1);
    blade_img = CreateImage(56, 4, 2, -1);
    rocket_img = CreateImage(18, 8, 4, -1);
    tile_img = CreateImage(32, 32, 10, -1);
    trans_img = CreateImage(640, 480, 1, -1);
    AutoMidHandle(0);
}

int load_media() {
    game_font = LoadImageFont("incbin::armalite.ttf", 24, SMOOTHFONT);
    SetImageFont(game_font);
    back_img = LoadImage("incbin::whirlbat_02.png", -1);
    pointer_img = LoadImage("incbin::dmpointer.png", -1);
    Image sheet = LoadImage("incbin::whirlbat_01.png", -1);
    Cls();
    DrawImage(sheet, 0, 0);
    GrabImage(logo_img, 0, 87, 0);
    GrabImage(hud_img, 0, 240, 0);
    for (int i = 0; i < 8; ++i) GrabImage(heli_img, 1 + 19 * i, 1, i);
    for (int i = 0; i < 2; ++i) GrabImage(blade_img, 155 + 57 * i, 1, i);
    for (int i = 0; i < 4; ++i) GrabImage(rocket_img, 155 + 19 * i, 8, i);
    for (int i = 0; i < 10; ++i) GrabImage(tile_img, 1 + 33 * i, 53, i);
    for (const EffectFile& e : kEffects) {
        *e.sound = LoadSound(e.file, 0);
        std::string stem = std::string(e.file).substr(5);  // "data\\" off
        name_sfx(e.sound, stem.substr(0, stem.size() - 4));
    }
    preload_music();
    return 0;
}

int draw_back() {
    Cls();
    if (game_state == STATE_PAUSE) {
        // The still picture of the arena, tinted dark blue.
        SetColor(50, 50, 100);
        SetBlend(MASKBLEND);
        DrawImage(pause_img, 0, 0);
    } else {
        SetColor(255, 255, 255);
        draw3d.sip(ALPHABLEND, 0.6f, 0, 1, 1);
        DrawImage(back_img, 0, 0);
    }
    return 0;
}

int check_keys() {
    if (KeyHit(27)) {
        switch (game_state) {
            case STATE_TITLE:
                quit_game = 1;
                break;
            case STATE_PAUSE:
                game_state = STATE_TITLE;
                MoveMouse(320, 245);
                FlushKeys();
                FlushMouse();
                break;
            case STATE_PLAY:
                enter_pause();
                break;
            default:
                break;
        }
    }
    // This sees the state the Escape test left: Escape and Space in one frame of play
    // pause and at once resume.
    if (KeyHit(32) || JoyHit(1, 0)) {
        if (game_state == STATE_PLAY) {
            enter_pause();
        } else if (game_state == STATE_PAUSE) {
            game_state = STATE_PLAY;
            play_music(2);
            FlushMouse();
            FlushKeys();
        }
    }
    if (AppTerminate()) quit_game = 1;
    return 0;
}

int check_focus() {
    if (!AppSuspended()) return 0;
    bool paused_here = false;
    if (ChannelPlaying(music_chn)) {
        PauseChannel(music_chn);
        paused_here = true;
    }
    // Nothing is drawn and nothing advances while the window is inactive; a quit ends the wait.
    while (AppSuspended() && !quit_game && !AppQuitPending()) Delay(1);
    if (AppQuitPending()) quit_game = 1;
    if (paused_here) ResumeChannel(music_chn);
    return 0;
}

void start_game() {
    register_assets();
    AppTitle("RC Whirlbat");
    pads_found = JoyCount();
    if (!Graphics(640, 480, 32, 60, 2)) {
        std::fprintf(stderr,
                     "rc-whirlbat: no display could be opened (%s); run it on a desktop, or with "
                     "--headless to play without a screen\n",
                     GraphicsError().c_str());
        EndWithCode(1);
    }
    SetMaskColor(0, 0, 0);
    AutoImageFlags(MASKEDIMAGE | DYNAMICIMAGE);
    draw3d = owdraw_tag{};
    for (level_tag& cell : level) cell = level_tag{};
    player[0] = player[1] = player_tag{};
    clear_fx();
    create_images();
    static const char* const volumes[11] = {"Off", "10%", "20%", "30%", "40%", "50%",
                                            "60%", "70%", "80%", "90%", "Max"};
    for (int i = 0; i < 11; ++i) vol_txt[i] = volumes[i];
    static const char* const items[5] = {"Start Game", "Detect Game Pads: ", "Sound Volume: ",
                                         "Music Volume: ", "Exit Game"};
    for (int i = 0; i < 5; ++i) menu_txt[i] = items[i];
    music_chn = AllocChannel();
    HideMouse();
    SeedRnd(start_seed());
    world_link.play_sfx = [](const Sound& s) { play_sfx(s); };
    world_link.round_running = round_running;
    world_link.reset_done = reset_done;
    player_tag::init();
    level_tag::map_init();
    report_missing_data();
    load_media();
    show_logo(-25);
    player_tag::reset(1);
    game_state = STATE_TITLE;
    play_music(1);
    MoveMouse(320, 245);
}

void game_frame() {
    draw_back();
    run_state();
    draw_hud();
    Flip(-1);
    check_keys();
    check_focus();
}

void shut_down() {
    if (ChannelPlaying(music_chn)) {
        StopChannel(music_chn);
        Delay(500);
    }
    End();
}

void run_game() {
    start_game();
    // The loop body runs at least once: closing the window during the intro still
    // shows one title frame.
    do {
        game_frame();
    } while (!quit_game);
    shut_down();
}
