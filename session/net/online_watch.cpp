#include "session/net/online_watch.h"

#include <chrono>
#include <cstdio>

#include "platform/clock.h"
#include "platform/events.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/pacer.h"
#include "platform/window.h"
#include "present/plain_drawing.h"
#include "session/advance.h"
#include "session/net/online_view.h"
#include "session/net/rollback.h"
#include "session/replay_record.h"
#include "sim/snapshot.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPadSouth = 0, kPadEast = 1;
// Further behind than this, the watcher catches up headless instead of playing along.
constexpr long kCatchUpFrames = 180;
// A frame's share of the machine for catching up: the picture still comes every frame.
constexpr double kCatchUpBudgetMs = 10;
// The last picture of a match that ended stays this long before the title comes back.
constexpr int kEndFrames = 180;

class WatchMatch : public Mode {
public:
    WatchMatch(std::unique_ptr<WatchFeed> feed, std::unique_ptr<LocalPlay> back, std::shared_ptr<OnlineOutcome> outcome,
               const std::string& log)
        : feed_(std::move(feed)), back_(std::move(back)), outcome_(std::move(outcome)) {
        if (!log.empty() && !(log_ = std::fopen(log.c_str(), "w"))) std::fprintf(stderr, "rc-whirlbat: cannot write %s\n", log.c_str());
    }
    ~WatchMatch() override;

    ModeFrame step(Program& p) override;
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;
    int pilots_without_pads(const Program&) const override { return 2; }

private:
    void begin(Program& p);
    bool keys(Program& p);
    void play(Program& p);
    bool step_watched(Program& p, bool shown);
    void catch_up(Program& p);
    void finish(Program& p, const std::string& line);
    std::string status() const;

    std::unique_ptr<WatchFeed> feed_;
    std::unique_ptr<LocalPlay> back_;
    std::shared_ptr<OnlineOutcome> outcome_;
    Program* program_ = nullptr;
    bool begun_ = false;
    long shown_ = 0;  // frames stepped
    bool paused_ = false, catching_ = false;
    // Where and when the latest catching up began, for the log's figures.
    long catch_from_ = -1;
    Clock::time_point catch_began_;
    std::string failed_;  // the watch stopped: why
    int end_frames_ = -1;  // counting down once the match ended and was all shown
    Scene scene_;         // the last frame drawn
    bool has_scene_ = false;
    FILE* log_ = nullptr;
};

WatchMatch::~WatchMatch() {
    if (log_) std::fclose(log_);
    SetFrameIdle(nullptr);
    PaceInRealTime(false);
    if (program_ && program_->recorder) program_->recorder->end_with(nullptr, nullptr);
    if (feed_) feed_->leave();
}

// The match's first frame: the seed and the pilots the host gave.
void WatchMatch::begin(Program& p) {
    begun_ = true;
    program_ = &p;
    p.seed = feed_->seed();
    p.sound.stop_music();
    p.world = new_world(feed_->seed());
    p.game = new_game_state(PAD_PORTS, false);
    AppTitle("RC Whirlbat - watching");
    std::fprintf(stderr, "rc-whirlbat: watching the match (%s)\n", feed_->pilots().c_str());
    if (p.recorder) {
        p.recorder->set_seed(feed_->seed());
        p.recorder->end_with(&p.world, &p.game);
        std::string pilots = feed_->pilots();
        p.recorder->describe_pilots([pilots] { return pilots; });
    }
}

// True once the watcher left or the program is to end.
bool WatchMatch::keys(Program& p) {
    bool east = false, south = false;
    for (int port = 0; port < JoyAttached(); ++port) {
        east = JoyHit(kPadEast, port) > 0 || east;
        south = JoyHit(kPadSouth, port) > 0 || south;
    }
    if (AppTerminate()) {
        shut_down(p);
        return true;
    }
    if (KeyHit(KEY_ESCAPE) || east) {
        finish(p, "You stopped watching");
        return true;
    }
    if (KeyHit(KEY_SPACE) || south) paused_ = !paused_;
    if (KeyHit('C')) {
        paused_ = false;
        catching_ = true;
    }
    return false;
}

// One watched frame into the program's game; false when its state is not the host's.
bool WatchMatch::step_watched(Program& p, bool shown) {
    const auto& [blue, red] = feed_->frame(shown_);
    FrameInput in = compose_input(p.game, blue, red);
    p.result.draw = shown;
    advance(p.world, p.game, in, p.result);
    ++shown_;
    if (p.recorder) p.recorder->after_step(p.world, p.game, in, false, uint32_t(FlipCount()));
    for (auto& listener : p.listeners) listener->heard(p, p.world, p.game, in);
    carry_out(p, p.result.events, EventsCarried{shown, shown, false});
    if (shown) {
        scene_ = p.result.scene;
        has_scene_ = true;
    }
    uint64_t hash = state_hash(p.world, p.game);
    if (log_) std::fprintf(log_, "watched %ld %016llx\n", shown_, static_cast<unsigned long long>(hash));
    std::optional<uint64_t> want = feed_->hash(shown_);
    if (!want || *want == hash) return true;
    failed_ = "the watched game went apart from the match at frame " + std::to_string(shown_) + ": the watch stopped";
    return false;
}

