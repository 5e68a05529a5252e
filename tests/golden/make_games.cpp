// Writes the input scripts of the golden games: two pads, each flown by a simple pilot
// that collects its pads, chases the other helicopter, sets down where it should not
// and flies at random by turns; pauses, menu clicks, game over and back to the title.
//
// The game is stepped here frame by frame, as the program steps it, and every change of
// input is written as a script line one frame ahead (an action at frame N is read by
// frame N + 1). The scripts are data: the golden traces are recorded from them with
// whichever build is the reference (see golden_run_test.cpp).
//
// Usage: golden_make_games FIRST_SEED COUNT OUTDIR
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "sim/step.h"
#include "sim/maths.h"

namespace {

constexpr int kMaxFrames = 16000;

// The devices as the program would find them, and the script lines that set them.
struct Devices {
    FrameInput now;  // pads, pointer
    std::vector<std::string> lines;
    int mouse_up_at = -1;  // the frame whose flip lets the button go

    void line(int frame, const std::string& text) { lines.push_back('f' + std::to_string(frame) + " " + text); }

    void set_axis(int frame, int port, int axis, float v) {
        if (now.port[port].axis[axis] == v) return;
        now.port[port].axis[axis] = v;
        static const char* names = "xyzr";
        char buf[64];
        std::snprintf(buf, sizeof buf, "pad%d %c %.1f", port, names[axis], double(v));
        line(frame, buf);
    }
    void set_button(int frame, int port, int b, bool down) {
        bool is = now.port[port].buttons >> b & 1;
        if (is == down) return;
        now.port[port].buttons ^= 1u << b;
        line(frame, "pad" + std::to_string(port) + " b" + std::to_string(b) + (down ? " down" : " up"));
    }
    uint8_t clicks = 0, esc = 0, space = 0;  // presses the next frame reads

    // A left click at a place, read by the next frame; the button goes up a frame later.
    bool click(int frame, int x, int y) {
        if (frame <= mouse_up_at) return false;
        if (now.mouse_x != x || now.mouse_y != y) {
            line(frame, "mouse move " + std::to_string(x) + " " + std::to_string(y));
            now.mouse_x = x;
            now.mouse_y = y;
        }
        line(frame, "mouse left down");
        line(frame + 1, "mouse left up");
        mouse_up_at = frame + 1;
        clicks = 1;
        return true;
    }
    void key(int frame, const char* name) {
        line(frame, std::string("key ") + name + " down");
        line(frame + 1, std::string("key ") + name + " up");
        if (std::string(name) == "esc") esc = 1;
        else space = 1;
    }
    // What the next frame reads: the devices as they stand and the presses made.
    FrameInput take_input() {
        FrameInput in = now;
        in.clicks = clicks;
        in.esc = esc;
        in.space = space;
        clicks = esc = space = 0;
        return in;
    }
};

enum class Mode { collect, chase, crash, wild, rest };

// One helicopter's pilot: where it wants to be, and the sticks that take it there.
class Pilot {
public:
    // A collector mostly flies to its pads; the others also chase, crash and play.
    Pilot(int index, std::mt19937& rng, bool collector) : index_(index), rng_(rng), collector_(collector) {}

    // After three rounds a collector starts taking risks too, so the game ends.
    void new_round(int round) {
        if (round > 3) collector_ = false;
        mode_ = Mode::rest;
        mode_frames_ = 0;
    }

