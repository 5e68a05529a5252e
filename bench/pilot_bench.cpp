// The computer pilot over many arenas: the game stepped in-process without drawing,
// started from the title as a player starts it. Prints figures; asserts nothing.
//
//   alone:   against an idle enemy, the rounds it wins (all five pads), the frames they
//            take and the batteries it loses per game, for each skill and side;
//   versus:  whole games between two computer pilots: who wins, and whether every game
//            reaches game over within the frame cap (a game that does not is a stall);
//   cost:    the time one call of the pilot takes.
//
// Usage: whirlbat_pilot_bench [SEEDS] [alone|versus|all]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "pilots/computer_pilot.h"
#include "sim/step.h"

namespace {

constexpr int kRoundsAlone = 3;          // rounds per game against an idle enemy
constexpr int kRoundCap = 6000;          // running frames a round alone may take
constexpr long kGameCap = 300000;        // frames a whole game between pilots may take

const char* skill_name(PilotSkill s) {
    switch (s) {
        case PilotSkill::easy: return "easy";
        case PilotSkill::normal: return "normal";
        default: return "hard";
    }
}

struct Cost {
    double total_us = 0, worst_us = 0;
    long calls = 0, over_100us = 0;
    std::vector<float> samples;
};

// One run of the program's rules, with a computer pilot on either port or neither.
struct Run {
    World w;
    Game g;
    FrameInput in;
    FrameResult out;
    std::optional<ComputerPilot> pilot[2];
    Cost* cost = nullptr;
    long frames = 0;

    explicit Run(int seed) : w(new_world(seed)), g(new_game_state(2)) {
        out.draw = false;
        in.pad_count = 2;
        in.mouse_x = 320;
        in.mouse_y = 240;
    }

    void frame() {
        bool reads = g.after != AfterPresent::round_start;
        if (reads) {
            for (int i = 0; i < 2; ++i) {
                if (!pilot[i]) continue;
                auto t0 = std::chrono::steady_clock::now();
                in.port[i] = pilot[i]->next(w, g);
                auto t1 = std::chrono::steady_clock::now();
                if (cost && g.game_state == GameState::play && g.play_phase == PlayPhase::running) {
                    double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
                    cost->total_us += us;
                    cost->worst_us = std::max(cost->worst_us, us);
                    cost->over_100us += us > 100;
                    ++cost->calls;
                    cost->samples.push_back(float(us));
                }
            }
        }
        step(w, g, in, out);
        ++frames;
        if (reads) in.clicks = in.esc = in.space = 0;
        for (const FrameEvent& e : out.events.list) {
            if (e.kind == FrameEvent::Kind::warp_pointer) in.mouse_x = e.x, in.mouse_y = e.y;
        }
    }

    void click(int x, int y) {
        in.mouse_x = x;
        in.mouse_y = y;
        in.clicks = 1;
        frame();
    }