// Far behind: frames without their pictures or sounds (the music follows) for a frame's
// share of the machine, and live again once near.
void WatchMatch::catch_up(Program& p) {
    auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(kCatchUpBudgetMs));
    long target = feed_->frames() - (feed_->over() ? 0 : WATCH_BEHIND_FRAMES);
    while (shown_ < target - 1 && Clock::now() < until) {
        if (!step_watched(p, false)) return;
    }
    if (shown_ < target - 1) return;
    catching_ = false;
    long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - catch_began_).count());
    if (log_) std::fprintf(log_, "caught_up frames=%ld ms=%ld\n", shown_ - catch_from_, ms);
    catch_from_ = -1;
}

void WatchMatch::play(Program& p) {
    long target = feed_->frames() - (feed_->over() ? 0 : WATCH_BEHIND_FRAMES);
    if (catching_ || target - shown_ > kCatchUpFrames) {
        catching_ = true;
        if (catch_from_ < 0) {
            catch_from_ = shown_;
            catch_began_ = Clock::now();
        }
        catch_up(p);
    }
    if (catching_ || paused_ || !failed_.empty()) return;
    // Along with the match, a frame a frame; a little further behind, two to close in.
    long lag = target - shown_;
    int steps = lag <= 0 ? 0 : lag > 10 ? 2 : 1;
    for (int i = 0; i < steps && failed_.empty(); ++i) step_watched(p, i == steps - 1);
}

void WatchMatch::finish(Program& p, const std::string& line) {
    std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str());
    if (p.recorder) {
        p.recorder->program_end(p.world, p.game);
        p.recorder->end_with(nullptr, nullptr);
    }
    feed_->leave();
    SetFrameIdle(nullptr);
    PaceInRealTime(false);
    AppTitle("RC Whirlbat");
    if (!back_) {
        p.end(failed_.empty() ? 0 : 1);
        return;
    }
    if (outcome_) {
        outcome_->done = true;
        outcome_->played = true;
    }
    back_->add_hook(std::make_shared<Notice>(line));
    p.hand_over([back = std::move(back_)](std::unique_ptr<Mode>) mutable -> std::unique_ptr<Mode> { return std::move(back); });
}

ModeFrame WatchMatch::step(Program& p) {
    read_devices();
    feed_->service(0);
    if (keys(p)) return nothing_shown();
    if (!feed_->started()) {
        if (feed_->over()) finish(p, feed_->message());
        return feed_->over() ? nothing_shown() : ModeFrame{};
    }
    if (!begun_) begin(p);
    if (failed_.empty()) play(p);
    if (!failed_.empty()) {
        finish(p, failed_);
        return nothing_shown();
    }
    if (feed_->over() && shown_ >= feed_->frames()) {
        if (end_frames_ < 0) end_frames_ = kEndFrames;
        if (--end_frames_ <= 0) {
            finish(p, feed_->message());
            return nothing_shown();
        }
    }
    ModeFrame f;
    f.scene = has_scene_ ? &scene_ : nullptr;
    return f;
}

std::string WatchMatch::status() const {
    if (!begun_) return "Watching: waiting for the match...";
    if (end_frames_ >= 0) return "The match is over";
    long behind = feed_->frames() - shown_;
    if (catching_) return "Catching up: " + std::to_string(shown_ * 100 / std::max(1L, feed_->frames())) + "%";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s behind", double(behind) / 60.0);
    return std::string(paused_ ? "PAUSED   " : "LIVE   ") + seconds;
}

void WatchMatch::draw_over(Program& p) {
    if (!has_scene_) {
        Cls();
        DrawImage(p.media.back_img, 0, 0);
    }
    PlainDrawing plain(p.media.game_font);
    if (begun_ && end_frames_ < 0) {
        // Live, paused or catching up: a small mark under the round, clear of the play.
        std::string mark = status();
        float w = float(TextWidth(mark)) * 0.45f + 12;
        SetColor(0, 0, 0);
        SetAlpha(0.6f);
        DrawRect(320 - w / 2, 29, w, 16);
        SetAlpha(1.0f);
        online_line(mark, 30, 0.45f, 255, paused_ ? 220 : 90, paused_ ? 140 : 80);
    } else {
        online_notice(status(), 255, 220, 140);
    }
    online_backing(436, 14);
    SetColor(220, 220, 220);
    SetScale(0.45f, 0.45f);
    std::string keys = feed_->pilots() + "     Space " + (paused_ ? "play" : "pause") + "   C catch up   Esc leave";
    DrawText(keys, 320 - float(TextWidth(keys)) * 0.45f / 2, 437);
}

bool WatchMatch::draw_key(const Program&, std::string& key) const {
    key += "watch " + status() + "|" + std::to_string(paused_) + ";";
    return true;
}

}  // namespace

std::unique_ptr<Mode> watch_match(std::unique_ptr<WatchFeed> feed, std::unique_ptr<LocalPlay> back,
                                  std::shared_ptr<OnlineOutcome> outcome, const std::string& log) {
    // The match is live: the watcher keeps to the real clock, headless too.
    PaceInRealTime(true);
    WatchFeed* heard = feed.get();
    SetFrameIdle([heard](double ms) { heard->service(int(ms)); });
    return std::make_unique<WatchMatch>(std::move(feed), std::move(back), std::move(outcome), log);
}
