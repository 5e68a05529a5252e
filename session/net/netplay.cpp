#include "session/net/netplay.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ctime>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "net/lan_discovery.h"
#include "net/net_reach.h"
#include "session/net/net_session.h"
#include "session/net/rules_fingerprint.h"
#include "session/replay.h"
#include "session/replay_record.h"
#include "present/scene_draw.h"
#include "session/advance.h"
#include "session/net/sound_ledger.h"
#include "platform/draw.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/options.h"
#include "platform/window.h"
#include "platform/clock.h"
#include "platform/pacer.h"
#include "platform/events.h"
#include "session/program_end.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEsc = 27, kSpace = 32, kReturn = 13, kUp = 38, kDown = 40, kF4 = 115;
constexpr int kNoticeFrames = 240;
constexpr int kBannerFrames = 180;  // "You fly Blue" at the session's start
constexpr int kPadEast = 1;
constexpr int kPointerStep = 6;
constexpr char kSideName[2][5] = {"Blue", "Red"};
constexpr int kBlue[3] = {50, 100, 255}, kRed[3] = {255, 100, 50};

// ---- text over the picture ----

void draw_line(const std::string& s, float y, float scale, int r, int g, int b) {
    SetColor(r, g, b);
    SetScale(scale, scale);
    DrawText(s, 320 - float(TextWidth(s)) * scale / 2, y);
}

// Draws through fn with a plain drawing state, and leaves the state as it was.
template <typename Fn>
void with_plain_state(Media& m, Fn fn) {
    int r, g, b;
    GetColor(&r, &g, &b);
    float alpha = GetAlpha(), rotation = GetRotation(), sx, sy;
    GetScale(&sx, &sy);
    int blend = GetBlend();
    ImageFont font = GetImageFont();
    SetImageFont(m.game_font);
    SetBlend(ALPHABLEND);
    SetAlpha(1.0f);
    SetRotation(0);
    fn();
    SetImageFont(font);
    SetColor(r, g, b);
    SetAlpha(alpha);
    SetBlend(blend);
    SetTransform(rotation, sx, sy);
}

void backing(float y, float h) {
    SetColor(0, 0, 0);
    SetAlpha(0.6f);
    SetScale(1, 1);
    DrawRect(0, y, 640, h);
    SetAlpha(1.0f);
}

// Runs a function when the scope is left, by return or by the program's end unwinding.
struct AtScopeExit {
    std::function<void()> at_exit;
    ~AtScopeExit() { at_exit(); }
};

// ---- pacing ----

// Frames on the real clock, headless runs too; the virtual clock moves with them so
// that timed script actions still come.
class Pacer {
public:
    void wait(NetSession* session, double ms) {
        due_ += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
        Clock::time_point now = Clock::now();
        // A frame far behind its time (a wait, a slow machine) moves the schedule.
        if (now > due_ + std::chrono::milliseconds(100)) due_ = now;
        if (session) session->idle_until(due_);
        std::this_thread::sleep_until(due_);
    }
    void restart() { due_ = Clock::now(); }

private:
    Clock::time_point due_ = Clock::now();
};

void present() {
    // Headless, a paced Flip moves the virtual clock a frame on and waits for nothing.
    Flip(engine_options.headless ? -1 : 0);
}

// ---- the local player ----

NetInput to_net(const PortInput& port) {
    NetInput n;
    for (int a = 0; a < 4; ++a) n.axis[a] = int8_t(port.axis[a] == 1.0f ? 1 : port.axis[a] == -1.0f ? -1 : 0);
    n.buttons = uint16_t(port.buttons & 0xffffu);
    return n;
}

struct Local {
    int side = 0;
    NetCommand pending = NetCommand::none;
    uint32_t buttons_before = 0;
    bool quit = false;
};

// The local helicopter's port as its pilot gives it.
PortInput local_port(Program& p, int side) {
    switch (p.pilots.choice[side].kind) {
        case PilotKind::pad: {
            int pad = p.pilots.pad_port(side);
            PortInput port;
            port.axis[AXIS_X] = JoyX(pad);
            port.axis[AXIS_Y] = JoyY(pad);
            port.axis[AXIS_Z] = JoyZ(pad);
            port.axis[AXIS_R] = JoyR(pad);
            port.buttons = remap_pad_buttons(JoyButtons(pad), p.settings.pad_fire, p.settings.pad_pause,
                                             p.game.game_state == GameState::play);
            return port;
        }
        case PilotKind::keys: return keyboard_port(p.keys[side]);
        case PilotKind::computer:
            if (p.computer[side]) return p.computer[side]->next(p.world, p.game);
            break;
    }
    return PortInput{};
}

