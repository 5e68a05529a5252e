#include "session/net/online_match.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>

#include "net/net_link.h"
#include "net/net_reach.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/pacer.h"
#include "platform/window.h"
#include "present/plain_drawing.h"
#include "session/advance.h"
#include "session/net/net_session.h"
#include "session/net/online_view.h"
#include "session/net/sound_ledger.h"
#include "session/replay.h"
#include "session/replay_record.h"
#include "sim/snapshot.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBannerFrames = 180;  // "You fly Blue" at the session's start
constexpr int kPointerStep = 6;
constexpr int kBlue[3] = {50, 100, 255}, kRed[3] = {255, 100, 50};

NetInput to_net(const PortInput& port) {
    NetInput n;
    for (int a = 0; a < 4; ++a) n.axis[a] = int8_t(port.axis[a] == 1.0f ? 1 : port.axis[a] == -1.0f ? -1 : 0);
    n.buttons = uint16_t(port.buttons & 0xffffu);
    return n;
}

// One player at one keyboard flies with either half of it.
KeyLayout both_halves(const Program& p) {
    KeyLayout k{};
    for (int a = 0; a < KEY_ACTIONS; ++a) k[a] = {p.keys[0][a][0], p.keys[1][a][0]};
    return k;
}

void step_level(int& level) { level = level >= VOLUME_LEVELS ? 0 : level + 1; }

// The local player's keys and pad on this machine's menu.
struct Local {
    int side = 0;
    NetCommand pending = NetCommand::none;
    uint32_t buttons_before = 0;
    bool asking = false;   // "Leave the online game?" is on the screen
    bool leaving = false;  // the player said yes
};

// Up and Down put the pointer on the item above or below, Return chooses it; a pad
// moves the pointer and its South button chooses. The clicks the menu had.
int menu_pointer(int pad, uint32_t pressed) {
    int clicks = MouseHit(1);
    if (pad >= 0) {
        int x = MouseX(), y = MouseY();
        if (JoyX(pad) == -1.0f) x -= kPointerStep;
        if (JoyX(pad) == 1.0f) x += kPointerStep;
        if (JoyY(pad) == -1.0f) y -= kPointerStep;
        if (JoyY(pad) == 1.0f) y += kPointerStep;
        if (x != MouseX() || y != MouseY()) MoveMouse(x, y);
        if (pressed & 1u) ++clicks;
    }
    int up = KeyHit(KEY_UP), down = KeyHit(KEY_DOWN);
    if (up != down) {
        int item = menu_item_at(MouseY());
        int target = item < 0 ? 0 : std::clamp(item + (down ? 1 : -1), 0, 4);
        MoveMouse(POINTER_HOME_X, POINTER_HOME_Y + 40 * target);
    }
    if (KeyHit(KEY_RETURN)) ++clicks;
    return clicks;
}

// A click on the menu's item: this machine's own, or a command for both.
void menu_choice(Program& p, Local& me, bool pause) {
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
            else me.asking = true;
            break;
        default: break;
    }
}

// This machine's menu over the shared title and pause screens, and its keys: what the
// player asks of both machines becomes a command for the next input sent.
void local_controls(Program& p, Local& me) {
    const Game& g = p.game;
    int esc = KeyHit(KEY_ESCAPE), space = KeyHit(KEY_SPACE);
    uint32_t buttons = 0;
    int pad = p.pilots.pad_port(me.side);
    if (pad >= 0) {
        buttons = remap_pad_buttons(JoyButtons(pad), p.settings.pad_fire, p.settings.pad_pause,
                                    g.game_state == GameState::play);
    }
    uint32_t pressed = buttons & ~me.buttons_before;
    me.buttons_before = buttons;
    if (me.asking) {
        // Return or a pad's South leaves, Escape or its East stays; nothing else counts.
        bool yes = KeyHit(KEY_RETURN) || (pressed & 1u);
        MouseHit(1);
        KeyHit(KEY_UP);
        KeyHit(KEY_DOWN);
        if (yes) me.leaving = true;
        if (yes || esc || (pressed & 2u)) me.asking = false;
        return;
    }
    bool toggle = space || (pressed & 2u);
    bool menu = g.game_state == GameState::title || g.game_state == GameState::pause;
    int clicks = menu ? menu_pointer(pad, pressed) : MouseHit(1);
    switch (g.game_state) {
        case GameState::play:
            if (esc || toggle) me.pending = NetCommand::pause;
            break;
        case GameState::pause:
            if (esc) me.pending = NetCommand::to_title;
            else if (toggle) me.pending = NetCommand::resume;
            break;
        case GameState::title:
            if (esc) me.asking = true;
            break;
        default: break;
    }
    if (menu && clicks) menu_choice(p, me, g.game_state == GameState::pause);
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
        ClockWaited(ms);
        waited = true;
    }
    bool waited = false;

