#include "app/harness.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "session/runner.h"
#include "session/output_file.h"
#include "sim/snapshot.h"
#include "session/sync_test.h"
#include "session/trace.h"
#include "app/settings.h"
#include "platform/options.h"
#include "platform/resources.h"
#include "platform/script.h"
#include "platform/clock.h"
#include "platform/pacer.h"
#include "session/program_end.h"

namespace {

// A whole number from lo to hi, written in full; anything else (a sign or digits too
// many for the range, trailing letters) is refused rather than wrapped.
bool parse_int(const char* s, int* out, long long lo = INT_MIN, long long hi = INT_MAX) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s, &end, 10);
    if (!*s || *end || errno == ERANGE || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

}  // namespace

const char* usage_text() {
    return "usage: rc-whirlbat [--window] [--data DIR] [--blue PILOT] [--red PILOT] [--stereo N]\n"
           "                   [--settings FILE | --no-settings] [--record FILE | --replay FILE | --verify FILE]\n"
           "                   [--host [PORT] | --join [HOST[:PORT] | CODE]] [--lobby HOST[:PORT]]\n"
           "                   [--relay USER:PASSWORD@HOST[:PORT]] [--delay N] [--net-log FILE] [--no-lan]\n"
           "                   [--headless] [--seed N] [--frames N] [--shot N:FILE]... [--trace FILE]\n"
           "                   [--script FILE] [--sync-test N] [--help]\n"
           "  --window        play in a window instead of full screen\n"
           "  --headless      no window and no sound device; a virtual clock (for tests)\n"
           "  --no-lan        the online screen does not look for games on the local network\n"
           "  --seed N        seed the random generator with N\n"
           "  --frames N      quit after the N-th frame is presented\n"
           "  --shot N:FILE   save the picture of the N-th frame as a PNG (repeatable)\n"
           "  --trace FILE    write the game's state after every frame, one JSON object a line\n"
           "  --script FILE   drive keys, mouse, window and virtual pads from a script\n"
           "  --sync-test N   after every frame, re-run the last N frames from a snapshot and\n"
           "                  stop with status 4 if the state differs\n"
           "  --data DIR      take the sounds from DIR instead of searching for them\n"
           "  --blue PILOT    who flies Blue in this run: pad, pad1..pad16, keys, computer,\n"
           "  --red PILOT     computer:easy, computer:normal or computer:hard\n"
           "  --no-settings   neither read nor write the settings file\n"
           "  --settings FILE keep the settings in FILE (headless runs keep none otherwise)\n"
           "  --stereo N      3D glasses mode for this run: 0 off, 1..4 the colour pairs\n"
           "  --record FILE   record the next game to FILE (games are otherwise kept in\n"
           "                  $XDG_DATA_HOME/rc-whirlbat/replays, except in headless runs)\n"
           "  --replay FILE   watch a recorded game; with --headless, play it as fast as possible\n"
           "                  without drawing: --trace and --shot number the frames as the\n"
           "                  recording run did, --frames N stops after the replay's N-th frame\n"
           "  --verify FILE   check a recorded game against its state hashes; status 0 or 1\n"
           "  --host [PORT]   play online: wait for a guest on UDP port PORT (7171); you fly Blue\n"
           "  --join HOST[:PORT]  play online against the host at HOST; you fly Red\n"
           "  --join CODE     join the host that has this code from the meeting server (six\n"
           "                  characters; a host named like a code is joined as NAME:PORT)\n"
           "  --join          join the game waiting on the local network, or list them if several\n"
           "  --lobby HOST[:PORT]  the meeting server for join codes (port 7170); --host then\n"
           "                  prints a code; the settings' lobby = HOST[:PORT] unless given\n"
           "  --relay USER:PASSWORD@HOST[:PORT]  with a code: a TURN server (port 3478) to play\n"
           "                  through when the routers let no punch through\n"
           "  --delay N       online: frames (0..4) between your input and your helicopter's\n"
           "                  answer; more hides more of a slow connection. Unless set, chosen\n"
           "                  from the round trip: 1 under 40 ms, 2 under 100, 3 under 160, else 4\n"
           "  --net-log FILE  online: write every confirmed frame's state hash, and the session's\n"
           "                  figures at its end, to FILE (for tests)\n"
           "  --help, -h      print this summary\n"
           "  The row under the title's menu opens Play Online, Replays and Options; F11 or\n"
           "  Alt+Enter switches full screen.\n"
           "  In the title, F5 plays the last recorded game. Exit status: 0 a normal end, 1 the\n"
           "  game could not run or a check failed, 2 a bad command line, 3 a script that never\n"
           "  ends its wait, 4 a failed sync test (man rc-whirlbat says which when).\n";
}

