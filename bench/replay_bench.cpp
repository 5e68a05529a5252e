// Replay figures: how big a recorded game is per minute (all of it, and its busy
// seconds: a round running, both pilots flying and firing), and how fast a replay plays
// back without a picture (in the program: checking it; and the program's --replay
// --headless, with and without a trace), against the 60 frames a second of real time.
//
// The games are the first of each golden run (tests/golden/runs.txt), recorded with
// --record by the program itself.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "session/runner.h"
#include "app/harness.h"
#include "session/trace.h"
#include "session/replay.h"
#include "session/replay_check.h"
#include "session/replay_record.h"
#include "platform/options.h"
#include "support.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

struct Run {
    std::string name;
    std::vector<std::string> args;
};

std::vector<Run> golden_games() {
    std::vector<Run> runs;
    std::ifstream file(test_support::SourcePath("tests/golden/runs.txt"));
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("game", 0) != 0) continue;
        std::istringstream words(line);
        Run run;
        words >> run.name;
        for (std::string w; words >> w;) run.args.push_back(w);
        runs.push_back(run);
    }
    return runs;
}

// The bytes of a replay's seconds of frames in which a round ran throughout.
struct Busy {
    long seconds = 0;
    size_t bytes = 0;
};

Busy busy_seconds(const Replay& r, const std::vector<uint8_t>& file) {
    // Which seconds ran a round all through.
    std::vector<bool> running;
    World w = r.header.world;
    Game g = r.header.game;
    FrameResult out;
    out.draw = false;
    ReplayCursor cursor(r);
    FrameInput in;
    bool all = true;
    while (cursor.next(in)) {
        step(w, g, g.after == AfterPresent::round_start ? FrameInput{} : in, out);
        all = all && g.game_state == GameState::play && g.play_phase == PlayPhase::running;
        if (cursor.frame() % REPLAY_HASH_EVERY == 0) {
            running.push_back(all);
            all = true;
        }
    }
    // The file's blocks: the header, then one a second.
    Busy busy;
    size_t at = 10;
    for (long block = -1; at < file.size(); ++block) {
        size_t size = 0, i = at + 1;
        for (int shift = 0;; shift += 7) {
            size |= size_t(file[i] & 0x7f) << shift;
            if (!(file[i++] & 0x80)) break;
        }
        size_t next = i + size + 4;
        if (block >= 0 && size_t(block) < running.size() && running[size_t(block)]) {
            busy.seconds += 1;
            busy.bytes += next - at;
        }
        at = next;
    }
    return busy;
}

}  // namespace

