#include "app/replays_screen.h"

#include <cstdio>
#include <filesystem>

#include "platform/draw.h"
#include "platform/font.h"
#include "session/replay_check.h"
#include "session/replay_record.h"
#include "session/replay_view.h"

namespace {

// "2026-12-08T10:34:24Z" as "2026-12-08 10:34 UTC".
std::string shown_date(const std::string& date) {
    if (date.size() < 16) return date;
    return date.substr(0, 10) + " " + date.substr(11, 5) + " UTC";
}

// "2:18.81" as "2:18".
std::string shown_length(long frames) {
    std::string t = replay_time(frames);
    size_t dot = t.find('.');
    return dot == std::string::npos ? t : t.substr(0, dot);
}

// The score of the game's last frame in play (the title after it starts the next afresh),
// as far as the replay checks out.
void score_of(const Replay& r, int score[2]) {
    World w = r.header.world;
    Game g = r.header.game;
    FrameResult out;
    out.draw = false;
    ReplayPlayer player(r);
    while (player.next(w, g, out) && !player.failed()) {
        if (g.game_state == GameState::title || g.game_state == GameState::intro) continue;
        for (int side = 0; side < 2; ++side) score[side] = w.player[side].score;
        if (out.ended) break;
    }
}

}  // namespace

ReplaysScreen::ReplaysScreen(const std::string& folder) {
    std::string from = folder.empty() ? replays_folder() : folder;
    for (const std::string& path : from.empty() ? std::vector<std::string>{} : kept_replays(from)) {
        if (kept_.size() >= size_t(REPLAYS_KEPT)) break;
        Kept k;
        k.path = path;
        std::string why;
        if (!load_replay(path, k.replay, &why)) continue;
        k.date = shown_date(k.replay.header.date);
        k.pilots = pilots_label(k.replay.header.pilots);
        k.length = shown_length(k.replay.frames);
        kept_.push_back(std::move(k));
    }
    list_.title = "Replays";
    list_.top = 110;
    list_.step = 26;
    list_.scale = 0.6f;
    list_.left = 40;
    list_.right = 600;
    list_.shown = 10;
    fill();
}

void ReplaysScreen::fill() {
    list_.entries.clear();
    for (const Kept& k : kept_) {
        std::string score = k.scored ? "Blue " + std::to_string(k.score[0]) + " : " + std::to_string(k.score[1]) + " Red"
                                     : "...";
        list_.entries.push_back({k.date, score + "   " + k.length});
    }
    list_.entries.push_back({"Back", ""});
    list_.focus = std::min(list_.focus, int(list_.entries.size()) - 1);
}

Screen::Step ReplaysScreen::frame(Program&, const Nav& nav, FrameInput&) {
    Step step;
    // One game's score a frame, the one in focus first.
    Kept* next = nullptr;
    if (list_.focus < int(kept_.size()) && !kept_[size_t(list_.focus)].scored) next = &kept_[size_t(list_.focus)];
    for (Kept& k : kept_) {
        if (!next && !k.scored) next = &k;
    }
    if (next) {
        score_of(next->replay, next->score);
        next->scored = true;
    }
    int focus = list_.focus;
    bool on_game = focus < int(kept_.size());
    if (confirm_) {
        if (nav.choose && on_game) {
            std::error_code ec;
            std::filesystem::remove(kept_[size_t(focus)].path, ec);
            message_ = ec ? "Could not delete it: " + ec.message() : "Deleted.";
            if (!ec) kept_.erase(kept_.begin() + focus);
            confirm_ = false;
        } else if (nav.back) {
            confirm_ = false;
            message_.clear();
        }
        fill();
        return step;
    }
    bool clicked = list_.navigate(nav);
    if (list_.focus != focus) message_.clear();
    focus = list_.focus;
    on_game = focus < int(kept_.size());
    if (nav.back) {
        step.open = false;
    } else if (nav.remove && on_game) {
        confirm_ = true;
    } else if (nav.choose || clicked) {
        if (on_game) watch_ = kept_[size_t(focus)].path;
        else step.open = false;
    }
    fill();
    return step;
}

void ReplaysScreen::presented(Program& p) {
    if (watch_.empty()) return;
    std::string file = std::move(watch_);
    watch_.clear();
    if (!watch_replay_file(p, file)) message_ = "That replay cannot be read.";
}

void ReplaysScreen::draw(const Program& p) {
    PadNames pad = pad_names(p);
    std::string a = " or (" + pad.south + ")", b = " or (" + pad.east + ")", x = " or (" + pad.west + ")";
    screen_backdrop();
    list_.draw();
    SetColor(150, 150, 150);
    screen_text("date", list_.left, list_.top - 24, 0.6f, false);
    screen_text("score", list_.right - 150, list_.top - 24, 0.6f, false);
    screen_text("length", list_.right - float(TextWidth("length")) * 0.6f, list_.top - 24, 0.6f, false);
    if (kept_.empty()) {
        SetColor(220, 220, 220);
        screen_text("No games are kept yet: every game played is kept here.", 320, 200, 0.65f, true);
    }
    float y = 380;
    if (list_.focus < int(kept_.size())) {
        const Kept& k = kept_[size_t(list_.focus)];
        SetColor(220, 220, 220);
        screen_text(k.pilots, 320, y, 0.6f, true);
        SetColor(150, 150, 150);
        screen_text("Watching: Space (" + pad.south + ") pause  Right one frame  F faster  N next round  Esc (" +
                        pad.east + ") back",
                    320, y + 22, 0.6f, true);
    }
    if (!message_.empty() || confirm_) {
        SetColor(255, 210, 80);
        screen_text(confirm_ ? "Delete the game of " + kept_[size_t(list_.focus)].date + "? Return" + a + ": yes" : message_,
                    320, y + 44, 0.6f, true);
    }
    screen_hints(confirm_ ? "Return" + a + ": delete   Esc" + b + ": keep it"
                          : "Return" + a + ": watch   Delete" + x + ": delete   Esc" + b + ": back");
}