    // Through the logo (cut short by a click) to the title, then "Start Game".
    bool start_game() {
        frame();
        click(320, 240);
        if (g.game_state != GameState::title) return false;
        click(320, 245);
        return g.game_state == GameState::play;
    }
};

double median(std::vector<int> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

struct AloneFigures {
    int rounds = 0, won = 0, games = 0, lost_batteries = 0, worst_losses = 0;
    std::vector<int> frames;
};

// One game per seed: the pilot flies `kRoundsAlone` rounds while the other helicopter
// sits on its start pad.
void alone(int seeds, PilotSkill skill, int index, AloneFigures& f, Cost& cost) {
    for (int seed = 1; seed <= seeds; ++seed) {
        Run r(seed);
        r.cost = &cost;
        if (!r.start_game()) {
            std::fprintf(stderr, "seed %d: the game did not start\n", seed);
            continue;
        }
        r.pilot[index].emplace(index, skill, uint32_t(seed) * 2654435761u);
        ++f.games;
        int losses = 0;
        for (int round = 1; round <= kRoundsAlone; ++round) {
            while (r.g.game_state == GameState::play && r.g.play_phase != PlayPhase::running) r.frame();
            if (r.g.game_state != GameState::play) break;
            ++f.rounds;
            int running = 0;
            while (r.g.game_state == GameState::play && r.g.play_phase == PlayPhase::running && running < kRoundCap) {
                int battery = r.w.player[index].battery;
                r.frame();
                ++running;
                if (r.w.player[index].battery < battery) ++losses;
            }
            bool won = r.w.player[index].pads == 0;
            if (won) {
                ++f.won;
                f.frames.push_back(running);
            }
            if (!won || r.g.game_state != GameState::play) break;
        }
        f.lost_batteries += losses;
        f.worst_losses = std::max(f.worst_losses, losses);
    }
}

struct VersusFigures {
    int games = 0, first_wins = 0, second_wins = 0, ties = 0, stalls = 0;
    long frames = 0;
    int rounds = 0;
    int crashes[2] = {}, hits_taken[2] = {}, collisions = 0;  // [0] the first skill
};

// Why a helicopter lost a battery in the last frame: both at once in one cell is a
// collision, one with a rocket of the other's gone is a hit, anything else its own crash.
enum class Loss { none, crash, hit, collision };
Loss loss_of(const World& before, const World& after, int i) {
    if (after.player[i].battery >= before.player[i].battery) return Loss::none;
    if (after.player[1 - i].battery < before.player[1 - i].battery && after.player[0].pos == after.player[1].pos)
        return Loss::collision;
    auto rockets_of = [](const World& w, int id) {
        return std::count_if(w.rocket_list.begin(), w.rocket_list.end(), [&](const rocket_tag& r) { return r.id == id; });
    };
    return rockets_of(after, 1 - i) < rockets_of(before, 1 - i) ? Loss::hit : Loss::crash;
}

// Whole games between two pilots; the first skill flies Blue in odd seeds, Red in even.
void versus(int seeds, PilotSkill first, PilotSkill second, VersusFigures& f, Cost& cost) {
    for (int seed = 1; seed <= seeds; ++seed) {
        Run r(1000 + seed);
        r.cost = &cost;
        if (!r.start_game()) continue;
        int a = seed % 2 ? 0 : 1;
        r.pilot[a].emplace(a, first, uint32_t(seed) * 40503u + 1);
        r.pilot[1 - a].emplace(1 - a, second, uint32_t(seed) * 40503u + 2);
        ++f.games;
        long start = r.frames;
        World before;
        while (r.g.game_state == GameState::play && r.frames - start < kGameCap) {
            before = r.w;
            r.frame();
            for (int i = 0; i < 2; ++i) {
                int who = i == a ? 0 : 1;
                switch (loss_of(before, r.w, i)) {
                    case Loss::crash: ++f.crashes[who]; break;
                    case Loss::hit: ++f.hits_taken[who]; break;
                    case Loss::collision: f.collisions += i == 0; break;
                    default: break;
                }
            }
        }
        if (r.g.game_state != GameState::over) {
            ++f.stalls;
            continue;
        }
        f.frames += r.frames - start;
        f.rounds += r.g.round_no;
        int sa = r.w.player[a].score, sb = r.w.player[1 - a].score;
        if (sa > sb) ++f.first_wins;
        else if (sb > sa) ++f.second_wins;
        else ++f.ties;
    }
}

// The worst calls on a shared machine are mostly the machine: the 99.9th percentile
// and the count over 0.1 ms tell more.
void print_cost(const char* what, Cost& c) {
    std::sort(c.samples.begin(), c.samples.end());
    auto pct = [&](double p) { return c.samples.empty() ? 0.0 : double(c.samples[size_t(p * (c.samples.size() - 1))]); };
    std::printf("  pilot call (%s): mean %.2f us, median %.2f us, 99.9 %% %.1f us, worst %.1f us, "
                "%ld of %ld calls over 100 us\n",
                what, c.calls ? c.total_us / c.calls : 0.0, pct(0.5), pct(0.999), c.worst_us, c.over_100us, c.calls);
}

}  // namespace

int main(int argc, char** argv) {
    int seeds = argc > 1 ? std::atoi(argv[1]) : 100;
    std::string mode = argc > 2 ? argv[2] : "all";
    if (seeds <= 0 || (mode != "alone" && mode != "versus" && mode != "all")) {
        std::fprintf(stderr, "usage: whirlbat_pilot_bench [SEEDS] [alone|versus|all]\n");
        return 2;
    }
    const PilotSkill skills[3] = {PilotSkill::easy, PilotSkill::normal, PilotSkill::hard};
    if (mode != "versus") {
        std::printf("Alone against an idle enemy, %d seeds, up to %d rounds a game, %d frames a round:\n", seeds,
                    kRoundsAlone, kRoundCap);
        for (PilotSkill s : skills) {
            for (int index = 0; index < 2; ++index) {
                AloneFigures f;
                Cost cost;
                alone(seeds, s, index, f, cost);
                std::printf("  %-6s as %-4s: won %d of %d rounds (%.1f %%), median %.0f frames, worst %d; "
                            "batteries lost %.2f per game (worst %d)\n",
                            skill_name(s), index == 0 ? "Blue" : "Red", f.won, f.rounds,
                            f.rounds ? 100.0 * f.won / f.rounds : 0.0, median(f.frames),
                            f.frames.empty() ? 0 : *std::max_element(f.frames.begin(), f.frames.end()),
                            f.games ? double(f.lost_batteries) / f.games : 0.0, f.worst_losses);
                print_cost(skill_name(s), cost);
            }
        }
    }
    if (mode != "alone") {
        std::printf("Whole games between two pilots, %d seeds, cap %ld frames a game:\n", seeds, kGameCap);
        const PilotSkill pairs[][2] = {{PilotSkill::hard, PilotSkill::easy},     {PilotSkill::normal, PilotSkill::easy},
                                       {PilotSkill::hard, PilotSkill::normal},   {PilotSkill::easy, PilotSkill::easy},
                                       {PilotSkill::normal, PilotSkill::normal}, {PilotSkill::hard, PilotSkill::hard}};
        for (const auto& p : pairs) {
            VersusFigures f;
            Cost cost;
            versus(seeds, p[0], p[1], f, cost);
            int done = f.games - f.stalls;
            std::printf("  %-6s vs %-6s: %s wins %d, %s wins %d, ties %d of %d games (%.1f %% to the first); "
                        "stalls %d; %.0f frames and %.1f rounds a game\n",
                        skill_name(p[0]), skill_name(p[1]), skill_name(p[0]), f.first_wins, skill_name(p[1]),
                        f.second_wins, f.ties, f.games, f.games ? 100.0 * f.first_wins / f.games : 0.0, f.stalls,
                        done ? double(f.frames) / done : 0.0, done ? double(f.rounds) / done : 0.0);
            std::printf("    batteries lost per game: %s %.2f crashes, %.2f hits; %s %.2f crashes, %.2f hits; "
                        "%.2f collisions\n",
                        skill_name(p[0]), double(f.crashes[0]) / f.games, double(f.hits_taken[0]) / f.games,
                        skill_name(p[1]), double(f.crashes[1]) / f.games, double(f.hits_taken[1]) / f.games,
                        double(f.collisions) / f.games);
            print_cost("both", cost);
        }
    }
    return 0;
}
