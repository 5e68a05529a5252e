#include "session/replay_view.h"

#include <cstdio>
#include <filesystem>

#include "session/pilots.h"
#include "session/runner.h"
#include "session/replay.h"
#include "session/replay_check.h"
#include "session/replay_record.h"
#include "sim/snapshot.h"
#include "platform/draw.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/clock.h"
#include "platform/pacer.h"
#include "platform/events.h"
#include "session/program_end.h"
#include "present/owdraw.h"
#include "present/scene_draw.h"

namespace {

constexpr int kEscape = 27, kSpace = 32, kRight = 39, kFaster = 'F', kNextRound = 'N';
constexpr int kFastest = 8;
constexpr int kPadSouth = 0, kPadEast = 1;
// The status line's strip, just above the HUD's foot.
constexpr int kStripY = 436, kStripHeight = 14;

// The drawing state the status line changes, to put back after it.
struct DrawingState {
    int r = 0, g = 0, b = 0;
    float alpha = 1, rotation = 0, sx = 1, sy = 1;
    int blend = 0;
    ImageFont font;

    void save() {
        GetColor(&r, &g, &b);
        alpha = GetAlpha();
        rotation = GetRotation();
        GetScale(&sx, &sy);
        blend = GetBlend();
        font = GetImageFont();
    }
    void restore() const {
        SetColor(r, g, b);
        SetAlpha(alpha);
        SetRotation(rotation);
        SetScale(sx, sy);
        SetBlend(blend);
        SetImageFont(font);
    }
};

class Viewer {
public:
    Viewer(Program& p, const Replay& r, const ReplayCheck& check, const std::string& name)
        : p_(p), r_(r), check_(check), name_(name), cursor_(r) {
        p_.media.pilots_without_pads = pilots_without_pads(r.header.pilots);
    }

    WatchEnd run();

private:
    bool over() const { return k_ >= check_.trusted || ended_; }
    void step_one(bool draw, bool sounds, bool waits);
    void next_round();
    void wait_while_inactive();
    std::string status() const;
    void show_status(const Image& under);

    Program& p_;
    const Replay& r_;
    const ReplayCheck& check_;
    std::string name_;
    ReplayCursor cursor_;
    long k_ = 0;  // frames played
    bool ended_ = false;
    bool paused_ = false;
    int speed_ = 1;
    bool reported_ = false;
};

void Viewer::step_one(bool draw, bool sounds, bool waits) {
    FrameInput in;
    cursor_.next(in);
    p_.result.draw = draw;
    advance(p_.world, p_.game, in, p_.result);
    ++k_;
    carry_out_replayed(p_, p_.result.events, sounds, waits);
    if (p_.result.ended) ended_ = true;
    else if (draw) draw_scene(p_.result.scene, p_.media);
}

// Runs frames without their pictures or sounds (the music follows) up to the one that
// opens the next round, or ends the game; that one is run again with its picture.
void Viewer::next_round() {
    const int round = p_.game.round_no;
    while (!over()) {
        Snapshot before;
        before.save(p_.world, p_.game);
        ReplayCursor at = cursor_;
        FrameInput in;
        cursor_.next(in);
        p_.result.draw = false;
        advance(p_.world, p_.game, in, p_.result);
        GameState s = p_.game.game_state;
        bool there = p_.game.round_no != round || s == GameState::over || s == GameState::title || p_.result.ended ||
                     k_ + 1 >= check_.trusted;
        if (!there) {
            ++k_;
            carry_out_replayed(p_, p_.result.events, false, false);
            continue;
        }
        before.restore(p_.world, p_.game);
        cursor_ = at;
        step_one(true, true, false);
        return;
    }
}

void Viewer::wait_while_inactive() {
    bool music = p_.sound.music_playing();
    if (music) PauseChannel(p_.sound.music_chn);
    while (AppSuspended() && !AppQuitPending()) {
        Delay(1);
        PumpEvents();
    }
    if (music) ResumeChannel(p_.sound.music_chn);
}

// "1:23" of "1:23.45".
std::string whole_seconds(long frames) {
    std::string t = replay_time(frames);
    return t.substr(0, t.size() - 3);
}

std::string Viewer::status() const {
    std::string time = whole_seconds(k_) + " / " + whole_seconds(r_.frames);
    if (over() && !check_.ok && !ended_) {
        bool damaged = check_.problem.rfind("damaged", 0) == 0;
        return "REPLAY STOPPED at " + whole_seconds(k_) +
               (damaged ? ": the rest of the file is damaged or missing" : ": the game differs from the recording") +
               "    Esc back";
    }
    if (over()) return "REPLAY " + time + "   END    Esc back";
    std::string mode = paused_ ? "PAUSED" : 'x' + std::to_string(speed_);
    return "REPLAY " + time + "   " + mode + "    Space " + (paused_ ? "play" : "pause") +
           "  Right step  F faster  N next round  Esc back";
}

// The status line over the picture; the strip it covers is kept to be put back before
// the next frame is drawn, since a frame may grab the picture it finds.
void Viewer::show_status(const Image& under) {
    GrabImage(under, 0, kStripY);
    DrawingState saved;
    saved.save();
    SetRotation(0);
    SetScale(1, 1);
    SetBlend(ALPHABLEND);
    SetAlpha(0.75f);
    SetColor(0, 0, 0);
    DrawRect(0, kStripY, 640, kStripHeight);
    SetAlpha(1);
    SetColor(255, 255, 255);
    SetImageFont(ImageFont{});
    DrawText(status(), 4, kStripY + 3);
    saved.restore();
}

WatchEnd Viewer::run() {
    Image under = CreateImage(640, kStripHeight, 1, 0);
    SetImageHandle(under, 0, 0);
    bool covered = false;
    FlushKeys();
    FlushMouse();
    while (true) {
        PumpEvents();
        if (AppTerminate()) return WatchEnd::closed;
        if (AppSuspended()) wait_while_inactive();
        // A pad's East button goes back and its South button pauses, as Escape and Space.
        SamplePads();
        bool pad_back = false, pad_pause = false;
        for (int port = 0; port < JoyAttached(); ++port) {
            pad_back = JoyHit(kPadEast, port) > 0 || pad_back;
            pad_pause = JoyHit(kPadSouth, port) > 0 || pad_pause;
        }
        if (KeyHit(kEscape) || pad_back) return WatchEnd::back;
        if (covered) {
            DrawingState saved;
            saved.save();
            SetRotation(0);
            SetScale(1, 1);
            SetAlpha(1);
            SetColor(255, 255, 255);
            SetBlend(SOLIDBLEND);
            DrawImage(under, 0, kStripY);
            saved.restore();
        }
        if (KeyHit(kSpace) || pad_pause) paused_ = !paused_;
        if (KeyHit(kFaster)) speed_ = speed_ == kFastest ? 1 : speed_ * 2;
        int steps = paused_ ? 0 : speed_;
        if (KeyHit(kRight)) {
            paused_ = true;
            steps = 1;
        }
        int sync = -1;
        if (KeyHit(kNextRound) && !over()) {
            next_round();
        } else {
            for (int i = 0; i < steps && !over(); ++i) {
                step_one(true, true, !paused_ && speed_ == 1);
                sync = p_.result.present_sync;
            }
        }
        if (over() && !check_.ok && !reported_) {
            std::fprintf(stderr, "rc-whirlbat: %s: the replay stops at frame %ld: %s\n", name_.c_str(), k_,
                         check_.problem.c_str());
            reported_ = true;
        }
        show_status(under);
        covered = true;
        Flip(sync);
    }
}

}  // namespace