// One player at one keyboard flies with either half of it.
KeyLayout both_halves(const Program& p) {
    KeyLayout k{};
    for (int a = 0; a < KEY_ACTIONS; ++a) k[a] = {p.keys[0][a][0], p.keys[1][a][0]};
    return k;
}

void step_level(int& level) { level = level >= VOLUME_LEVELS ? 0 : level + 1; }

// This machine's menu over the shared title and pause screens, and its keys: what the
// player asks of both machines becomes a command for the next input sent.
void local_controls(Program& p, Local& me) {
    const Game& g = p.game;
    int esc = KeyHit(kEsc), space = KeyHit(kSpace), clicks = MouseHit(1);
    uint32_t buttons = 0;
    int pad = p.pilots.pad_port(me.side);
    if (pad >= 0) {
        buttons = remap_pad_buttons(JoyButtons(pad), p.settings.pad_fire, p.settings.pad_pause,
                                    g.game_state == GameState::play);
    }
    uint32_t pressed = buttons & ~me.buttons_before;
    me.buttons_before = buttons;
    bool toggle = space || (pressed & 2u);
    bool menu = g.game_state == GameState::title || g.game_state == GameState::pause;
    if (menu && pad >= 0) {
        int x = MouseX(), y = MouseY();
        if (JoyX(pad) == -1.0f) x -= kPointerStep;
        if (JoyX(pad) == 1.0f) x += kPointerStep;
        if (JoyY(pad) == -1.0f) y -= kPointerStep;
        if (JoyY(pad) == 1.0f) y += kPointerStep;
        if (x != MouseX() || y != MouseY()) MoveMouse(x, y);
        if (pressed & 1u) ++clicks;
    }
    if (menu) {
        // Up and Down put the pointer on the item above or below, Return chooses it.
        int up = KeyHit(kUp), down = KeyHit(kDown);
        if (up != down) {
            int item = menu_item_at(MouseY());
            int target = item < 0 ? 0 : std::clamp(item + (down ? 1 : -1), 0, 4);
            MoveMouse(POINTER_HOME_X, POINTER_HOME_Y + 40 * target);
        }
        if (KeyHit(kReturn)) ++clicks;
    }
    switch (g.game_state) {
        case GameState::play:
            if (esc || toggle) me.pending = NetCommand::pause;
            break;
        case GameState::pause:
            if (esc) me.pending = NetCommand::to_title;
            else if (toggle) me.pending = NetCommand::resume;
            break;
        case GameState::title:
            if (esc) me.quit = true;
            break;
        default: break;
    }
    if (!menu || !clicks) return;
    bool pause = g.game_state == GameState::pause;
    switch (menu_item_at(MouseY())) {
        case 0: me.pending = pause ? NetCommand::resume : NetCommand::start; break;
        case 1:
            if (!pause) {
                JoyCount();
                p.sound.play_sfx(Sfx::detectgb, volume_for_level(p.settings.sound_lvl));
            }
            break;
        case 2:
            step_level(p.settings.sound_lvl);
            p.sound.play_sfx(Sfx::explode, volume_for_level(p.settings.sound_lvl));
            break;
        case 3:
            step_level(p.settings.music_lvl);
            p.sound.set_music_volume(volume_for_level(p.settings.music_lvl));
            break;
        case 4:
            if (pause) me.pending = NetCommand::to_title;
            else me.quit = true;
            break;
        default: break;
    }
}

// The shared screen as this machine shows it: its own pointer, highlight and volumes.
void localise_scene(Program& p, Scene& scene) {
    for (SceneOp& op : scene.ops) {
        if (op.kind == SceneOp::Kind::menu) {
            op.i[1] = menu_item_at(MouseY());
            op.i[2] = JoyAttached();
            op.i[3] = p.settings.sound_lvl;
            op.i[4] = p.settings.music_lvl;
        } else if (op.kind == SceneOp::Kind::pointer) {
            op.i[0] = MouseX();
            op.i[1] = MouseY();
        }
    }
}

// ---- sound ----

