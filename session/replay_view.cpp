#include "session/replay_view.h"

#include <cstdio>
#include <filesystem>

#include "platform/draw.h"
#include "platform/events.h"
#include "platform/font.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "present/plain_drawing.h"
#include "present/scene_draw.h"
#include "session/advance.h"
#include "session/pilots.h"
#include "session/replay_check.h"
#include "session/replay_record.h"
#include "sim/snapshot.h"

namespace {

constexpr int kFastest = 8;
constexpr int kPadSouth = 0, kPadEast = 1;
// The status line's strip, just above the HUD's foot.
constexpr int kStripY = 436, kStripHeight = 14;

// "1:23" of "1:23.45".
std::string whole_seconds(long frames) {
    std::string t = replay_time(frames);
    return t.substr(0, t.size() - 3);
}

class Viewer : public Mode {
public:
    Viewer(Replay r, std::string name, std::unique_ptr<Mode> back)
        : r_(std::move(r)), name_(std::move(name)), back_(std::move(back)), cursor_(r_) {}

    ModeFrame step(Program& p) override;
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;
    int pilots_without_pads(const Program&) const override { return without_pads_; }

private:
    enum class Leave { back, closed };
    void start(Program& p);
    void leave(Program& p, Leave how);
    bool over() const { return k_ >= check_.trusted || ended_; }
    void step_one(Program& p, bool draw, bool sounds, bool waits);
    void next_round(Program& p);
    // The keys of the frame: true once the viewer is left.
    bool keys(Program& p, int* steps, bool* next_round);
    void restore_strip();
    std::string status() const;

