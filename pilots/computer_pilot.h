#pragma once
// The computer pilot: flies one helicopter through the same pad port a person uses,
// frame by frame, from what the players see on screen. It collects its own pads along
// safe paths (around blocks, or shooting them out of the way), sets down only on its
// pads, floor or its own start pad, keeps its altitude away from rockets coming at it
// and from the other helicopter, and fires when the other helicopter is lined up and at
// a hittable altitude.
//
// The three skills fly by the same rules; they differ in how late they notice things,
// how fast and how close to blocks they dare to fly, and how well they aim.
#include <array>
#include <cstdint>
#include <vector>

#include "sim/frame_input.h"
#include "sim/game_state.h"
#include "pilots/pilot_arena.h"
#include "pilots/pilot_flight.h"
#include "sim/random.h"
#include "sim/world.h"

enum class PilotSkill { easy, normal, hard };

class ComputerPilot {
public:
    // Flies helicopter `index` (0 Blue, 1 Red); its own random choices come from its
    // own generator seeded with `seed` (never the game's generator).
    ComputerPilot(int index, PilotSkill skill, uint32_t seed);
    // The pad it holds for the next frame, from the state as it stands after the last
    // frame (what the players see on screen). Only reads; no extra powers.
    PortInput next(const World& w, const Game& g);

    int index() const { return index_; }
    PilotSkill skill() const { return skill_; }

private:
    struct Goal {
        float x = 0, y = 0;
        bool stop = false;       // come to rest there (else pass through)
        bool land = false;       // set down there
        int shoot_cell = -1;     // a block in the way to shoot out first
        bool pass_over = false;  // the other helicopter is in the way
    };
    struct SeenRocket {
        float x, y, dir;
        int alt, id, age;
    };
    struct Band {  // altitudes to keep out of, from `soon` frames on
        int lo, hi, soon;
        bool ground_ok;  // a landed helicopter is safe from it
    };

    // What it sees: the other helicopter as it was some frames ago, rockets by age.
    void observe(const World& w);
    const player_tag& enemy_seen_ago(int frames) const;
    const player_tag& enemy_as_seen() const;  // as late as it notices things
    int close_watch_delay() const;            // a helicopter close by is watched closer
    int parting() const;  // the height apart from which the other's cell is no wall
    // Where to go: a pad, or the other helicopter when ahead on score.
    bool hunting(const World& w) const;
    Goal choose_goal(const World& w);
    // How high: the wanted height, then the height stick, kept out of what threatens.
    int wanted_altitude(const World& w, const Goal& goal);
    int choose_altitude(const World& w, const Goal& goal, bool can_land_here);
    void add_threats(const World& w, std::vector<Band>& bands) const;
    // The other sticks: turn toward the target, move without ever being unable to
    // stop short of a block.
    float heading_goal(const World& w, const Goal& goal) const;
    int turn_input(const PilotMotion& now, float target, float speed) const;
    void planar_input(const PilotMotion& now, const Goal& goal, int& turn, int& slide, int& forward) const;
    bool safe_after(const PilotMotion& now, int turn, int slide, int forward, float margin) const;
    // Fire: only a shot its own picture of the flight says will hit.
    bool fire_at_enemy(const World& w, const PilotMotion& next, int rocket_alt) const;
    bool fire_at_block(const PilotMotion& next, int cell) const;

    int index_;
    PilotSkill skill_;
    Rng rng_;

    PilotArena arena_;
    PilotArena::Field hunt_field_{};  // the costs of the way to the other helicopter
    int pad_ = -1;                    // the cell of the pad it flies to
    int carrot_cell_ = -1;            // the cell of its way it flies straight for
    int round_seen_ = -1;    // the round it chose its cruising height for
    int cruise_ = 8;         // the height it flies at, chosen each round
    int ground_frames_ = 0;  // frames on the ground so far
    int pass_side_ = 0;      // passing the other helicopter: 1 over it, -1 under it

    // What it has seen: the other helicopter over the last frames, rockets by age.
    static constexpr int kMemory = 32;
    std::array<player_tag, kMemory> enemy_seen_{};
    int seen_frames_ = 0;
    std::vector<SeenRocket> rockets_;
    std::vector<SeenRocket> rockets_before_;
    std::vector<Band> bands_;  // this frame's heights to keep out of

    bool fire_held_ = false;
};
