#include <cstdio>
#include <memory>
#include <string>

#include "app/driver.h"
#include "app/harness.h"
#include "app/replay.h"
#include "app/replay_check.h"
#include "app/replay_record.h"
#include "app/replay_view.h"
#include "app/netplay.h"

int main(int argc, char** argv) {
    HarnessOptions opts;
    std::string error;
    if (!parse_options(argc, argv, opts, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s; see --help\n", error.c_str());
        return 2;
    }
    if (opts.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    if (!opts.verify.empty()) return verify_replay_file(opts.verify);
    Replay replay;
    if (!opts.replay.empty() && !load_replay(opts.replay, replay, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s: %s\n", opts.replay.c_str(), error.c_str());
        return 1;
    }
    // A headless replay writes its trace and pictures itself, by the recording's frames.
    HarnessOptions harness = opts;
    if (!opts.replay.empty() && opts.headless) {
        harness.trace.clear();
        harness.shots.clear();
        harness.frames = 0;
    }
    // The program ends from inside the loop (End), while this frame still stands.
    Program program;
    if (!start_harness(harness, program, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", error.c_str());
        return 2;
    }
    int seed = start_seed(opts);
    if (!opts.replay.empty()) {
        if (opts.headless) run_replay_headless(program, replay, opts.replay, seed, {opts.trace, opts.shots, opts.frames});
        run_replay_window(program, replay, opts.replay, seed);
    }
    // Every game is recorded, except in the headless harness's runs unless asked.
    std::shared_ptr<Recorder> recorder;
    if (!opts.headless || !opts.record.empty()) {
        RecorderOptions record;
        record.next_file = opts.record;
        record.to_folder = !opts.headless;
        record.seed = seed;
        recorder = std::make_shared<Recorder>(record);
        attach_recorder(program, recorder);
    }
    add_replay_key(program, recorder);
    if (opts.host || !opts.join.empty()) run_online_game(program, opts, seed, recorder);
    run_game(program, seed);
}