private:
    Program& p_;
    NetSession& session_;
    std::map<long, Channel> channels_;
    long next_ = 1;
};

std::string record_folder() {
    std::string dir = UserFolderPath(UserFolder::state);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
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

class OnlineMatch : public Mode {
public:
    explicit OnlineMatch(OnlineStart s) : s_(std::move(s)), overlay_(1 - (s_.opts.host ? 0 : 1)) {}
    ~OnlineMatch() override;

    ModeFrame step(Program& p) override;
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;
    std::string notice(const Program& p) const;
    std::string banner() const;
    int pilots_without_pads(const Program& p) const override { return p.pilots.without_pads(); }

private:
    void start(Program& p);
    void seat(Program& p);
    void record_confirmed(Program& p);
    void summarise(const char* end);
    void stop_recording();
    void finish(Program& p, const std::string& notice, const char* end);
    void back_to_title(Program& p, const std::string& notice);

    OnlineStart s_;
    bool started_ = false;
    Local me_;
    PilotChoice mine_;
    Pilots own_;  // this machine's pilots before the match, for after it
    std::unique_ptr<NetSession> session_;
    std::unique_ptr<LocalSound> output_;
    std::unique_ptr<SoundLedger> ledger_;
    FILE* log_ = nullptr;
    bool summarised_ = false;
    Clock::time_point started_at_;
    int banner_ = kBannerFrames;
    NetOverlay overlay_;
    Scene shown_scene_;
    bool has_shown_ = false;
    // The game as both machines confirmed it, frame by frame.
    World kept_world_;
    Game kept_game_;
    FrameResult kept_out_;
    size_t kept_frames_ = 0;
    bool recording_ = false;
    Program* program_ = nullptr;
};

// Both machines start from the same state: the host's seed, two pilots counted.
void OnlineMatch::seat(Program& p) {
    own_ = p.pilots;
    mine_ = p.run_pilot[me_.side] ? *p.run_pilot[me_.side]
            : JoyAttached() > 0   ? PilotChoice{PilotKind::pad}
                                  : PilotChoice{PilotKind::keys};
    p.pilots.choice[me_.side] = mine_;
    p.pilots.choice[1 - me_.side] = PilotChoice{PilotKind::keys};
    if (!p.run_pilot[me_.side] && mine_.kind == PilotKind::keys) p.keys[me_.side] = both_halves(p);
    p.seed = s_.link->seed();
    seat_pilots(p);
    p.sound.stop_music();
    p.world = new_world(s_.link->seed());
    p.game = new_game_state(PAD_PORTS, false);
}

void OnlineMatch::start(Program& p) {
    started_ = true;
    program_ = &p;
    NetLink& link = *s_.link;
    s_.reach->name_path();
    long connect_ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s_.asked).count());
    std::fprintf(stderr, "rc-whirlbat: connected by the %s path in %ld ms\n", link.path().c_str(), connect_ms);
    const std::string& net_log = s_.opts.net_log;
    log_ = net_log.empty() ? nullptr : std::fopen(net_log.c_str(), "wb");
    if (!net_log.empty() && !log_) std::fprintf(stderr, "rc-whirlbat: cannot write %s\n", net_log.c_str());
    if (log_) std::fprintf(log_, "path %s connect_ms=%ld\n", link.path().c_str(), connect_ms);
    me_.side = s_.opts.host ? 0 : 1;
    std::string chosen = link.delay_chosen()
                             ? " (from a round trip of " + std::to_string(link.handshake_round_trip_ms()) + " ms)"
                             : std::string();
    std::fprintf(stderr, "rc-whirlbat: playing online as %s, input delay %d%s\n", side_name(me_.side), link.delay(),
                 chosen.c_str());
    // Two windows on one desk say which is which.
    AppTitle(std::string("RC Whirlbat - ") + side_name(me_.side) + ", online");
    seat(p);
    session_ = std::make_unique<NetSession>(link, me_.side);
    session_->log_hashes(log_);
    started_at_ = Clock::now();
    output_ = std::make_unique<LocalSound>(p, *session_);
    ledger_ = std::make_unique<SoundLedger>(*output_);
    NetSession* session = session_.get();
    SetFrameIdle([session](double ms) {
        session->idle_until(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms)));
    });
    kept_world_ = p.world;
    kept_game_ = p.game;
    kept_out_.draw = false;
    if (s_.hub) s_.hub->set_pilots("Blue: " + pilot_label(mine_, p.pilots.pad_port(0)) + " (host); Red: the guest");
    if (!p.recorder) return;
    recording_ = true;
    p.recorder->set_seed(link.seed());
    p.recorder->end_with(&kept_world_, &kept_game_);
    std::string here = pilot_text(mine_) + ", on this machine";
    std::string there = std::string("online, on the ") + (me_.side == 0 ? "guest's" : "host's") + " machine";
    p.recorder->describe_pilots([here, there, side = me_.side] {
        return "Blue: " + (side == 0 ? here : there) + "; Red: " + (side == 1 ? here : there);
    });
}

