#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/harness.h"
#include "app/pilot_panel.h"
#include "app/title_screens.h"
#include "platform/audio.h"
#include "platform/engine.h"
#include "platform/terminal.h"
#include "platform/window.h"
#include "session/local_play.h"
#include "net/lobby_protocol.h"
#include "session/net/netplay.h"
#include "session/replay.h"
#include "session/replay_check.h"
#include "session/replay_record.h"
#include "session/replay_run.h"
#include "session/replay_view.h"
#include "session/runner.h"

namespace {

constexpr int kRecoveredNoticeFrames = 480;

// The program whose end hooks run when the display goes away.
Program* running = nullptr;

// Every game is recorded, except in the headless harness's runs unless asked. A game a
// crash left unfinished is recovered first, and the title says so.
void start_recorder(Program& p, const HarnessOptions& opts, int seed, PilotPanel& panel) {
    if (opts.headless && opts.record.empty()) return;
    RecorderOptions record;
    record.next_file = opts.record;
    record.to_folder = !opts.headless;
    record.seed = seed;
    // Games a crash left unfinished are offered back first.
    if (record.to_folder && !replays_folder().empty()) {
        int recovered = 0;
        recover_partials(replays_folder(), [&recovered](const std::string& line) {
            std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str());
            recovered += line.rfind("a game left unfinished was recovered", 0) == 0;
        });
        if (recovered > 0) {
            panel.announce(recovered == 1 ? "A game a crash cut short was kept: the Replays screen lists it"
                                          : "Games a crash cut short were kept: the Replays screen lists them",
                           kRecoveredNoticeFrames, true);
        }
    }
    attach_recorder(p, std::make_shared<Recorder>(record));
}

// The first mode the command line asks for: a replay, an online game or the game itself.
std::unique_ptr<Mode> first_mode(Program& p, const HarnessOptions& opts, const Replay& replay, int* code) {
    int seed = start_seed(opts);
    std::string why;
    if (!opts.replay.empty() && opts.headless) {
        auto mode = replay_run(p, replay, opts.replay, {false, opts.trace, opts.shots, opts.frames}, &why);
        if (!mode) {
            std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
            *code = 2;
            return nullptr;
        }
        *code = 1;
        return start_program(p, seed) ? std::move(mode) : nullptr;
    }
    *code = 1;
    if (!start_program(p, seed)) return nullptr;
    if (!opts.replay.empty()) return watch_replay(replay, opts.replay, nullptr);
    auto panel = std::make_shared<PilotPanel>();
    start_recorder(p, opts, seed, *panel);
    NetOptions given;
    given.delay = opts.delay;
    given.net_log = opts.net_log;
    given.lobby = opts.lobby;
    given.relay = opts.relay;
    given.port_mapping = !opts.no_port_mapping;
    // The harness's runs stay off the network unless they ask for online play.
    auto online = online_from_title(given, !opts.headless && !opts.no_lan && p.settings.lan_search);
    auto play = std::make_unique<LocalPlay>(std::vector<std::shared_ptr<FrameHook>>{
        panel, std::make_shared<TitleScreens>(online), replay_key(p.recorder)});
    if (!opts.host && opts.join.empty() && !opts.join_lan && opts.watch.empty()) return play;
    NetOptions net{opts.host, opts.port, opts.join, opts.delay, opts.net_log,
                   opts.lobby.empty() ? p.settings.lobby : opts.lobby, opts.join_lan,
                   opts.relay.empty() ? p.settings.relay : opts.relay,
                   !opts.no_port_mapping && p.settings.port_mapping};
    net.watchers = p.settings.watchers;
    if (!opts.watch.empty()) {
        net.watch = true;
        net.join = opts.watch;
        // Codes are typed in either case; the meeting server knows them in capitals.
        std::string code = normal_code(opts.watch);
        if (!code.empty()) net.join = code;
    }
    return go_online(p, net, std::move(play), nullptr);
}

// --verify FILE: the replay played through once, nothing drawn or heard.
int verify(const std::string& path) {
    Replay replay;
    std::string error;
    if (!load_replay(path, replay, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    Program program;
    ReplayRunOptions options;
    options.verify = true;
    return run_program(program, replay_run(program, replay, path, options, &error));
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
    StartTerminalLines("rc-whirlbat: ");
    if (!opts.verify.empty()) return verify(opts.verify);
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
    Program program;
    running = &program;
    // A display that goes away ends the run as a close request would: traces and the
    // recording are finished, the sound written out.
    SetDisplayLostHandler([] {
        auto hooks = std::move(running->end_hooks);
        for (auto& hook : hooks) hook();
        AudioShutdown();
        FinishTerminalLines();
    });
    if (!start_harness(harness, program, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", error.c_str());
        return 2;
    }
    // A run that cannot start still finishes what the harness began (its end hooks).
    int code = 0;
    std::unique_ptr<Mode> first = first_mode(program, opts, replay, &code);
    if (!first) program.end(code);
    code = run_program(program, std::move(first));
    PlatformShutdown();
    return code;
}
