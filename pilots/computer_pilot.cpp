#include "pilots/computer_pilot.h"

#include <algorithm>
#include <cmath>

#include "pilots/pilot_flight.h"
#include "sim/level.h"
#include "sim/maths.h"
#include "sim/trig.h"

namespace {

// How a skill flies. Every skill obeys the same rules; these are its habits.
struct Traits {
    int reaction;       // frames before it notices a new rocket or what the enemy did
    float top_speed;    // pixels per frame it lets itself fly
    float brake_plan;   // speed it plans to lose per frame when stopping (0.03 at most)
    int settle;         // frames it sits after setting down before it takes off again
    float margin;       // pixels it keeps between its ground point and a block cell
    float turn_top;     // degrees per frame it lets itself turn
    bool lead;          // aims where the enemy will be, not where it was seen
    int fire_frames;    // the longest rocket flight it shoots over
    float aim_radius;   // how near the enemy's centre its rocket must pass
    int keep_apart;     // altitude it keeps from an enemy that could shoot; 0 ignores it
    bool match_height;  // climbs or sinks to the enemy's height to shoot
    bool hunts;         // goes after the enemy when ahead
    int cruise_low, cruise_high;
};

constexpr Traits kTraits[3] = {
    // easy: late, slow, wide berths; shoots at where it saw the enemy
    {24, 1.5f, 0.012f, 20, 9, 2.0f, false, 30, 18, 0, false, false, 8, 14},
    // normal
    {10, 2.2f, 0.018f, 6, 5, 3.0f, true, 45, 14, 6, true, true, 6, 12},
    // hard: quick, fast, tight lines, leads its shots
    {3, 3.0f, 0.025f, 0, 3, 4.0f, true, 60, 12, 6, true, true, 5, 10},
};

constexpr float kSpeedSlack = 0.015f;
constexpr float kSeeRadius = 12;     // how near a rocket's path counts as "at me"
constexpr float kCloseRadius = 6;    // how near the other helicopter counts as "in my cell"
constexpr int kAltSlack = 2;         // altitude kept beyond the hit window
constexpr int kTopAlt = 51;
constexpr int kHuntLead = 3;         // the score lead from which it hunts
constexpr float kStandOff = 100;     // how near it comes to shoot when hunting
constexpr int kLookAhead = 16;       // cells of its way it looks along

const Traits& traits_of(PilotSkill s) { return kTraits[int(s)]; }

// A rocket's cell as the rules compute it, or -1 off the arena's cells.
int rocket_cell(double x, double y) {
    int c = cell_index(x, y);
    return c >= 0 && c < MAP_CELLS ? c : -1;
}

int against(float speed, float slack) { return speed > slack ? -1 : speed < -slack ? 1 : 0; }

}  // namespace

ComputerPilot::ComputerPilot(int index, PilotSkill skill, uint32_t seed)
    : index_(index), skill_(skill), arena_(index) {
    rng_.SeedRnd(int(seed & 0x7fffffff));
    rockets_.reserve(16);
    rockets_before_.reserve(16);
    bands_.reserve(8);
}

