#include "session/replay_check.h"

#include <cinttypes>
#include <cstdio>

#include "sim/snapshot.h"

namespace {

std::string hex(uint64_t v) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, v);
    return buf;
}

std::string recorded_by(const Replay& r) {
    std::string v = r.header.game_version;
    if (v == game_version()) return "it was recorded by this version of the game (" + v + ")";
    return "it was recorded by version " + v + " of the game, this is " + game_version();
}

// A frame whose state is not the recorded one.
std::string mismatch(const Replay& r, long frame, uint64_t got, uint64_t want) {
    return "the game differs from the recording by frame " + std::to_string(frame) + " (" + replay_time(frame) +
           "): state hash " + hex(got) + " instead of " + hex(want) + "; " + recorded_by(r);
}

std::string ended_early(const Replay& r, long frame) {
    return "the game ends at frame " + std::to_string(frame) + " but the recording goes on to frame " +
           std::to_string(r.frames) + "; " + recorded_by(r);
}

}  // namespace

std::string replay_time(long frames) {
    long cs = frames * 100 / 60;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld.%02ld", cs / 6000, cs / 100 % 60, cs % 100);
    return buf;
}

bool ReplayPlayer::next(World& w, Game& g, FrameResult& out, StepFn step) {
    if (failed()) return false;
    in_ = FrameInput{};
    if (!cursor_.next(in_)) return false;
    step(w, g, in_, out);
    long k = ++check_.frames_run;
    if (k % REPLAY_HASH_EVERY == 0) {
        uint64_t got = state_hash(w, g), want = replay_.hashes[size_t(k / REPLAY_HASH_EVERY - 1)];
        if (got != want) {
            check_.problem = mismatch(replay_, k, got, want);
            check_.final_hash = got;
            return true;
        }
        check_.trusted = k;
    }
    if (out.ended && k < replay_.frames) check_.problem = ended_early(replay_, k);
    return true;
}

const ReplayCheck& ReplayPlayer::finish(const World& w, const Game& g) {
    if (failed() || check_.ok) return check_;
    check_.final_hash = state_hash(w, g);
    if (!replay_.damage.empty()) {
        check_.problem = "damaged: " + replay_.damage;
    } else if (check_.final_hash != replay_.final_hash) {
        check_.problem = mismatch(replay_, check_.frames_run, check_.final_hash, replay_.final_hash);
    } else {
        check_.trusted = check_.frames_run;
        check_.ok = true;
    }
    return check_;
}

ReplayCheck check_replay(const Replay& r, StepFn step_fn) {
    World w = r.header.world;
    Game g = r.header.game;
    FrameResult out;
    out.draw = false;
    ReplayPlayer player(r);
    while (player.next(w, g, out, step_fn)) {
        if (player.failed()) return player.check();
    }
    return player.finish(w, g);
}

std::string replay_good_line(const std::string& path, const Replay& r) {
    return path + ": good: " + std::to_string(r.frames) + " frames (" + replay_time(r.frames) + "), " +
           std::to_string(r.hashes.size()) + " state hashes and the final one (" + hex(r.final_hash) +
           ") match; recorded " + r.header.date + " by version " + r.header.game_version;
}