    // The pad inputs for the next frame.
    void decide(const World& w, float axes[4], bool& fire) {
        const player_tag& h = w.player[index_];
        if (--mode_frames_ <= 0) pick_mode(w);
        for (int a = 0; a < 4; ++a) axes[a] = 0;
        fire = false;
        if (mode_ == Mode::wild) {
            if (--wild_hold_ <= 0) {
                std::uniform_int_distribution<int> d(-1, 1);
                for (float& a : wild_) a = float(d(rng_));
                if (wild_[AXIS_Y] > 0 && h.alt < 15) wild_[AXIS_Y] = -1;
                wild_hold_ = std::uniform_int_distribution<int>(5, 40)(rng_);
            }
            for (int a = 0; a < 4; ++a) axes[a] = wild_[a];
            fire = h.rocket_ctr == 0 && std::uniform_int_distribution<int>(0, 30)(rng_) == 0;
            return;
        }
        int cruise = cruise_;
        if (mode_ == Mode::chase) {
            const player_tag& e = w.player[1 - index_];
            target_ = e.pos;
            cruise = std::clamp(e.alt, 4, 45);
        }
        if (target_ < 0 || (h.alt == 0 && h.pos == target_)) return;
        // Keep the nose still: counter any turn.
        if (h.rstp > 0.05f) axes[AXIS_X] = -1;
        if (h.rstp < -0.05f) axes[AXIS_X] = 1;
        if (h.alt == 0) {
            axes[AXIS_Y] = -1;
            return;
        }
        std::vector<int> path = route(w, h.pos, target_);
        int here = h.pos, next = path.size() > 1 ? path[1] : here;
        float wx = float(w.level[next].x), wy = float(w.level[next].y);
        float dx = wx - h.x, dy = wy - h.y;
        // The wanted speed over the ground, turned into the helicopter's own axes.
        float vx = std::clamp(dx * 0.05f, -0.8f, 0.8f), vy = std::clamp(dy * 0.05f, -0.8f, 0.8f);
        double r = h.rotation;
        float want_elv = float(-Sin(r) * vx + Cos(r) * vy);
        float want_ail = float(Cos(r) * vx + Sin(r) * vy);
        axes[AXIS_R] = steer(h.elv, want_elv);
        axes[AXIS_Z] = steer(h.ail, want_ail);
        bool settled = std::abs(dx) < 2 && std::abs(dy) < 2 && std::abs(h.ail) < 0.05f && std::abs(h.elv) < 0.05f;
        bool at_target = here == target_ && next == here;
        if (h.alt < cruise && !(at_target && settled)) axes[AXIS_Y] = -1;
        if (h.alt > cruise + 2 && !at_target) axes[AXIS_Y] = 1;
        if (at_target && settled && mode_ != Mode::chase) axes[AXIS_Y] = 1;  // down onto it
        // Rockets for a block in the way and for the other helicopter in line.
        if (h.rocket_ctr == 0 && !fired_last_) {
            if (w.level[next].tile == TILE_BLOCK) fire = true;
            if (enemy_in_line(w, h)) fire = true;
        }
        fired_last_ = fire;
    }

private:
    void pick_mode(const World& w) {
        std::discrete_distribution<int> d = collector_ ? std::discrete_distribution<int>({12.0, 0.6, 0.2, 0.3, 0.2})
                                                       : std::discrete_distribution<int>({index_ == 0 ? 6.0 : 4.0, 2.0, 1.0, 1.5, 0.5});
        mode_ = Mode(d(rng_));
        mode_frames_ = std::uniform_int_distribution<int>(120, 700)(rng_);
        cruise_ = std::uniform_int_distribution<int>(6, 30)(rng_);
        const int own = index_ == 0 ? TILE_BLUE_PAD : TILE_RED_PAD;
        if (mode_ == Mode::collect) target_ = nearest(w, own);
        if (mode_ == Mode::crash) target_ = nearest(w, TILE_VOID);
        if (target_ < 0 && mode_ != Mode::chase) mode_ = Mode::wild;
    }

    bool enemy_in_line(const World& w, const player_tag& h) const {
        const player_tag& e = w.player[1 - index_];
        if (e.alt == 0 || std::abs(e.alt - h.alt) > HIT_WINDOW) return false;
        double fx = Sin(h.rotation), fy = -Cos(h.rotation);
        double ex = e.x - h.x, ey = e.y - h.y;
        double along = ex * fx + ey * fy, across = std::abs(ex * fy - ey * fx);
        return along > 20 && along < 300 && across < 12;
    }

    // Full stick while the speed is well off the wanted one.
    static float steer(float speed, float want) {
        if (speed < want - 0.08f) return 1;
        if (speed > want + 0.08f) return -1;
        return 0;
    }