class LocalSound : public SoundOutput {
public:
    LocalSound(Program& p, NetSession& s) : p_(p), session_(s) {}
    long start_sfx(Sfx s) override {
        if (channels_.size() > 64) {
            for (auto it = channels_.begin(); it != channels_.end();) {
                it = ChannelPlaying(it->second) ? std::next(it) : channels_.erase(it);
            }
        }
        channels_[next_] = p_.sound.play_sfx(s, volume_for_level(p_.settings.sound_lvl));
        return next_++;
    }
    void stop_sfx(long handle) override {
        auto it = channels_.find(handle);
        if (it == channels_.end()) return;
        if (ChannelPlaying(it->second)) StopChannel(it->second);
        channels_.erase(it);
    }
    void start_music(int track) override { p_.sound.play_music(track, volume_for_level(p_.settings.music_lvl)); }
    void stop_music() override { p_.sound.stop_music(); }
    // The round's end holds both games; the network is served meanwhile.
    void wait(int ms) override {
        session_.idle_until(Clock::now() + std::chrono::milliseconds(ms));
        if (engine_options.headless) Delay(ms);
        waited = true;
    }
    bool waited = false;

private:
    Program& p_;
    NetSession& session_;
    std::map<long, Channel> channels_;
    long next_ = 1;
};

// ---- waiting for the other machine ----

// Shows who we wait for until the link is ready (true), or closes or the player gives
// up with Escape or a pad's East button (false; *gave_up says which).
bool wait_for_link(Program& p, NetLink& link, NetReach& reach, const NetOptions& opts, bool* gave_up) {
    std::vector<std::string> lines;
    if (opts.host) {
        lines.push_back("Waiting for a guest on UDP port " + std::to_string(link.port()));
        std::string addresses;
        for (const std::string& a : local_addresses()) addresses += (addresses.empty() ? "" : ", ") + a;
        lines.push_back(addresses.empty() ? "This machine has no network address" : "This machine: " + addresses);
        lines.push_back("The guest starts:  rc-whirlbat --join ADDRESS" +
                        (link.port() == NET_DEFAULT_PORT ? std::string() : ":" + std::to_string(link.port())));
        std::fprintf(stderr, "rc-whirlbat: waiting for a guest on UDP port %d (%s)\n", link.port(),
                     lines[1].c_str());
    } else {
        lines.push_back("Joining " + opts.join + " ...");
    }
    std::string note, code;
    Pacer pacer;
    std::vector<Packet> ignored;
    bool told_failure = false;
    while (!link.ready()) {
        link.service(0, ignored);
        reach.update();
        if (reach.failed() && !opts.host) return false;
        if (reach.failed() && !told_failure) {
            // The host still takes a guest who comes by address.
            told_failure = true;
            note = reach.failure() + ": no join code";
            std::fprintf(stderr, "rc-whirlbat: %s\n", note.c_str());
        }
        if (opts.host) {
            std::string way = reach.way_in();
            if (!way.empty() && lines.size() < 4) lines.push_back(way);
            if (!way.empty()) lines[3] = way;
        }
        if (code.empty() && !reach.code().empty()) {
            code = reach.code();
            std::printf("Join code: %s\n", code.c_str());
            std::fflush(stdout);
            std::fprintf(stderr, "rc-whirlbat: join code %s\n", code.c_str());
            lines[0] = "Join code " + code + "  (UDP port " + std::to_string(link.port()) + ")";
            lines[2] = "The guest starts:  rc-whirlbat --join " + code;
        }
        for (const std::string& n : link.take_notes()) {
            std::fprintf(stderr, "rc-whirlbat: %s\n", n.c_str());
            note = n;
        }
        if (link.state() == NetLink::State::closed) return false;
        PumpEvents();
        SamplePads();
        bool east = false;
        for (int port = 0; port < JoyAttached(); ++port) east = JoyHit(kPadEast, port) > 0 || east;
        if (AppTerminate()) {
            link.close(ByeReason::quit);
            shut_down(p);
        }
        if (KeyHit(kEsc) || east) {
            link.close(ByeReason::quit);
            *gave_up = true;
            return false;
        }
        Cls();
        DrawImage(p.media.back_img, 0, 0);
        with_plain_state(p.media, [&] {
            backing(180, lines.size() > 3 ? 158 : 130);
            float y = 195;
            for (const std::string& l : lines) {
                draw_line(l, y, 0.8f, 255, 255, 255);
                y += 28;
            }
            draw_line("Escape or (B): give up", y + 4, 0.6f, 170, 170, 170);
            if (!note.empty()) draw_line(note, lines.size() > 3 ? 350 : 330, 0.55f, 255, 140, 100);
        });
        present();
        pacer.wait(nullptr, NET_FRAME_MS);
    }
    return true;
}