// The frames both machines confirmed, as the recorder and the listeners hear them.
void OnlineMatch::record_confirmed(Program& p) {
    const auto& history = session_->history();
    if (!p.recorder && p.listeners.empty() && !s_.hub) return;
    for (; kept_frames_ < history.size() && !p.ended(); ++kept_frames_) {
        const auto& [blue, red] = history[kept_frames_];
        FrameInput in = compose_input(kept_game_, blue, red);
        advance(kept_world_, kept_game_, in, kept_out_);
        if (p.recorder) p.recorder->after_step(kept_world_, kept_game_, in, false, uint32_t(FlipCount()));
        for (auto& listener : p.listeners) listener->heard(p, kept_world_, kept_game_, in);
        // The watchers hear the frame, and every 30th with the state both machines have.
        bool hashed = (kept_frames_ + 1) % NET_HASH_EVERY == 0;
        if (s_.hub) s_.hub->confirmed(history[kept_frames_], hashed ? std::optional<uint64_t>(state_hash(kept_world_, kept_game_)) : std::nullopt);
    }
    if (s_.hub) s_.hub->service();
}

void OnlineMatch::summarise(const char* end) {
    if (summarised_ || !session_) return;
    summarised_ = true;
    write_summary(log_, session_->stats(), std::chrono::duration<double>(Clock::now() - started_at_).count(), end);
    if (log_) std::fclose(log_);
    log_ = nullptr;
}

// A game the session cut short ends its replay; the games after it are offline.
void OnlineMatch::stop_recording() {
    if (!recording_ || !program_) return;
    recording_ = false;
    Recorder& recorder = *program_->recorder;
    recorder.program_end(kept_world_, kept_game_);
    recorder.end_with(nullptr, nullptr);
}

// A program that ends during the match (--frames, a fatal error) still leaves its
// figures, says goodbye and completes the recording while the confirmed game stands.
OnlineMatch::~OnlineMatch() {
    if (s_.hub) s_.hub->close();
    if (!session_) return;
    summarise("program end");
    session_->leave();
    stop_recording();
    SetFrameIdle(nullptr);
    PaceInRealTime(false);
}

ModeFrame OnlineMatch::step(Program& p) {
    if (!started_) start(p);
    read_devices();
    local_controls(p, me_);
    if (AppTerminate()) {
        session_->leave();
        summarise("quit");
        shut_down(p);
        return nothing_shown();
    }
    if (me_.leaving) {
        // Back to this machine's own title; the other side hears the goodbye.
        session_->leave();
        finish(p, "You left the online game", "left here");
        return nothing_shown();
    }
    auto read_local = [this, &p] {
        NetInput in = to_net(pilot_port(p, me_.side));
        in.command = std::exchange(me_.pending, NetCommand::none);
        return in;
    };
    if (KeyHit(KEY_F4)) overlay_.toggle();
    output_->waited = false;
    NetSession::Tick t = session_->tick(p.world, p.game, p.result, read_local, ledger_.get());
    record_confirmed(p);
    if (p.ended()) return nothing_shown();
    if (session_->ended() != NetSession::End::none) {
        finish(p, session_->message(), session_->ended() == NetSession::End::desync ? "desync" : "left");
        return nothing_shown();
    }
    overlay_.moved(t.stepped || output_->waited);
    PaceLonger(session_->frame_ms() > NET_FRAME_MS ? int(NET_SLOW_MS) : 0);
    if (session_->showable(p.game) || !has_shown_) {
        shown_scene_ = p.result.scene;
        has_shown_ = true;
    }
    localise_scene(p, shown_scene_);
    ModeFrame f;
    f.scene = &shown_scene_;
    return f;
}