bool parse_options(int argc, char** argv, HarnessOptions& opts, std::string* error) {
    opts = HarnessOptions{};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h") {
            opts.help = true;
        } else if (arg == "--window") {
            opts.window = true;
        } else if (arg == "--headless") {
            opts.headless = true;
        } else if (arg == "--no-lan") {
            opts.no_lan = true;
        } else if (arg == "--seed") {
            int seed;
            if (!value(&v) || !parse_int(v, &seed)) return *error = "--seed needs a number from -2147483648 to 2147483647", false;
            opts.seed = seed;
        } else if (arg == "--frames") {
            if (!value(&v) || !parse_int(v, &opts.frames, 1))
                return *error = "--frames needs a number from 1 to 2147483647", false;
        } else if (arg == "--shot") {
            if (!value(&v)) return false;
            const char* colon = std::strchr(v, ':');
            int n;
            if (!colon || !parse_int(std::string(v, colon).c_str(), &n, 1) || !colon[1])
                return *error = "--shot needs N:FILE with N from 1 to 2147483647", false;
            opts.shots.emplace_back(n, colon + 1);
        } else if (arg == "--trace") {
            if (!value(&v)) return false;
            opts.trace = v;
        } else if (arg == "--script") {
            if (!value(&v)) return false;
            opts.script = v;
        } else if (arg == "--blue" || arg == "--red") {
            PilotChoice pilot;
            if (!value(&v) || !parse_pilot(v, &pilot))
                return *error = arg + " needs pad, padN, keys, computer or computer:easy|normal|hard", false;
            opts.pilot[arg == "--red"] = v;
        } else if (arg == "--no-settings") {
            opts.no_settings = true;
        } else if (arg == "--settings") {
            if (!value(&v)) return false;
            opts.settings = v;
        } else if (arg == "--stereo") {
            if (!value(&v) || !parse_int(v, &opts.stereo, 0, 4)) return *error = "--stereo needs a mode from 0 to 4", false;
        } else if (arg == "--sync-test") {
            if (!value(&v) || !parse_int(v, &opts.sync_test, 1, 600))
                return *error = "--sync-test needs a number of frames from 1 to 600", false;
        } else if (arg == "--host") {
            opts.host = true;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                if (!parse_int(argv[++i], &opts.port, 1, 65535)) return *error = "--host needs a port from 1 to 65535", false;
            }
        } else if (arg == "--join") {
            if (i + 1 >= argc || argv[i + 1][0] == '-') {
                opts.join_lan = true;
            } else {
                if (!value(&v) || !*v) return *error = "--join needs HOST, HOST:PORT or a code", false;
                opts.join = v;
            }
        } else if (arg == "--relay") {
            if (!value(&v) || !*v) return *error = "--relay needs USER:PASSWORD@HOST[:PORT]", false;
            opts.relay = v;
        } else if (arg == "--lobby") {
            if (!value(&v) || !*v) return *error = "--lobby needs HOST or HOST:PORT", false;
            opts.lobby = v;
        } else if (arg == "--delay") {
            if (!value(&v) || !parse_int(v, &opts.delay, 0, 4)) return *error = "--delay needs a number of frames from 0 to 4", false;
        } else if (arg == "--net-log") {
            if (!value(&v)) return false;
            opts.net_log = v;
        } else if (arg == "--data") {
            if (!value(&v)) return false;
            opts.data = v;
        } else if (arg == "--record" || arg == "--replay" || arg == "--verify") {
            if (!value(&v) || !*v) return *error = arg + " needs a file", false;
            (arg == "--record" ? opts.record : arg == "--replay" ? opts.replay : opts.verify) = v;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
    }
    if (opts.host && (!opts.join.empty() || opts.join_lan)) return *error = "--host and --join cannot go together", false;
    // A picture asked of a frame the run never reaches is refused up front (a replay's
    // pictures are numbered by the recording run's frames, its --frames by its own).
    for (const auto& [n, file] : opts.shots) {
        if (opts.frames > 0 && n > opts.frames && opts.replay.empty()) {
            *error = "--shot " + std::to_string(n) + ":" + file + " comes after the last frame (--frames " +
                     std::to_string(opts.frames) + ")";
            return false;
        }
    }
    int replay_modes = int(!opts.record.empty()) + int(!opts.replay.empty()) + int(!opts.verify.empty());
    if (replay_modes > 1) return *error = "--record, --replay and --verify go one at a time", false;
    return true;
}