// ---- during the session ----

// What the player sees of the network over the game: a notice while the game waits for
// the other machine longer than a quarter of a second, and the round trip and the way
// the machines reach each other (F4 shows and hides it; shown for the first 5 seconds).
class NetOverlay {
public:
    static constexpr auto kWaitNotice = std::chrono::milliseconds(250);
    static constexpr auto kShownAtStart = std::chrono::seconds(5);
    static constexpr int kCountdownAfterMs = 1000;

    explicit NetOverlay(int other_side) : other_(other_side) {}

    void toggle() {
        bool shown = visible();
        forced_ = true;
        on_ = !shown;
    }
    // After each tick: whether the game moved on (or held itself, at a round's end).
    void moved(bool moved) {
        if (moved) last_moved_ = Clock::now();
    }
    bool waiting() const { return Clock::now() - last_moved_ > kWaitNotice; }
    bool visible() const { return forced_ ? on_ : Clock::now() - started_ < kShownAtStart; }

    void draw(Media& m, const NetLink& link) const {
        with_plain_state(m, [&] {
            if (visible()) {
                std::string line = "Ping " + std::to_string(link.round_trip_ms()) + " ms, " + link.path();
                SetScale(0.5f, 0.5f);
                float width = float(TextWidth(line)) * 0.5f;
                // At the foot, between the two sides' batteries.
                SetColor(0, 0, 0);
                SetAlpha(0.6f);
                SetScale(1, 1);
                DrawRect(320 - width / 2 - 6, 452, width + 12, 24);
                SetAlpha(1.0f);
                SetColor(200, 230, 255);
                SetScale(0.5f, 0.5f);
                DrawText(line, 320 - width / 2, 456);
            }
            if (waiting()) {
                // Once the other machine falls silent, how long it has to come back.
                std::string line = std::string("Waiting for ") + kSideName[other_] + "...";
                int silent = link.silent_ms();
                if (silent > kCountdownAfterMs)
                    line += " " + std::to_string(std::max(0, (NET_RECONNECT_MS - silent + 999) / 1000));
                backing(220, 36);
                draw_line(line, 226, 0.7f, 255, 220, 140);
            }
        });
    }

private:
    int other_;
    bool forced_ = false, on_ = true;
    Clock::time_point started_ = Clock::now(), last_moved_ = Clock::now();
};

// --join alone: the one game waiting on the local network; several are listed on
// stdout for the player to choose from, none is one line. False with the line.
bool choose_lan_game(std::string* join, std::string* why) {
    std::vector<LanGame> games = find_lan_games(1000);
    if (games.empty()) return *why = "no game is waiting on the local network", false;
    auto address = [](const LanGame& g) {
        return g.address + (g.port == NET_DEFAULT_PORT ? std::string() : ":" + std::to_string(g.port));
    };
    if (games.size() > 1) {
        for (const LanGame& g : games) std::printf("%s (version %s)\n", address(g).c_str(), g.version.c_str());
        std::fflush(stdout);
        *why = std::to_string(games.size()) + " games are waiting on the local network: join one with --join ADDRESS";
        return false;
    }
    *join = address(games[0]);
    std::fprintf(stderr, "rc-whirlbat: joining the game waiting on the local network at %s\n", join->c_str());
    return true;
}

// ---- after the session ----

std::string record_folder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string base = state && *state ? state : home && *home ? std::string(home) + "/.local/state" : ".";
    std::string dir = base + "/rc-whirlbat";
    mkdir(base.c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    return dir;
}


// A line at the foot of the picture for a few seconds.
class Notice : public FrameHook {
public:
    explicit Notice(std::string text) : text_(std::move(text)) {}
    void draw_over(Program& p) override {
        if (frames_ <= 0) return;
        --frames_;
        with_plain_state(p.media, [&] {
            backing(440, 34);
            draw_line(text_, 446, 0.75f, 255, 200, 120);
        });
    }
    // The line shows for a count of frames, then never again.
    bool draw_key(const Program&, std::string& key) const override {
        key += frames_ > 0 ? "notice " + std::to_string(frames_) + ";" : "";
        return true;
    }

private:
    std::string text_;
    int frames_ = kNoticeFrames;
};