PortInput ComputerPilot::next(const World& w, const Game& g) {
    PortInput pad;
    if (g.game_state != GameState::play || g.play_phase != PlayPhase::running) {
        fire_held_ = false;
        return pad;
    }
    const Traits& t = traits_of(skill_);
    if (g.round_no != round_seen_) {
        round_seen_ = g.round_no;
        cruise_ = t.cruise_low + int(rng_.RndDouble() * (t.cruise_high - t.cruise_low + 1));
    }
    observe(w);
    const player_tag& me = w.player[index_];
    const player_tag& e = enemy_as_seen();
    arena_.update(w);
    pad_ = arena_.next_pad(cell_at(me.x, me.y), me.alt == 0 ? me.pos : -1, cell_at(e.x, e.y));
    // Near the other helicopter's height its cell is kept out of like a block (unless
    // already in it: then only height can part them).
    arena_.avoid_cell = -1;
    const player_tag& close = enemy_seen_ago(close_watch_delay());
    if (std::abs(close.alt - me.alt) <= parting()) {
        int cell = cell_at(close.x, close.y);
        if (cell != cell_at(me.x, me.y)) arena_.avoid_cell = cell;
    }
    Goal goal = choose_goal(w);
    PilotMotion now = PilotMotion::of(me);
    PilotMotion next = now;
    next.advance();  // where this frame's flight step puts it, before the controls

    // Setting down happens at the point the flight step leaves it; only a safe cell,
    // and not at its very edge.
    int touch = cell_at(next.x, next.y);
    bool touch_ok = arena_.landing_cell(touch) && near_cell({next.x, next.y}, 1, touch) &&
                    cell_at(next.x - 1, next.y - 1) == touch && cell_at(next.x + 1, next.y + 1) == touch;
    int vertical = choose_altitude(w, goal, touch_ok);
    pad.axis[AXIS_Y] = float(vertical);
    int new_alt = me.alt;
    if (vertical < 0 && me.scale < CLIMB_SCALE_LIMIT) new_alt += 1;
    if (vertical > 0 && me.scale > GROUND_SCALE) new_alt -= 1;

    bool fire = false;
    if (new_alt >= 1) {
        float speed = hypot_of(me.elv, me.ail);
        int turn = turn_input(now, heading_goal(w, goal), speed);
        int slide = 0, forward = 0;
        planar_input(now, goal, turn, slide, forward);
        pad.axis[AXIS_X] = float(turn);
        pad.axis[AXIS_Z] = float(slide);
        pad.axis[AXIS_R] = float(forward);
        if (!fire_held_ && me.rocket_ctr <= 1) {
            if (goal.shoot_cell >= 0) fire = fire_at_block(next, goal.shoot_cell);
            if (!fire) fire = fire_at_enemy(w, next, new_alt);
        }
    }
    if (fire) pad.buttons = 1u << 6;
    fire_held_ = fire;
    return pad;
}

// ---- what it sees ----

void ComputerPilot::observe(const World& w) {
    enemy_seen_[seen_frames_ % kMemory] = w.player[1 - index_];
    ++seen_frames_;
    // Rockets are told apart by where the last frame's ones had to be now.
    rockets_before_.swap(rockets_);
    rockets_.clear();
    for (const rocket_tag& r : w.rocket_list) {
        SeenRocket seen{r.x, r.y, r.dir, r.alt, r.id, 0};
        for (const SeenRocket& b : rockets_before_) {
            if (b.id != r.id || b.alt != r.alt || b.dir != r.dir) continue;
            float px = float(b.x + ROCKET_SPEED * Sin(b.dir)), py = float(b.y - ROCKET_SPEED * Cos(b.dir));
            bool moved = std::fabs(px - r.x) < 0.01f && std::fabs(py - r.y) < 0.01f;
            bool still = b.x == r.x && b.y == r.y;
            if (moved || still) {
                seen.age = b.age + 1;
                break;
            }
        }
        rockets_.push_back(seen);
    }
}

const player_tag& ComputerPilot::enemy_seen_ago(int frames) const {
    return enemy_seen_[(seen_frames_ - 1 - frames) % kMemory];
}

const player_tag& ComputerPilot::enemy_as_seen() const {
    return enemy_seen_ago(std::min(traits_of(skill_).reaction, seen_frames_ - 1));
}

int ComputerPilot::parting() const { return HIT_WINDOW + kAltSlack + 2 + close_watch_delay(); }

int ComputerPilot::close_watch_delay() const {
    // A helicopter close by is watched more closely than the rest of the arena.
    return std::min(traits_of(skill_).reaction / 3, seen_frames_ - 1);
}