    Replay r_;
    std::string name_;
    std::unique_ptr<Mode> back_;  // the mode to come back to, or none: the run ends
    ReplayCheck check_;
    ReplayCursor cursor_;
    bool started_ = false;
    // What watching changes and leaving puts back.
    Snapshot live_;
    int track_ = 0;
    owdraw_tag stereo_;
    int without_pads_ = 0;
    long k_ = 0;  // frames played
    bool ended_ = false;
    bool paused_ = false;
    int speed_ = 1;
    bool reported_ = false;
    // The picture under the status line, kept to be put back before the next frame is
    // drawn, since a frame may grab the picture it finds.
    Image under_;
    bool covered_ = false;
    bool drawn_ = false;  // a frame was drawn into the picture this frame
};

void Viewer::start(Program& p) {
    started_ = true;
    check_ = check_replay(r_);
    live_.save(p.world, p.game);
    track_ = p.sound.track_playing();
    stereo_ = p.media.draw3d;
    p.world = r_.header.world;
    p.game = r_.header.game;
    without_pads_ = ::pilots_without_pads(r_.header.pilots);
    p.media.pilots_without_pads = without_pads_;
    under_ = CreateImage(640, kStripHeight, 1, 0);
    SetImageHandle(under_, 0, 0);
    FlushKeys();
    FlushMouse();
}

void Viewer::leave(Program& p, Leave how) {
    p.result.draw = true;
    p.media.draw3d = stereo_;
    p.sound.stop_music();
    if (!back_) {
        p.end(check_.ok ? 0 : 1);
        return;
    }
    live_.restore(p.world, p.game);
    if (how == Leave::closed) {
        shut_down(p);
        return;
    }
    if (track_) p.sound.play_music(track_, p.game.music_vol);
    FlushKeys();
    FlushMouse();
    p.hand_over([back = std::move(back_)](std::unique_ptr<Mode>) mutable { return std::move(back); });
}

void Viewer::step_one(Program& p, bool draw, bool sounds, bool waits) {
    FrameInput in;
    cursor_.next(in);
    p.result.draw = draw;
    advance(p.world, p.game, in, p.result);
    ++k_;
    carry_out(p, p.result.events, EventsCarried{sounds, waits, false});
    if (p.result.ended) ended_ = true;
    else if (draw) draw_scene(p.result.scene, p.media);
    drawn_ = drawn_ || draw;
}

// Runs frames without their pictures or sounds (the music follows) up to the one that
// opens the next round, or ends the game; that one is run again with its picture.
void Viewer::next_round(Program& p) {
    const int round = p.game.round_no;
    while (!over()) {
        Snapshot before;
        before.save(p.world, p.game);
        ReplayCursor at = cursor_;
        FrameInput in;
        cursor_.next(in);
        p.result.draw = false;
        advance(p.world, p.game, in, p.result);
        GameState s = p.game.game_state;
        bool there = p.game.round_no != round || s == GameState::over || s == GameState::title || p.result.ended ||
                     k_ + 1 >= check_.trusted;
        if (!there) {
            ++k_;
            carry_out(p, p.result.events, EventsCarried{false, false, false});
            continue;
        }
        before.restore(p.world, p.game);
        cursor_ = at;
        step_one(p, true, true, false);
        return;
    }
}

bool Viewer::keys(Program& p, int* steps, bool* next) {
    if (AppTerminate()) {
        leave(p, Leave::closed);
        return true;
    }
    if (AppSuspended()) {
        freeze(p);
        SamplePads();
    }
    // A pad's East button goes back and its South button pauses, as Escape and Space.
    bool pad_back = false, pad_pause = false;
    for (int port = 0; port < JoyAttached(); ++port) {
        pad_back = JoyHit(kPadEast, port) > 0 || pad_back;
        pad_pause = JoyHit(kPadSouth, port) > 0 || pad_pause;
    }
    if (KeyHit(KEY_ESCAPE) || pad_back) {
        leave(p, Leave::back);
        return true;
    }
    if (KeyHit(KEY_SPACE) || pad_pause) paused_ = !paused_;
    if (KeyHit(KEY_F)) speed_ = speed_ == kFastest ? 1 : speed_ * 2;
    *steps = paused_ ? 0 : speed_;
    if (KeyHit(KEY_RIGHT)) {
        paused_ = true;
        *steps = 1;
    }
    *next = KeyHit(KEY_N) && !over();
    return false;
}

ModeFrame Viewer::step(Program& p) {
    if (!started_) start(p);
    read_devices();
    drawn_ = false;
    int steps = 0;
    bool next = false;
    if (keys(p, &steps, &next) || p.ended()) return nothing_shown();
    ModeFrame f;
    if ((next || (steps > 0 && !over())) && covered_) restore_strip();
    if (next) {
        next_round(p);
    } else {
        for (int i = 0; i < steps && !over(); ++i) {
            step_one(p, true, true, !paused_ && speed_ == 1);
            f.sync = p.result.present_sync;
        }
    }
    if (over() && !check_.ok && !reported_) {
        std::fprintf(stderr, "rc-whirlbat: %s: the replay stops at frame %ld: %s\n", name_.c_str(), k_,
                     check_.problem.c_str());
        reported_ = true;
    }
    return f;
}

void Viewer::restore_strip() {
    PlainDrawing plain(ImageFont{});
    SetColor(255, 255, 255);
    SetBlend(SOLIDBLEND);
    DrawImage(under_, 0, kStripY);
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

// The status line over the picture; the strip it covers is kept first.
void Viewer::draw_over(Program&) {
    if (covered_ && !drawn_) restore_strip();
    GrabImage(under_, 0, kStripY);
    PlainDrawing plain(ImageFont{});
    SetAlpha(0.75f);
    SetColor(0, 0, 0);
    DrawRect(0, kStripY, 640, kStripHeight);
    SetAlpha(1);
    SetColor(255, 255, 255);
    DrawText(status(), 4, kStripY + 3);
    covered_ = true;
}

bool Viewer::draw_key(const Program&, std::string& key) const {
    key += "replay " + status() + ";";
    return true;
}

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

std::unique_ptr<Mode> watch_replay(Replay replay, std::string name, std::unique_ptr<Mode> back) {
    return std::make_unique<Viewer>(std::move(replay), std::move(name), std::move(back));
}

bool watch_replay_file(Program& p, const std::string& file) {
    Replay replay;
    std::string error;
    if (!load_replay(file, replay, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    p.hand_over([replay = std::move(replay), file](std::unique_ptr<Mode> current) mutable {
        return watch_replay(std::move(replay), file, std::move(current));
    });
    return true;
}

std::shared_ptr<FrameHook> replay_key(std::shared_ptr<Recorder> recorder) {
    return std::make_shared<ReplayKey>(std::move(recorder));
}