WatchEnd watch_replay(Program& p, const Replay& replay, const std::string& name, bool* good) {
    ReplayCheck check = check_replay(replay);
    if (good) *good = check.ok;
    owdraw_tag draw_state = p.media.draw3d;
    DrawingState engine_state;
    engine_state.save();
    p.world = replay.header.world;
    p.game = replay.header.game;
    Viewer viewer(p, replay, check, name);
    WatchEnd end = viewer.run();
    p.result.draw = true;
    p.media.draw3d = draw_state;
    engine_state.restore();
    return end;
}

void run_replay_window(Program& p, const Replay& replay, const std::string& name, int seed) {
    start_program(p, seed);
    bool good = false;
    watch_replay(p, replay, name, &good);
    p.sound.stop_music();
    EndWithCode(good ? 0 : 1);
}

namespace {

class ReplayKey : public FrameHook {
public:
    explicit ReplayKey(std::shared_ptr<Recorder> recorder) : recorder_(std::move(recorder)) {}
    void presented(Program& p) override;

private:
    std::shared_ptr<Recorder> recorder_;
};

void ReplayKey::presented(Program& p) {
    // Presses during a game are not kept for the title.
    if (!KeyHit(REPLAY_KEY) || p.game.game_state != GameState::title) return;
    std::string file = recorder_ ? recorder_->last_file() : "";
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) file = newest_replay(replays_folder());
    if (file.empty()) {
        std::fprintf(stderr, "rc-whirlbat: there is no recorded game to watch yet\n");
        return;
    }
    watch_replay_file(p, file);
}

}  // namespace

bool watch_replay_file(Program& p, const std::string& file) {
    Replay replay;
    std::string error;
    if (!load_replay(file, replay, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    Snapshot live;
    live.save(p.world, p.game);
    int track = p.sound.track_playing();
    WatchEnd end = watch_replay(p, replay, file, nullptr);
    live.restore(p.world, p.game);
    p.sound.stop_music();
    if (end == WatchEnd::closed) shut_down(p);
    if (track) p.sound.play_music(track, p.game.music_vol);
    FlushKeys();
    FlushMouse();
    return true;
}

void add_replay_key(Program& p, std::shared_ptr<Recorder> recorder) {
    p.hooks.push_back(std::make_shared<ReplayKey>(std::move(recorder)));
}