ComputerPilot::Goal ComputerPilot::choose_goal(const World& w) {
    const player_tag& me = w.player[index_];
    const player_tag& e = enemy_as_seen();
    const Traits& t = traits_of(skill_);
    Goal goal;
    int here = cell_at(me.x, me.y);
    int their_cell = cell_at(e.x, e.y);
    const PilotArena::Field* field = nullptr;
    int target = -1;
    if (hunting(w)) {
        // Near enough with a clear line: stay and shoot.
        if (hypot_of(e.x - me.x, e.y - me.y) < kStandOff && arena_.line_free(me.x, me.y, e.x, e.y, 1)) {
            goal.x = me.x, goal.y = me.y, goal.stop = true;
            return goal;
        }
        arena_.build_field(hunt_field_, their_cell);
        field = &hunt_field_;
        target = their_cell;
    } else if (pad_ >= 0) {
        field = &arena_.field_to_pad();
        target = pad_;
    } else {  // nothing left to fly to: stay put
        PilotPoint c = cell_centre(here);
        goal.x = c.x, goal.y = c.y, goal.stop = true;
        return goal;
    }
    int path[kLookAhead];
    int len = arena_.path(*field, here, target, path, kLookAhead);
    // The other helicopter in the way ahead is flown over.
    if (target != their_cell) {
        for (int i = 1; i < std::min(len, 7); ++i) goal.pass_over |= path[i] == their_cell;
    }
    if (here == target && target != their_cell) {
        PilotPoint c = cell_centre(target);
        goal.x = c.x, goal.y = c.y, goal.stop = true, goal.land = true;
        return goal;
    }
    if (len < 2) {  // in the other helicopter's cell: hold still, height parts them
        goal.x = me.x, goal.y = me.y, goal.stop = true;
        return goal;
    }
    if (arena_.tile(path[1]) == TILE_BLOCK) {
        PilotPoint c = cell_centre(here);
        goal.x = c.x, goal.y = c.y, goal.stop = true, goal.shoot_cell = path[1];
        return goal;
    }
    // The farthest cell of the path it can fly to in a straight line. The cell it is
    // already heading for needs less room than a new one, or it would waver at the
    // edge of seeing it.
    int carrot = 0, i = 1;
    for (; i < len && arena_.tile(path[i]) != TILE_BLOCK; ++i) {
        if (path[i] != carrot_cell_) continue;
        PilotPoint c = cell_centre(path[i]);
        if (arena_.line_free(me.x, me.y, c.x, c.y, t.margin)) carrot = i;
        break;
    }
    for (i = carrot + 1; i < len && arena_.tile(path[i]) != TILE_BLOCK; ++i) {
        PilotPoint c = cell_centre(path[i]);
        if (!arena_.line_free(me.x, me.y, c.x, c.y, t.margin + 2)) break;
        carrot = i;
    }
    carrot_cell_ = path[carrot];
    PilotPoint c = cell_centre(path[carrot]);
    goal.x = c.x, goal.y = c.y;
    goal.stop = carrot == 0 || path[carrot] == target;
    goal.land = path[carrot] == target && target != their_cell;
    return goal;
}

bool ComputerPilot::hunting(const World& w) const {
    // Ahead on score, the sooner the game ends the better: it goes after the other
    // helicopter, if that one flies at all.
    const Traits& t = traits_of(skill_);
    const player_tag &me = w.player[index_], &them = w.player[1 - index_];
    if (!t.hunts || me.score < them.score + kHuntLead) return false;
    for (int k = 0; k < std::min(seen_frames_, kMemory); ++k) {
        if (enemy_seen_[k].alt > 0) return true;
    }
    return false;
}

// ---- how high ----

void ComputerPilot::add_threats(const World& w, std::vector<Band>& bands) const {
    const Traits& t = traits_of(skill_);
    const player_tag& me = w.player[index_];
    Coast mine(me);
    for (const SeenRocket& r : rockets_) {
        if (r.id == index_ || r.age < t.reaction) continue;
        double dx = Sin(r.dir), dy = -Cos(r.dir);
        for (int j = 1; j <= 120; ++j) {
            double x = r.x + ROCKET_SPEED * dx * j, y = r.y + ROCKET_SPEED * dy * j;
            int c = rocket_cell(x, y);
            if (c >= 0 && near_cell(mine.at(j), kSeeRadius, c)) {
                bands.push_back({r.alt - HIT_WINDOW - kAltSlack, r.alt + HIT_WINDOW + kAltSlack, j, true});
                break;
            }
            bool out = x < ARENA_MIN_X || x > ARENA_MAX_X || y < ARENA_MIN_Y || y > r.alt + ARENA_MAX_Y;
            if (out || (c >= 0 && arena_.tile(c) == TILE_BLOCK)) break;
        }
    }
    // The other helicopter: never share a cell at a colliding height. Two landed
    // helicopters keep apart by where they fly, not by height. What it saw of it is
    // a few frames old, in which it may have climbed or sunk a little.
    int ahead = close_watch_delay();
    const player_tag& e = enemy_seen_ago(ahead);
    if (e.alt == 0 && me.alt == 0) return;
    Coast theirs(e);
    int room = HIT_WINDOW + kAltSlack + ahead;
    float their_radius = e.alt == 0 ? 0 : kCloseRadius;  // a landed one stays in its cell
    for (int j = 0; j <= 40; ++j) {
        PilotPoint a = mine.at(j), b = theirs.at(j + ahead);
        if (near_cell(a, kCloseRadius, cell_at(b.x, b.y)) || near_cell(b, their_radius, cell_at(a.x, a.y))) {
            bands.push_back({e.alt - room, e.alt + room, j, false});
            break;
        }
    }
}