// The local game goes on offline from the title, with this machine's own pilots,
// volumes and pads.
void back_to_title_offline(Program& p, const Pilots& pilots, const std::string& notice) {
    Game& g = p.game;
    p.pilots = pilots;
    // The keyboard halves as the settings give them: online, one player had both.
    for (int side = 0; side < 2; ++side) p.keys[side] = p.settings.keys[side];
    seat_pilots(p);
    g.sound_lvl = p.settings.sound_lvl;
    g.sound_vol = volume_for_level(g.sound_lvl);
    g.music_lvl = p.settings.music_lvl;
    g.music_vol = volume_for_level(g.music_lvl);
    g.pads_found = p.pilots.pads_for_rules(JoyCount());
    g.pads = Pads{};
    g.esc_hits = g.space_hits = g.click_hits = 0;
    if (g.game_state != GameState::intro) {
        g.game_state = GameState::title;
        g.after = AfterPresent::check_keys;
        g.pointer_x = POINTER_HOME_X;
        g.pointer_y = POINTER_HOME_Y;
        MoveMouse(POINTER_HOME_X, POINTER_HOME_Y);
        p.sound.play_music(1, g.music_vol);
    }
    FlushKeys();
    FlushMouse();
    p.hooks.push_back(std::make_shared<Notice>(notice));
}

void write_summary(FILE* log, const NetStats& s, double seconds, const std::string& end) {
    if (!log) return;
    std::fprintf(log,
                 "summary ticks=%ld frames=%ld stalls=%ld late_stalls=%ld rollbacks=%ld rerun_frames=%ld "
                 "max_rollback=%d min_response=%d max_response=%d confirmed=%ld slowed_ticks=%ld seconds=%.2f "
                 "bytes_sent=%" PRIu64 " bytes_received=%" PRIu64 " malformed=%ld foreign=%ld rejoins=%ld end=%s\n",
                 s.ticks, s.frames, s.stalls, s.late_stalls, s.rollbacks, s.rerun_frames, s.max_rollback,
                 s.min_response, s.max_response, s.confirmed, s.slowed_ticks, seconds, s.bytes_sent,
                 s.bytes_received, s.malformed, s.foreign, s.rejoins, end.c_str());
    std::fflush(log);
}

}  // namespace

// The session's confirmed frames as a replay of the game this machine played: the two
// sides' replays, played on one machine, show where their games went apart.
bool write_session_replay(const std::string& path, int seed, const NetSession& session, std::string* why) {
    ReplayHeader header;
    header.game_version = game_version();
    header.seed = seed;
    header.pilots = "online: Blue the host, Red the guest";
    if (session.first_split() > 0)
        header.pilots += "; the two games went apart at frame " + std::to_string(session.first_split());
    char date[32] = "";
    std::time_t started = session.started();
    std::tm utc{};
    if (gmtime_r(&started, &utc)) std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc);
    header.date = date;
    header.world = new_world(seed);
    header.game = new_game_state(PAD_PORTS, false);
    ReplayBuilder builder(header);
    World w = header.world;
    Game g = header.game;
    FrameResult out;
    out.draw = false;
    for (const auto& [blue, red] : session.history()) {
        bool reads = reads_input(g);
        FrameInput in = compose_input(g, blue, red);
        advance(w, g, in, out);
        builder.frame(in, reads, w, g);
    }
    builder.finish(ReplayEnd::title, w, g);
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(builder.pending.data(), 1, builder.pending.size(), f) == builder.pending.size();
    ok = (f && std::fclose(f) == 0) && ok;
    if (!ok) *why = "cannot write the replay " + path;
    return ok;
}

void run_online_game(Program& p, const NetOptions& opts, int seed, std::shared_ptr<Recorder> recorder) {
    start_program(p, seed);
    bool gave_up = false;
    std::string why;
    play_online(p, opts, seed, std::move(recorder), &gave_up, &why);
    if (gave_up) shut_down(p);
    std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
    EndWithCode(1);
}