// The line for online play's place: the question, the wait for the other machine, or
// on the shared title who starts.
std::string OnlineMatch::notice(const Program& p) const {
    if (me_.asking) return "Leave the online game?   Return: leave   Esc: stay";
    std::string waiting = overlay_.notice(*s_.link);
    if (!waiting.empty()) return waiting;
    if (p.game.game_state == GameState::title) return "Either player chooses Start Game";
    return "";
}

void OnlineMatch::draw_over(Program& p) {
    overlay_.draw(p.media, *s_.link);
    PlainDrawing plain(p.media.game_font);
    if (int n = s_.hub ? s_.hub->watching() : 0; n > 0) {
        // The host sees how many watch, under Red's score.
        std::string line = std::to_string(n) + " watching";
        SetColor(200, 230, 255);
        SetScale(0.5f, 0.5f);
        DrawText(line, 634 - float(TextWidth(line)) * 0.5f, 36);
    }
    std::string line = notice(p);
    if (!line.empty()) online_notice(line, 255, 220, 140);
    if (banner_ <= 0) return;
    --banner_;
    // Under the menu's last item, clear of it and of the credit line.
    online_backing(427, 29);
    const int* c = me_.side == 0 ? kBlue : kRed;
    online_line(banner(), 430, 0.8f, c[0], c[1], c[2]);
}

// Which helicopter this machine flies, and how the other machine came.
std::string OnlineMatch::banner() const {
    return std::string("You fly ") + side_name(me_.side) + ", by the " + s_.link->path() + " path";
}

bool OnlineMatch::draw_key(const Program& p, std::string& key) const {
    key += overlay_.key(*s_.link) + std::to_string(s_.hub ? s_.hub->watching() : 0) + " watching|" + notice(p) + "|" + (banner_ > 0 ? banner() + " " + std::to_string(banner_) : "") + ";";
    return true;
}

// The local game goes on offline from the title, with this machine's own pilots,
// volumes and pads.
void OnlineMatch::back_to_title(Program& p, const std::string& notice) {
    Game& g = p.game;
    p.pilots = own_;
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
    s_.back->add_hook(std::make_shared<Notice>(notice));
}

void OnlineMatch::finish(Program& p, const std::string& notice, const char* end) {
    AppTitle("RC Whirlbat");
    std::fprintf(stderr, "rc-whirlbat: %s\n", notice.c_str());
    if (session_->ended() == NetSession::End::desync) {
        std::string at = session_->first_split() > 0 ? "-frame-" + std::to_string(session_->first_split()) : "";
        std::string path = record_folder() + "/desync-" + side_name(me_.side) + "-" + std::to_string(std::time(nullptr)) +
                           at + REPLAY_EXTENSION;
        std::string why;
        if (write_session_replay(path, s_.link->seed(), *session_, &why)) {
            std::fprintf(stderr, "rc-whirlbat: this side's game is kept as a replay in %s\n", path.c_str());
        } else {
            std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        }
    }
    summarise(end);
    stop_recording();
    if (p.recorder) {
        p.recorder->describe_pilots([&p] {
            return "Blue: " + pilot_text(p.pilots.choice[0]) + "; Red: " + pilot_text(p.pilots.choice[1]);
        });
    }
    if (s_.hub) s_.hub->close();
    p.result.clear();
    back_to_title(p, notice);
    SetFrameIdle(nullptr);
    PaceInRealTime(false);
    if (s_.outcome) {
        s_.outcome->done = true;
        s_.outcome->played = true;
    }
    session_.reset();
    p.hand_over([back = std::move(s_.back)](std::unique_ptr<Mode>) mutable -> std::unique_ptr<Mode> { return std::move(back); });
}

}  // namespace

std::unique_ptr<Mode> online_match(OnlineStart start) { return std::make_unique<OnlineMatch>(std::move(start)); }

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