int ComputerPilot::wanted_altitude(const World& w, const Goal& goal) {
    const Traits& t = traits_of(skill_);
    const player_tag& me = w.player[index_];
    const player_tag& e = enemy_as_seen();
    int alt = me.alt;
    ground_frames_ = alt == 0 ? ground_frames_ + 1 : 0;

    int desired = alt == 0 && ground_frames_ <= t.settle ? 0 : cruise_;
    float ex = e.x - me.x, ey = e.y - me.y, dist = hypot_of(ex, ey);
    bool in_range = e.alt >= 1 && dist < ROCKET_SPEED * t.fire_frames + CELL_SIZE;
    if (t.keep_apart > 0 && in_range && std::abs(desired - e.alt) < t.keep_apart) {
        int up = e.alt + t.keep_apart, down = e.alt - t.keep_apart;
        desired = (up <= kTopAlt - 6 && (desired >= e.alt || down < 2)) ? up : down;
    }
    if (t.match_height && in_range && dist > CELL_SIZE && me.rocket_ctr < 20 && goal.shoot_cell < 0) {
        float off = std::fabs(wrap_degrees(heading_to(ex, ey) - me.rotation));
        if (off < 12) desired = e.alt;
    }
    if (!goal.pass_over) pass_side_ = 0;
    if (goal.pass_over) {
        // The clearly higher one goes over, the lower one under, and when it is close
        // Blue over and Red under; the choice holds until they have passed. So two
        // helicopters that want each other's cells part instead of chasing up together.
        const player_tag& close = enemy_seen_ago(close_watch_delay());
        int clear = parting() + 1;
        int over = close.alt + clear, under = close.alt - clear;
        if (pass_side_ == 0) {
            int gap = alt - close.alt;
            pass_side_ = std::abs(gap) > 3 + close_watch_delay() ? (gap > 0 ? 1 : -1) : (index_ == 0 ? 1 : -1);
        }
        if (pass_side_ > 0 ? over > kTopAlt : under < 1) pass_side_ = -pass_side_;
        desired = pass_side_ > 0 ? std::max(desired, over) : std::min(desired, under);
    }
    if (goal.land) {
        // Down when coasting to a stop would leave it inside the pad's cell.
        Glide g{PilotMotion::of(me)};
        for (int k = 0; k < 200 && (g.m.elv != 0 || g.m.ail != 0); ++k) {
            g.advance();
            g.m.steer(0, against(g.m.ail, kSpeedSlack), against(g.m.elv, kSpeedSlack));
        }
        int target = cell_at(goal.x, goal.y);
        if (near_cell({g.m.x, g.m.y}, 0, target) &&
            cell_at(g.m.x - 6, g.m.y - 6) == target && cell_at(g.m.x + 6, g.m.y + 6) == target)
            desired = 0;
    }
    return std::clamp(desired, 0, kTopAlt);
}

