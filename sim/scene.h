#pragma once
// What a frame shows, noted in order while the rules run: the game draws each thing at
// a point in its frame (the arena after the flight steps, each effect before it moves,
// the menu before a click acts), so the rules leave a copy of what they saw there and
// the frame runner draws those copies afterwards. Drawing never changes the state.
#include <cstdint>
#include <vector>

#include "sim/world.h"

struct HudView {
    int score[2] = {0, 0};
    int battery[2] = {0, 0};
    int round_no = 0;
    bool title = false;  // the version line instead of the batteries
    bool operator==(const HudView&) const = default;
};

struct ArenaView {
    level_tag level[MAP_CELLS];
    player_tag player[2];
    bool operator==(const ArenaView&) const = default;
};

struct SceneOp {
    enum class Kind : uint8_t {
        cls,              // clear the picture
        back,             // the background (i[0]: the pause picture instead)
        hud,              // the HUD bars
        arena,            // the arena and helicopters (i[0]: index into arenas)
        dusts,            // the effects and rockets as noted in the scene's lists
        explodes,
        trails,
        rockets,
        opening,          // the round-opening picture (f[0] spin, f[1] zoom)
        round_start,      // the opening's last picture: HUD, then the arena at 60 %
        closing,          // the round-closing picture (f[0] alpha, f[1] zoom)
        grab_transition,  // the picture becomes the transition picture
        grab_pause,       // the picture becomes the pause background
        menu,             // i: pause, highlighted item, pads, sound level, music level
        pointer,          // i[0], i[1]: the pointer's hot spot
        game_over,        // i[0]: with the prompt
        logo,             // the intro (f[0] alpha; in 3D, i[0] 1, f[1] zoom, f[2] eye offset)
        logo_end,         // the drawing state the intro leaves
    };
    Kind kind = Kind::cls;
    float f[3] = {0, 0, 0};
    int i[5] = {0, 0, 0, 0, 0};
    HudView hud;
    bool operator==(const SceneOp&) const = default;
};

struct Scene {
    std::vector<SceneOp> ops;
    std::vector<ArenaView> arenas;
    std::vector<dust_tag> dusts;
    std::vector<explode_tag> explodes;
    std::vector<trail_tag> trails;
    std::vector<rocket_tag> rockets;

    // Equal scenes draw equal pictures.
    bool operator==(const Scene&) const = default;

    void clear();
    void add(SceneOp::Kind kind) {
        ops.emplace_back();
        ops.back().kind = kind;
    }
    void arena(const World& w);
};
