#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "session/runner.h"
#include "app/harness.h"
#include "app/pilot_panel.h"
#include "app/title_screens.h"
#include "session/program_end.h"
#include "platform/audio.h"
#include "platform/window.h"
#include "session/replay.h"
#include "session/replay_check.h"
#include "session/replay_record.h"
#include "session/replay_view.h"
#include "net/lan_discovery.h"
#include "session/net/netplay.h"

namespace {

// How long the online screen listens for the network's games each time it asks.
constexpr int kLanSearchMs = 1500;

// The run the command line asks for: a replay, an online game or the game itself. It
// ends by End, never by returning.
[[noreturn]] void play(Program& program, const HarnessOptions& opts, const Replay& replay,
                       std::shared_ptr<Recorder>& recorder, OnlinePlay& online) {
    int seed = start_seed(opts);
    if (!opts.replay.empty()) {
        if (opts.headless) run_replay_headless(program, replay, opts.replay, seed, {opts.trace, opts.shots, opts.frames});
        run_replay_window(program, replay, opts.replay, seed);
    }
    // Every game is recorded, except in the headless harness's runs unless asked.
    if (!opts.headless || !opts.record.empty()) {
        RecorderOptions record;
        record.next_file = opts.record;
        record.to_folder = !opts.headless;
        record.seed = seed;
        // Games a crash left unfinished are offered back first.
        if (record.to_folder && !replays_folder().empty()) {
            recover_partials(replays_folder(),
                             [](const std::string& line) { std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str()); });
        }
        recorder = std::make_shared<Recorder>(record);
        attach_recorder(program, recorder);
    }
    add_replay_key(program, recorder);
    // The harness's runs stay off the network unless they ask for online play.
    if (!opts.headless && !opts.no_lan) online.lan_games = [] {
        std::vector<std::string> lines;
        for (const LanGame& g : find_lan_games(kLanSearchMs))
            lines.push_back("version " + g.version + "  " + g.address +
                            (g.port == NET_DEFAULT_PORT ? std::string() : ":" + std::to_string(g.port)));
        return lines;
    };
    online.start = [&recorder, opts](Program& p, const NetOptions& net, bool* gave_up, std::string* failure) {
        NetOptions o = net;
        o.delay = opts.delay;
        o.net_log = opts.net_log;
        if (o.lobby.empty()) o.lobby = opts.lobby.empty() ? p.settings.lobby : opts.lobby;
        return play_online(p, o, p.seed, recorder, gave_up, failure);
    };
    if (opts.host || !opts.join.empty() || opts.join_lan) {
        NetOptions net{opts.host, opts.port, opts.join, opts.delay, opts.net_log,
                       opts.lobby.empty() ? program.settings.lobby : opts.lobby, opts.join_lan, opts.relay};
        run_online_game(program, net, seed, recorder);
    }
    run_game(program, seed);
}

}  // namespace

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
    if (!opts.record.empty() && !record_target(opts.record, &opts.record, &error)) {
        std::fprintf(stderr, "rc-whirlbat: --record %s: %s\n", opts.record.c_str(), error.c_str());
        return 2;
    }
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
    // The program ends by End (a quit, the last frame of a run, a fatal error), which
    // unwinds to here; the end hooks then finish the traces and the recording, and the
    // devices are closed.
    // A display that goes away ends the run as a close request would: traces and the
    // recording are finished, the sound written out.
    SetDisplayLostHandler([] {
        RunEndHooks();
        AudioShutdown();
    });
    Program program;
    program.hooks.push_back(std::make_shared<PilotPanel>());
    auto online = std::make_shared<OnlinePlay>();
    program.hooks.push_back(std::make_shared<TitleScreens>(online));
    if (!start_harness(harness, program, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", error.c_str());
        return 2;
    }
    std::shared_ptr<Recorder> recorder;
    int code = 0;
    try {
        play(program, opts, replay, recorder, *online);
    } catch (const ProgramEnd& end) {
        code = end.code;
    }
    return FinishProgram(code);
}