int ComputerPilot::choose_altitude(const World& w, const Goal& goal, bool touch_ok) {
    const player_tag& me = w.player[index_];
    int alt = me.alt;
    int desired = wanted_altitude(w, goal);

    bands_.clear();
    add_threats(w, bands_);
    const std::vector<Band>& bands = bands_;
    auto forbidden = [&](int a, int by) {
        if (a == 0 && !touch_ok && alt > 0) return true;
        for (const Band& b : bands) {
            if (a == 0 && b.ground_ok) continue;
            if (a >= b.lo && a <= b.hi && b.soon <= by) return true;
        }
        return false;
    };
    int target = desired;
    if (forbidden(alt, 60) && alt > 0) {
        // Out of the way by the nearest height that is clear, away from the middle of
        // what it is in (so two helicopters part rather than climb together).
        int centre2 = 0, count = 0;
        for (const Band& b : bands) {
            if (alt >= b.lo && alt <= b.hi) centre2 += b.lo + b.hi, ++count;
        }
        bool prefer_up = count == 0 || 2 * alt * count > centre2 || (2 * alt * count == centre2 && index_ == 0);
        target = alt;
        for (int d = 1; d <= kTopAlt; ++d) {
            int up = alt + d, down = alt - d;
            bool up_ok = up <= kTopAlt && !forbidden(up, 60);
            bool down_ok = down >= 0 && !forbidden(down, 60);
            if (up_ok && down_ok) {
                target = prefer_up ? up : down;
                break;
            }
            if (up_ok || down_ok) {
                target = up_ok ? up : down;
                break;
            }
        }
    } else {
        // Toward the wanted height, but not into a band it could not leave in time.
        int a = alt, step = desired > alt ? 1 : -1;
        while (a != desired) {
            int n = a + step;
            int frames = std::abs(n - alt) + 1;
            if (forbidden(n, frames + HIT_WINDOW + 2 * kAltSlack)) break;
            a = n;
        }
        target = a;
    }
    if (target > alt) return me.scale < CLIMB_SCALE_LIMIT ? -1 : 0;
    if (target < alt) return alt == 1 && !touch_ok ? 0 : 1;
    return 0;
}

// ---- which way to point ----

float ComputerPilot::heading_goal(const World& w, const Goal& goal) const {
    const player_tag& me = w.player[index_];
    const Traits& t = traits_of(skill_);
    if (goal.shoot_cell >= 0) {
        PilotPoint c = cell_centre(goal.shoot_cell);
        return heading_to(c.x - me.x, c.y - me.y);
    }
    const player_tag& e = enemy_as_seen();
    float dist = hypot_of(e.x - me.x, e.y - me.y);
    if (dist < ROCKET_SPEED * t.fire_frames + CELL_SIZE && dist > 4) {
        PilotPoint aim{e.x, e.y};
        if (t.lead) {
            int ahead = std::min(seen_frames_ - 1, t.reaction);
            aim = Coast(e).at(ahead + int(dist / ROCKET_SPEED));
        }
        return heading_to(aim.x - me.x, aim.y - me.y);
    }
    return me.rotation;
}

int ComputerPilot::turn_input(const PilotMotion& now, float target, float speed) const {
    const Traits& t = traits_of(skill_);
    float err = wrap_degrees(target - now.rotation);
    // Turning swings the speeds round with the nose, so it turns slowly while fast.
    float cap = clamp_to(0.86f / std::max(speed, 0.01f), 0.3f, t.turn_top);
    float want = 0;
    if (std::fabs(err) >= 0.5f) want = std::copysign(std::min(std::sqrt(0.5f * std::fabs(err)), cap), err);
    if (now.rstp < want - 0.1f) return 1;
    if (now.rstp > want + 0.1f) return -1;
    return 0;
}

// ---- where to fly ----