int main() {
    std::string folder = test_support::OutputPath("replay-bench");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    long frames = 0, busy_s = 0;
    size_t bytes = 0, busy_bytes = 0, largest_rate = 0;
    double check_s = 0, program_s = 0, traced_s = 0;
    std::string worst;
    std::printf("%-8s %7s %8s %10s %12s\n", "game", "frames", "bytes", "KB/min", "busy KB/min");
    for (const Run& run : golden_games()) {
        std::string file = folder + "/" + run.name + REPLAY_EXTENSION;
        std::vector<std::string> args = {"--headless", "--record", file};
        args.insert(args.end(), run.args.begin(), run.args.end());
        std::string err;
        if (test_support::RunGame(args, &err) != 0) {
            std::fprintf(stderr, "%s: %s", run.name.c_str(), err.c_str());
            return 1;
        }
        Replay r;
        if (!load_replay(file, r, &err)) {
            std::fprintf(stderr, "%s: %s\n", run.name.c_str(), err.c_str());
            return 1;
        }
        std::vector<uint8_t> raw;
        {
            std::ifstream f(file, std::ios::binary);
            raw.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        }
        Busy busy = busy_seconds(r, raw);
        auto t0 = Clock::now();
        ReplayCheck c = check_replay(r);
        check_s += seconds_since(t0);
        if (!c.ok) {
            std::fprintf(stderr, "%s: %s\n", run.name.c_str(), c.problem.c_str());
            return 1;
        }
        t0 = Clock::now();
        test_support::RunGame({"--replay", file, "--headless"}, &err);
        program_s += seconds_since(t0);
        t0 = Clock::now();
        test_support::RunGame({"--replay", file, "--headless", "--trace", folder + "/trace.jsonl"}, &err);
        traced_s += seconds_since(t0);
        double minutes = r.frames / 3600.0;
        double rate = raw.size() / 1024.0 / minutes;
        double busy_rate = busy.seconds ? busy.bytes / 1024.0 / (busy.seconds / 60.0) : 0;
        std::printf("%-8s %7ld %8zu %10.2f %12.2f\n", run.name.c_str(), r.frames, raw.size(), rate, busy_rate);
        if (size_t(busy_rate * 100) > largest_rate) largest_rate = size_t(busy_rate * 100), worst = run.name;
        frames += r.frames;
        bytes += raw.size();
        busy_s += busy.seconds;
        busy_bytes += busy.bytes;
    }
    double minutes = frames / 3600.0;
    std::printf("\nrecorded: %ld frames (%.1f minutes) in %zu bytes: %.2f KB a minute of game\n", frames, minutes, bytes,
                bytes / 1024.0 / minutes);
    std::printf("\n");
    std::printf("busy play (a round running all through a second): %ld seconds in %zu bytes: %.2f KB a minute "
                "(goal 10; the busiest game, %s: %.2f)\n",
                busy_s, busy_bytes, busy_bytes / 1024.0 / (busy_s / 60.0), worst.c_str(), largest_rate / 100.0);
    // What recording costs the game: the builder on every frame (a state hash every 60th),
    // and the writing thread's write and sync of a second's block.
    {
        Replay r;
        std::string err;
        load_replay(folder + "/game001" + REPLAY_EXTENSION, r, &err);
        std::vector<FrameInput> inputs;
        ReplayCursor cursor(r);
        for (FrameInput in; cursor.next(in);) inputs.push_back(in);
        auto play = [&](bool record) {
            World w = r.header.world;
            Game g = r.header.game;
            FrameResult out;
            out.draw = false;
            ReplayBuilder b(r.header);
            auto t0 = Clock::now();
            for (const FrameInput& in : inputs) {
                bool reads = g.after != AfterPresent::round_start;
                step(w, g, reads ? in : FrameInput{}, out);
                if (record) b.frame(in, reads, w, g);
            }
            return seconds_since(t0);
        };
        play(true);
        double plain = play(false), recorded = play(true);
        std::printf("recording: %.2f us a frame on top of the step's %.2f us\n",
                    (recorded - plain) * 1e6 / double(inputs.size()), plain * 1e6 / double(inputs.size()));
        ReplayFile file;
        std::string path = folder + "/sync-test" + REPLAY_EXTENSION;
        file.open(path, &err);
        auto t0 = Clock::now();
        const int blocks = 200;
        for (int i = 0; i < blocks; ++i) file.write(std::vector<uint8_t>(80, uint8_t(i)));
        file.complete(&err);
        std::printf("the writing thread: %.2f ms to write and sync a second's block (%d blocks)\n",
                    seconds_since(t0) * 1e3 / blocks, blocks);
    }
    double real_s = frames / 60.0;
    std::printf("checking in the program (no picture, no sound): %.0f frames/s, %.0fx real time\n", frames / check_s,
                real_s / check_s);
    std::printf("rc-whirlbat --replay --headless, %zu games, each a process of its own: %.0f frames/s, %.0fx real "
                "time (goal 200x)\n",
                golden_games().size(), frames / program_s, real_s / program_s);
    std::printf("the same with --trace: %.0f frames/s, %.0fx real time\n", frames / traced_s, real_s / traced_s);

    // The headless replay's loop in this process, after one start-up: each frame's step
    // and its sounds, and with the trace line too.
    engine_options.headless = true;
    static Program program;
    start_program(program, 1);
    double loop_s = 0, traced_loop_s = 0;
    for (const Run& run : golden_games()) {
        Replay r;
        std::string err;
        load_replay(folder + "/" + run.name + REPLAY_EXTENSION, r, &err);
        for (bool traced : {false, true}) {
            program.world = r.header.world;
            program.game = r.header.game;
            program.result.draw = false;
            ReplayPlayer player(r);
            size_t characters = 0;
            auto t0 = Clock::now();
            while (player.next(program.world, program.game, program.result)) {
                carry_out(program, program.result.events, EventsCarried{true, true, false});
                if (traced) characters += trace_line(program, int(player.frame()), 0).size();
                else program.sound.take_log();
            }
            (traced ? traced_loop_s : loop_s) += seconds_since(t0);
            if (traced && characters == 0) return 1;
        }
    }
    std::printf("its loop after start-up: %.0f frames/s, %.0fx real time; with the trace: %.0f frames/s, %.0fx\n",
                frames / loop_s, real_s / loop_s, frames / traced_loop_s, real_s / traced_loop_s);
    return 0;
}