bool start_harness(const HarnessOptions& opts, Program& p, std::string* error) {
    engine_options.headless = opts.headless;
    engine_options.windowed = opts.window;
    if (!opts.data.empty() && !SetDataFolder(opts.data))
        return *error = "--data " + opts.data + " is not a folder", false;
    // Settings: the player's file, unless asked not to; headless runs (tests) keep none
    // unless given a file, so that they stay independent of each other.
    std::string settings_path;
    if (!opts.settings.empty()) settings_path = opts.settings;
    else if (!opts.no_settings && !opts.headless) settings_path = default_settings_path();
    if (!settings_path.empty()) {
        load_settings(settings_path, p.settings,
                      [](const std::string& line) { std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str()); });
        p.hooks.push_back(std::make_shared<SettingsKeeper>(settings_path, p.settings));
    }
    // A window chosen in the settings, unless this run asks for one anyway.
    if (p.settings.full_screen == false) engine_options.windowed = true;
    for (int side = 0; side < 2; ++side) {
        PilotChoice pilot;
        if (parse_pilot(opts.pilot[side], &pilot)) p.run_pilot[side] = pilot;
    }
    if (opts.stereo >= 0) p.run_stereo = opts.stereo;
    if (!opts.script.empty()) {
        if (!ScriptLoad(opts.script, error)) return false;
        ScriptAttachPads();
    }
    // A harness output that cannot be written ends the run with one line and status 1.
    auto fail = [](const std::string& why) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        EndWithCode(1);
    };
    std::shared_ptr<OutputFile> trace;
    if (!opts.trace.empty()) {
        trace = std::make_shared<OutputFile>();
        if (!trace->open(opts.trace, error)) return false;
        AddEndHook([trace] {
            std::string why;
            if (!trace->is_open() || trace->commit(&why)) return;
            std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
            RaiseExitCode(1);
        });
    }
    if (!opts.shots.empty() || trace || opts.frames > 0) {
        AddFlipHook([&p, trace, fail, shots = opts.shots, frames = opts.frames] {
            int frame = FlipCount();
            std::string why;
            for (const auto& [n, file] : shots) {
                if (n == frame && !save_png_in_place(file, ReadPicture(), &why)) fail(why);
            }
            if (trace && !trace->write(trace_line(p) + "\n", &why)) fail(why);
            if (frames > 0 && frame >= frames) End();
        });
    }
    if (opts.sync_test > 0) p.hooks.push_back(std::make_shared<SyncTestHook>(opts.sync_test));
    return true;
}

int start_seed(const HarnessOptions& opts) {
    if (opts.seed) return *opts.seed;
    // The virtual clock of a headless run starts at 0 every time, which keeps it
    // repeatable; a player's launch takes the time since the system started.
    return opts.headless ? MilliSecs() : int(SystemMilliSecs());
}