void ComputerPilot::planar_input(const PilotMotion& now, const Goal& goal, int& turn, int& slide, int& forward) const {
    const Traits& t = traits_of(skill_);
    PilotMotion after = now;
    after.advance();  // the speeds and heading the controls will act on
    float dx = goal.x - after.x, dy = goal.y - after.y, d = hypot_of(dx, dy);
    float reach = goal.stop ? std::max(d - 0.5f, 0.0f) : d + 2 * CELL_SIZE;
    float v = std::min(t.top_speed, std::sqrt(2 * t.brake_plan * reach));
    float vx = d > 0.01f ? dx / d * v : 0, vy = d > 0.01f ? dy / d * v : 0;
    // In the helicopter's own axes: forward toward the nose (-elv), right (ail).
    double s = Sin(after.rotation), c = Cos(after.rotation);
    float want_fwd = float(vx * s - vy * c), want_right = float(vx * c + vy * s);
    float fwd = -after.elv, right = after.ail;
    int want_forward = fwd < want_fwd - kSpeedSlack ? -1 : fwd > want_fwd + kSpeedSlack ? 1 : 0;
    int want_slide = right < want_right - kSpeedSlack ? 1 : right > want_right + kSpeedSlack ? -1 : 0;

    // The wanted controls if stopping afterwards still misses every block; else the
    // nearest choice that does, braking first.
    int slide_opts[3] = {want_slide, against(after.ail, kSpeedSlack), 0};
    int fwd_opts[3] = {want_forward, against(after.elv, kSpeedSlack), 0};
    static constexpr int kOrder[9][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 2}, {2, 0}, {1, 2}, {2, 1}, {2, 2}};
    // Already closer than its margin (round a corner): it may not go any deeper.
    float margin = std::max(0.5f, std::min(t.margin, arena_.clearance(now.x, now.y))) - 0.25f;
    // Turning swings the speeds round too, so a turn is given up before a block is hit.
    int turn_opts[2] = {turn, against(after.rstp, 0.15f)};
    for (int tn = 0; tn < 2; ++tn) {
        if (tn == 1 && turn_opts[1] == turn_opts[0]) break;
        int tried[9][2], n = 0;
        for (const auto& o : kOrder) {
            int sl = slide_opts[o[0]], fw = fwd_opts[o[1]];
            bool seen = false;
            for (int i = 0; i < n; ++i) seen |= tried[i][0] == sl && tried[i][1] == fw;
            if (seen) continue;
            tried[n][0] = sl, tried[n][1] = fw, ++n;
            if (safe_after(now, turn_opts[tn], sl, fw, margin)) {
                turn = turn_opts[tn], slide = sl, forward = fw;
                return;
            }
        }
    }
    turn = turn_opts[1], slide = slide_opts[1], forward = fwd_opts[1];
}

bool ComputerPilot::safe_after(const PilotMotion& now, int turn, int slide, int forward, float margin) const {
    Glide g{now};
    g.advance();  // this frame's step is already decided
    g.m.steer(turn, slide, forward);
    for (int k = 0; k < 250; ++k) {
        g.advance();
        if (arena_.clearance(g.m.x, g.m.y) < margin) return false;
        if (g.m.elv == 0 && g.m.ail == 0) break;
        g.m.steer(against(g.m.rstp, 0.15f), against(g.m.ail, kSpeedSlack), against(g.m.elv, kSpeedSlack));
    }
    return true;
}

// ---- when to fire ----

bool ComputerPilot::fire_at_enemy(const World& w, const PilotMotion& next, int rocket_alt) const {
    const Traits& t = traits_of(skill_);
    const player_tag& e = enemy_as_seen();
    if (e.alt == 0 || std::abs(e.alt - rocket_alt) >= HIT_WINDOW) return false;
    // Its last battery ends the game, which only pays when ahead.
    const player_tag &me = w.player[index_], &them = w.player[1 - index_];
    if (them.battery <= 1 && me.score <= them.score) return false;
    int ahead = t.lead ? std::min(seen_frames_ - 1, t.reaction) : 0;
    Coast theirs(e);
    double dx = Sin(next.rotation), dy = -Cos(next.rotation);
    // The rocket moves in the frame it is fired, after both flight steps.
    for (int j = 1; j <= t.fire_frames; ++j) {
        double x = next.x + ROCKET_SPEED * dx * j, y = next.y + ROCKET_SPEED * dy * j;
        int c = rocket_cell(x, y);
        PilotPoint at = t.lead ? theirs.at(ahead + j) : PilotPoint{e.x, e.y};
        if (c >= 0 && c == cell_at(at.x, at.y) && hypot_of(x - at.x, y - at.y) <= t.aim_radius) return true;
        bool out = x < ARENA_MIN_X || x > ARENA_MAX_X || y < ARENA_MIN_Y || y > rocket_alt + ARENA_MAX_Y;
        if (out || (c >= 0 && arena_.tile(c) == TILE_BLOCK)) return false;
    }
    return false;
}

bool ComputerPilot::fire_at_block(const PilotMotion& next, int cell) const {
    double dx = Sin(next.rotation), dy = -Cos(next.rotation);
    for (int j = 1; j <= 30; ++j) {
        int c = rocket_cell(next.x + ROCKET_SPEED * dx * j, next.y + ROCKET_SPEED * dy * j);
        if (c == cell) return true;
        if (c < 0 || arena_.tile(c) == TILE_BLOCK) return false;
    }
    return false;
}