bool play_online(Program& p, const NetOptions& opts, int seed, std::shared_ptr<Recorder> recorder, bool* gave_up,
                 std::string* failure) {
    *gave_up = false;
    Clock::time_point asked = Clock::now();
    NetLink link(rules_fingerprint());
    NetReach reach(link);
    std::string why, host = "", join = opts.join;
    int port = opts.port;
    bool ok = true;
    if (!opts.relay.empty()) {
        IceRelay relay;
        ok = parse_ice_relay(opts.relay, &relay, &why);
        reach.set_relay(relay);
    }
    if (ok && opts.join_lan) {
        ok = choose_lan_game(&join, &why);
    }
    if (ok && opts.host) {
        ok = link.listen(opts.port, WHIRLBAT_VERSION, seed, opts.delay, &why);
        // A meeting server that cannot be found leaves the host waiting for a guest by address.
        if (ok && !reach.host(opts.lobby, &why)) std::fprintf(stderr, "rc-whirlbat: %s: no join code\n", why.c_str());
    } else if (ok && is_join_code(join)) {
        ok = reach.join_code(opts.lobby, join, WHIRLBAT_VERSION, opts.delay, &why);
    } else if (ok) {
        ok = split_host_port(join, &host, &port) ? link.join(host, port, WHIRLBAT_VERSION, opts.delay, &why)
                                                 : (why = "--join needs HOST or HOST:PORT with a port from 1 to 65535", false);
    }
    if (!ok) {
        *failure = why;
        return false;
    }
    if (!wait_for_link(p, link, reach, opts, gave_up)) {
        *failure = *gave_up ? "" : reach.failed() ? reach.failure() : link.message();
        return false;
    }
    reach.name_path();
    long connect_ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count());
    std::fprintf(stderr, "rc-whirlbat: connected by the %s path in %ld ms\n", link.path().c_str(), connect_ms);

    FILE* log = opts.net_log.empty() ? nullptr : std::fopen(opts.net_log.c_str(), "w");
    if (!opts.net_log.empty() && !log) std::fprintf(stderr, "rc-whirlbat: cannot write %s\n", opts.net_log.c_str());
    if (log) std::fprintf(log, "path %s connect_ms=%ld\n", link.path().c_str(), connect_ms);
    Local me;
    me.side = opts.host ? 0 : 1;
    std::string chosen = link.delay_chosen()
                             ? " (from a round trip of " + std::to_string(link.handshake_round_trip_ms()) + " ms)"
                             : std::string();
    std::fprintf(stderr, "rc-whirlbat: playing online as %s, input delay %d%s\n", kSideName[me.side], link.delay(),
                 chosen.c_str());
    // Two windows on one desk say which is which.
    AppTitle(std::string("RC Whirlbat - ") + kSideName[me.side] + ", online");
    int banner = kBannerFrames;

    // Both machines start from the same state: the host's seed, two pilots counted.
    Pilots own = p.pilots;
    PilotChoice mine = p.run_pilot[me.side] ? *p.run_pilot[me.side]
                       : JoyAttached() > 0  ? PilotChoice{PilotKind::pad}
                                            : PilotChoice{PilotKind::keys};
    p.pilots.choice[me.side] = mine;
    p.pilots.choice[1 - me.side] = PilotChoice{PilotKind::keys};
    if (!p.run_pilot[me.side] && mine.kind == PilotKind::keys) p.keys[me.side] = both_halves(p);
    p.seed = link.seed();
    seat_pilots(p);
    p.sound.stop_music();
    p.world = new_world(link.seed());
    p.game = new_game_state(PAD_PORTS, false);

    NetSession session(link, me.side);
    session.log_hashes(log);
    Clock::time_point started = Clock::now();
    // A run that ends during the session (--frames, a fatal error) still leaves its figures.
    auto summary_written = std::make_shared<bool>(false);
    auto summarise = [&session, log, started, summary_written](const char* end) {
        if (*summary_written) return;
        *summary_written = true;
        write_summary(log, session.stats(), std::chrono::duration<double>(Clock::now() - started).count(), end);
        if (log) std::fclose(log);
    };
    // The program ends by unwinding to main: on the way out of here the figures are
    // written and the other side is told goodbye.
    AtScopeExit goodbye{[&summarise, &session] {
        summarise("program end");
        session.leave();
    }};
    LocalSound output(p, session);
    SoundLedger ledger(output);
    Pacer pacer;
    // The game as both machines confirmed it, frame by frame, is what the recorder keeps,
    // never the guesses on the screen; its header names who flies where.
    World kept_world = p.world;
    Game kept_game = p.game;
    FrameResult kept_out;
    kept_out.draw = false;
    size_t kept_frames = 0;
    auto record_confirmed = [&] {
        const auto& history = session.history();
        for (; recorder && kept_frames < history.size(); ++kept_frames) {
            const auto& [blue, red] = history[kept_frames];
            FrameInput in = compose_input(kept_game, blue, red);
            advance(kept_world, kept_game, in, kept_out);
            recorder->after_step(kept_world, kept_game, in, false, uint32_t(FlipCount()));
        }
    };
    // A program that ends during the session completes the recording on its way out,
    // while the confirmed game still stands.
    bool session_recording = recorder != nullptr;
    AtScopeExit close_recording{[&] {
        if (!session_recording) return;
        recorder->program_end(kept_world, kept_game);
        recorder->end_with(nullptr, nullptr);
    }};
    if (recorder) {
        recorder->set_seed(link.seed());
        recorder->end_with(&kept_world, &kept_game);
        std::string here = pilot_text(mine) + ", on this machine";
        std::string there = std::string("online, on the ") + (me.side == 0 ? "guest's" : "host's") + " machine";
        recorder->describe_pilots([here, there, side = me.side] {
            return "Blue: " + (side == 0 ? here : there) + "; Red: " + (side == 1 ? here : there);
        });
    }
    NetOverlay overlay(1 - me.side);
    Scene shown_scene;
    bool has_shown = false;
    while (session.ended() == NetSession::End::none) {
        PumpEvents();
        SamplePads();
        local_controls(p, me);
        if (me.quit || AppTerminate()) {
            session.leave();
            summarise("quit");
            shut_down(p);
        }
        auto read_local = [&] {
            NetInput in = to_net(local_port(p, me.side));
            in.command = std::exchange(me.pending, NetCommand::none);
            return in;
        };
        if (KeyHit(kF4)) overlay.toggle();
        output.waited = false;
        NetSession::Tick t = session.tick(p.world, p.game, p.result, read_local, &ledger);
        record_confirmed();
        if (session.ended() != NetSession::End::none) break;
        if (output.waited) pacer.restart();
        overlay.moved(t.stepped || output.waited);
        if (session.showable(p.game) || !has_shown) {
            shown_scene = p.result.scene;
            has_shown = true;
        }
        localise_scene(p, shown_scene);
        draw_scene(shown_scene, p.media);
        overlay.draw(p.media, link);
        if (banner > 0) {
            --banner;
            with_plain_state(p.media, [&] {
                // Under the menu's last item, clear of it and of the credit line.
                backing(427, 29);
                const int* c = me.side == 0 ? kBlue : kRed;
                draw_line(std::string("You fly ") + kSideName[me.side], 428, 1.0f, c[0], c[1], c[2]);
            });
        }
        present();
        // The opening's last picture is followed at once by the round's first, as offline.
        if (!(t.stepped && p.result.present_sync == 1)) pacer.wait(&session, session.frame_ms());
    }

    AppTitle("RC Whirlbat");
    std::string notice = session.message();
    std::fprintf(stderr, "rc-whirlbat: %s\n", notice.c_str());
    if (session.ended() == NetSession::End::desync) {
        std::string at = session.first_split() > 0 ? "-frame-" + std::to_string(session.first_split()) : "";
        std::string path = record_folder() + "/desync-" + kSideName[me.side] + "-" +
                           std::to_string(std::time(nullptr)) + at + REPLAY_EXTENSION;
        if (write_session_replay(path, link.seed(), session, &why)) {
            std::fprintf(stderr, "rc-whirlbat: this side's game is kept as a replay in %s\n", path.c_str());
        } else {
            std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        }
    }
    summarise(session.ended() == NetSession::End::desync ? "desync" : "left");
    // A game the session cut short ends its replay here; the games after it are offline.
    if (recorder) {
        session_recording = false;
        recorder->program_end(kept_world, kept_game);
        recorder->end_with(nullptr, nullptr);
        recorder->describe_pilots([&p] {
            return "Blue: " + pilot_text(p.pilots.choice[0]) + "; Red: " + pilot_text(p.pilots.choice[1]);
        });
    }
    p.result.clear();
    back_to_title_offline(p, own, notice);
    while (run_frame(p)) {
    }
    shut_down(p);
}