    int nearest(const World& w, int tile) const {
        int best = -1;
        size_t best_len = 9999;
        for (int c = 0; c < MAP_CELLS; ++c) {
            if (w.level[c].tile != tile) continue;
            std::vector<int> p = route(w, w.player[index_].pos, c);
            if (!p.empty() && p.size() < best_len) best = c, best_len = p.size();
        }
        return best;
    }

    // Breadth-first over cells, around blocks.
    static std::vector<int> route(const World& w, int from, int to) {
        std::array<int, MAP_CELLS> prev;
        prev.fill(-2);
        std::deque<int> queue{from};
        prev[from] = -1;
        while (!queue.empty()) {
            int c = queue.front();
            queue.pop_front();
            if (c == to) break;
            const int steps[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
            for (const auto& s : steps) {
                int col = c % MAP_COLS + s[0], row = c / MAP_COLS + s[1];
                if (col < 0 || col >= MAP_COLS || row < 0 || row >= MAP_ROWS) continue;
                int n = row * MAP_COLS + col;
                if (prev[n] != -2 || (w.level[n].tile == TILE_BLOCK && n != to)) continue;
                prev[n] = c;
                queue.push_back(n);
            }
        }
        if (prev[to] == -2) return {};
        std::vector<int> path;
        for (int c = to; c != -1; c = prev[c]) path.insert(path.begin(), c);
        return path;
    }

    int index_;
    std::mt19937& rng_;
    bool collector_;
    Mode mode_ = Mode::rest;
    int mode_frames_ = 0;
    int target_ = -1;
    int cruise_ = 12;
    bool fired_last_ = false;
    float wild_[4] = {0, 0, 0, 0};
    int wild_hold_ = 0;
};

struct Made {
    std::vector<std::string> lines;
    int frames = 0;
    int game_overs = 0;
};

Made make(int seed) {
    std::mt19937 rng(uint32_t(seed) * 7919u);
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto between = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
    World w = new_world(seed);
    Game g = new_game_state(2);
    FrameResult out;
    out.draw = false;
    Devices dev;
    dev.now.pad_count = 2;
    dev.now.mouse_x = 320;  // where the window put the pointer
    dev.now.mouse_y = 240;
    bool collectors = chance(0.3);
    Pilot pilots[2] = {Pilot(0, rng, collectors), Pilot(1, rng, collectors)};
    int games_wanted = between(1, 2), game_overs = 0;
    int intro_cut = chance(0.5) ? between(20, 300) : -1;
    int screen_since = 0;
    GameState last_state = g.game_state;
    PlayPhase last_phase = g.play_phase;
    bool flushed = false;
    uint32_t flush_buttons = 0;
    uint8_t flush_presses[PAD_BUTTONS] = {};
    int frame = 0;
    while (frame < kMaxFrames) {
        // The input of frame + 1, written at frame.
        FrameInput in;
        bool reads = g.after != AfterPresent::round_start;
        if (reads) {
            if (g.game_state != last_state || g.play_phase != last_phase) {
                screen_since = 0;
                if (g.game_state == GameState::play && g.play_phase == PlayPhase::running)
                    for (Pilot& p : pilots) p.new_round(g.round_no);
            }
            last_state = g.game_state;
            last_phase = g.play_phase;
            ++screen_since;
            bool flying = g.game_state == GameState::play && g.play_phase == PlayPhase::running;
            if (!flying) {
                for (int p = 0; p < 2; ++p) {
                    for (int a = 0; a < 4; ++a) dev.set_axis(frame, p, a, 0);
                    for (int b : {0, 6, 7}) dev.set_button(frame, p, b, false);
                }
            }
            dev.set_button(frame, 0, 1, false);
            switch (g.game_state) {
                case GameState::intro:
                    if (frame == intro_cut) dev.click(frame, 320, 250);
                    break;
                case GameState::title:
                    if (screen_since == 15 && game_overs >= games_wanted) {
                        dev.key(frame, "esc");
                    } else if (screen_since == 10 && chance(0.4)) {
                        dev.click(frame, 320, std::array<int, 3>{290, 330, 370}[between(0, 2)]);
                    } else if (screen_since == 20) {
                        dev.click(frame, 320, 250);
                    }
                    break;
                case GameState::pause:
                    if (screen_since == 25) {
                        switch (std::discrete_distribution<int>({3, 2, 2, 1, 1, 0.4, 0.3})(rng)) {
                            case 0: dev.key(frame, "space"); break;
                            case 1:
                                dev.set_button(frame, 0, 1, true);
                                break;
                            case 2: dev.click(frame, 320, 250); break;
                            case 3: dev.click(frame, 320, 330); break;
                            case 4: dev.click(frame, 320, 370); break;
                            case 5: dev.click(frame, 320, 410); break;
                            default: dev.key(frame, "esc"); break;
                        }
                    } else if (screen_since == 30) {
                        dev.key(frame, "space");
                    }
                    break;
                case GameState::play:
                    if (flying && screen_since > 30 && chance(0.0007)) {
                        switch (between(0, 2)) {
                            case 0: dev.key(frame, "space"); break;
                            case 1: dev.key(frame, "esc"); break;
                            default:
                                dev.set_button(frame, 0, 1, true);
                                break;
                        }
                    } else if (flying) {
                        for (int p = 0; p < 2; ++p) {
                            float axes[4];
                            bool fire;
                            pilots[p].decide(w, axes, fire);
                            for (int a = 0; a < 4; ++a) dev.set_axis(frame, p, a, axes[a]);
                            // Pad 0's buttons 0 and 1 would hold up the input flush at game
                            // over, so Blue fires with its shoulder buttons.
                            int b = p == 0 ? 6 + frame % 2 : std::array<int, 3>{0, 6, 7}[frame % 3];
                            for (int other : {0, 6, 7}) {
                                if (other != b) dev.set_button(frame, p, other, false);
                            }
                            dev.set_button(frame, p, b, fire);
                        }
                    }
                    break;
                default:
                    break;
            }
        }
        in = dev.take_input();
        if (flushed && reads) {
            in.flushed = true;
            in.flush_buttons = flush_buttons;
            std::copy(std::begin(flush_presses), std::end(flush_presses), std::begin(in.flush_presses));
            flushed = false;
        }
        GameState before = g.game_state;
        step(w, g, in, out);
        ++frame;
        if (out.ended) break;
        if (before != GameState::over && g.game_state == GameState::over) ++game_overs;
        for (const FrameEvent& e : out.events.list) {
            if (e.kind == FrameEvent::Kind::warp_pointer) {
                dev.now.mouse_x = e.x;
                dev.now.mouse_y = e.y;
            }
            if (e.kind == FrameEvent::Kind::flush_wait) {
                // The flush reads pad 0 once and ends: no button it waits for is held.
                uint32_t buttons = dev.now.port[0].buttons;
                uint32_t went_down = buttons & ~g.pads.port[0].seen;
                flushed = true;
                flush_buttons = buttons;
                for (int b = 0; b < PAD_BUTTONS; ++b) flush_presses[b] = b >= 2 && (went_down >> b & 1);
            }
        }
    }
    return Made{dev.lines, frame, game_overs};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: golden_make_games FIRST_SEED COUNT OUTDIR\n");
        return 2;
    }
    int first = std::atoi(argv[1]), count = std::atoi(argv[2]);
    for (int seed = first; seed < first + count; ++seed) {
        Made m = make(seed);
        char name[64];
        std::snprintf(name, sizeof name, "game%03d", seed);
        std::ofstream out(std::string(argv[3]) + "/" + name + ".txt");
        out << "# Golden game, seed " << seed << ": " << m.frames << " frames, " << m.game_overs
            << " game(s) to the end.\n# Written by golden_make_games; do not edit by hand.\npads 2\n";
        for (const std::string& line : m.lines) out << line << "\n";
        std::printf("%s --seed %d --script tests/golden/scripts/%s.txt --frames %d\n", name, seed, name, m.frames);
    }
    return 0;
}
