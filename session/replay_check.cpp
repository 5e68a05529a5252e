#include "session/replay_check.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "session/pilots.h"
#include "session/runner.h"
#include "session/trace.h"
#include "present/scene_draw.h"
#include "session/output_file.h"
#include "sim/snapshot.h"
#include "platform/draw.h"
#include "platform/pixmap.h"
#include "platform/clock.h"
#include "session/program_end.h"

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

ReplayCheck check_replay(const Replay& r, StepFn step_fn) {
    ReplayCheck c;
    World w = r.header.world;
    Game g = r.header.game;
    FrameResult out;
    out.draw = false;
    ReplayCursor cursor(r);
    FrameInput in;
    while (cursor.next(in)) {
        step_fn(w, g, in, out);
        ++c.frames_run;
        if (c.frames_run % REPLAY_HASH_EVERY == 0) {
            uint64_t got = state_hash(w, g), want = r.hashes[size_t(c.frames_run / REPLAY_HASH_EVERY - 1)];
            if (got != want) {
                c.problem = mismatch(r, c.frames_run, got, want);
                c.final_hash = got;
                return c;
            }
            c.trusted = c.frames_run;
        }
        if (out.ended && c.frames_run < r.frames) {
            c.problem = ended_early(r, c.frames_run);
            return c;
        }
    }
    c.final_hash = state_hash(w, g);
    if (!r.damage.empty()) {
        c.problem = "damaged: " + r.damage;
        return c;
    }
    if (c.final_hash != r.final_hash) {
        c.problem = mismatch(r, c.frames_run, c.final_hash, r.final_hash);
        return c;
    }
    c.trusted = c.frames_run;
    c.ok = true;
    return c;
}

int verify_replay_file(const std::string& path) {
    Replay r;
    std::string error;
    if (!load_replay(path, r, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    ReplayCheck c = check_replay(r);
    if (!c.ok) {
        std::fprintf(stderr, "rc-whirlbat: %s: %s\n", path.c_str(), c.problem.c_str());
        return 1;
    }
    std::printf("%s: good: %ld frames (%s), %zu state hashes and the final one (%s) match; recorded %s by version %s\n",
                path.c_str(), r.frames, replay_time(r.frames).c_str(), r.hashes.size(), hex(r.final_hash).c_str(),
                r.header.date.c_str(), r.header.game_version.c_str());
    return 0;
}

void carry_out_replayed(Program& p, const FrameEvents& events, bool sounds, bool waits) {
    using K = FrameEvent::Kind;
    FrameEvents kept;
    for (const FrameEvent& e : events.list) {
        bool keep = e.kind == K::music || e.kind == K::music_stop || e.kind == K::music_volume ||
                    (e.kind == K::sfx && sounds) || (e.kind == K::wait && waits);
        if (keep) kept.list.push_back(e);
    }
    carry_out(p, kept);
}

void run_replay_headless(Program& p, const Replay& r, const std::string& name, int seed,
                         const HeadlessReplay& options) {
    // The trace and the pictures are put in place whole, as the harness's are.
    auto trace = std::make_shared<OutputFile>();
    std::string why;
    if (!options.trace.empty() && !trace->open(options.trace, &why)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        std::exit(2);
    }
    start_program(p, seed);
    AddEndHook([trace] {
        std::string why;
        if (!trace->is_open() || trace->commit(&why)) return;
        std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        RaiseExitCode(1);
    });
    auto fail = [&](const std::string& what, bool about_the_replay = true) {
        if (about_the_replay) std::fprintf(stderr, "rc-whirlbat: %s: %s\n", name.c_str(), what.c_str());
        else std::fprintf(stderr, "rc-whirlbat: %s\n", what.c_str());
        EndWithCode(1);
    };
    p.world = r.header.world;
    p.game = r.header.game;
    p.result.draw = !options.shots.empty();
    p.media.pilots_without_pads = pilots_without_pads(r.header.pilots);
    ReplayCursor cursor(r);
    FrameInput in;
    long k = 0;
    while ((options.frames == 0 || k < options.frames) && cursor.next(in)) {
        advance(p.world, p.game, in, p.result);
        ++k;
        carry_out_replayed(p, p.result.events, true, true);
        // A frame that ends the loop presents nothing, so the recording run traced nothing.
        if (!p.result.ended) {
            int frame = int(r.header.start_frame + k);
            if (p.result.draw) {
                draw_scene(p.result.scene, p.media);
                for (const auto& [n, file] : options.shots) {
                    if (n == frame && !save_png_in_place(file, ReadPicture(), &why)) fail(why, false);
                }
            }
            if (trace->is_open()) {
                if (!trace->write(trace_line(p, frame, MilliSecs()) + "\n", &why)) fail(why, false);
            } else {
                p.sound.take_log();
            }
        }
        if (k % REPLAY_HASH_EVERY == 0) {
            uint64_t got = state_hash(p.world, p.game), want = r.hashes[size_t(k / REPLAY_HASH_EVERY - 1)];
            if (got != want) fail(mismatch(r, k, got, want));
        }
        if (p.result.ended) break;
    }
    if (options.frames == 0 || k < options.frames) {
        if (k < r.frames) fail(ended_early(r, k));
        if (!r.damage.empty()) fail("damaged: " + r.damage);
        uint64_t got = state_hash(p.world, p.game);
        if (got != r.final_hash) fail(mismatch(r, k, got, r.final_hash));
    }
    EndWithCode(0);
}
