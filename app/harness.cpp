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
#include "platform/window.h"

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

// After every presented frame: its picture if one was asked for, its trace line, and the
// end of the run at the last frame. An output that cannot be written ends the run with
// one line and status 1.
class HarnessOutputs : public FrameHook {
public:
    HarnessOutputs(std::vector<std::pair<int, std::string>> shots, std::shared_ptr<OutputFile> trace, int frames)
        : shots_(std::move(shots)), trace_(std::move(trace)), frames_(frames) {}

    void presented(Program& p) override {
        int frame = FlipCount();
        std::string why;
        for (const auto& [n, file] : shots_) {
            if (n == frame && !save_png_in_place(file, ReadPicture(), &why)) return fail(p, why);
        }
        if (trace_ && !trace_->write(trace_line(p) + "\n", &why)) return fail(p, why);
        if (frames_ > 0 && frame >= frames_) p.end(0);
    }

private:
    static void fail(Program& p, const std::string& why) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        p.end(1);
    }

    std::vector<std::pair<int, std::string>> shots_;
    std::shared_ptr<OutputFile> trace_;
    int frames_;
};

}  // namespace

const char* usage_text() {
    return "usage: rc-whirlbat [--window] [--data DIR] [--blue PILOT] [--red PILOT] [--stereo N]\n"
           "                   [--settings FILE | --no-settings] [--record FILE | --replay FILE | --verify FILE]\n"
           "                   [--host [PORT] | --join [HOST[:PORT] | CODE]] [--lobby HOST[:PORT]]\n"
           "                   [--relay USER:PASSWORD@HOST[:PORT]] [--delay N] [--net-log FILE] [--no-lan]\n"
           "                   [--no-port-mapping] [--watch HOST[:PORT] | CODE]\n"
           "                   [--headless] [--seed N] [--frames N] [--shot N:FILE]... [--trace FILE]\n"
           "                   [--script FILE] [--sync-test N] [--help]\n"
           "  --window        play in a window instead of full screen\n"
           "  --headless      no window and no sound device; a virtual clock (for tests)\n"
           "  --no-lan        the online screen does not look for games on the local network\n"
           "  --no-port-mapping  hosting never asks the router to forward the game's port\n"
           "                  (UPnP, NAT-PMP); the settings' port_mapping = off does the same\n"
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
           "  --watch HOST[:PORT] | CODE  watch the match that host plays, live, from its start\n"
           "                  (caught up at once; Space pauses, C catches up, Escape leaves)\n"
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

namespace {

// The command line, one argument after another. Each group of options takes the
// argument if it is one of its own: Taken::no passes it on, Taken::bad ends the reading
// with *error set.
enum class Taken { no, yes, bad };

class Arguments {
public:
    Arguments(int argc, char** argv, HarnessOptions& opts, std::string* error)
        : argc_(argc), argv_(argv), opts_(opts), error_(error) {}
    bool read();

private:
    // The argument's value (the next argument); false with the error if there is none.
    bool value(const char** out) {
        if (i_ + 1 >= argc_) {
            *error_ = arg_ + " needs a value";
            return false;
        }
        *out = argv_[++i_];
        return true;
    }
    // The next argument, if it is not an option.
    const char* optional_value() { return i_ + 1 < argc_ && argv_[i_ + 1][0] != '-' ? argv_[++i_] : nullptr; }
    Taken bad(const std::string& why) {
        *error_ = why;
        return Taken::bad;
    }
    Taken number(int* out, long long lo, long long hi, const std::string& why) {
        const char* v = nullptr;
        return value(&v) && parse_int(v, out, lo, hi) ? Taken::yes : bad(why);
    }
    Taken text(std::string* out, const std::string& why = "") {
        const char* v = nullptr;
        if (!value(&v)) return why.empty() ? Taken::bad : bad(why);
        if (!why.empty() && !*v) return bad(why);
        *out = v;
        return Taken::yes;
    }
    Taken harness();
    Taken play();
    Taken online();
    bool agree();

    int argc_;
    char** argv_;
    HarnessOptions& opts_;
    std::string* error_;
    int i_ = 1;
    std::string arg_;
};

// The headless harness's options: tests, tools and reviews.
Taken Arguments::harness() {
    if (arg_ == "--headless") return opts_.headless = true, Taken::yes;
    if (arg_ == "--seed") {
        int seed;
        Taken t = number(&seed, INT_MIN, INT_MAX, "--seed needs a number from -2147483648 to 2147483647");
        if (t == Taken::yes) opts_.seed = seed;
        return t;
    }
    if (arg_ == "--frames") return number(&opts_.frames, 1, INT_MAX, "--frames needs a number from 1 to 2147483647");
    if (arg_ == "--shot") {
        const char* v = nullptr;
        if (!value(&v)) return Taken::bad;
        const char* colon = std::strchr(v, ':');
        int n;
        if (!colon || !parse_int(std::string(v, colon).c_str(), &n, 1) || !colon[1])
            return bad("--shot needs N:FILE with N from 1 to 2147483647");
        opts_.shots.emplace_back(n, colon + 1);
        return Taken::yes;
    }
    if (arg_ == "--trace") return text(&opts_.trace);
    if (arg_ == "--script") return text(&opts_.script);
    if (arg_ == "--sync-test") return number(&opts_.sync_test, 1, 600, "--sync-test needs a number of frames from 1 to 600");
    return Taken::no;
}

// The player's options: the window, the pilots, the settings, replays.
Taken Arguments::play() {
    if (arg_ == "--help" || arg_ == "-h") return opts_.help = true, Taken::yes;
    if (arg_ == "--window") return opts_.window = true, Taken::yes;
    if (arg_ == "--blue" || arg_ == "--red") {
        const char* v = nullptr;
        PilotChoice pilot;
        if (!value(&v) || !parse_pilot(v, &pilot))
            return bad(arg_ + " needs pad, padN, keys, computer or computer:easy|normal|hard");
        opts_.pilot[arg_ == "--red"] = v;
        return Taken::yes;
    }
    if (arg_ == "--no-settings") return opts_.no_settings = true, Taken::yes;
    if (arg_ == "--settings") return text(&opts_.settings);
    if (arg_ == "--stereo") return number(&opts_.stereo, 0, 4, "--stereo needs a mode from 0 to 4");
    if (arg_ == "--data") return text(&opts_.data);
    if (arg_ == "--record") return text(&opts_.record, arg_ + " needs a file");
    if (arg_ == "--replay") return text(&opts_.replay, arg_ + " needs a file");
    if (arg_ == "--verify") return text(&opts_.verify, arg_ + " needs a file");
    return Taken::no;
}

Taken Arguments::online() {
    if (arg_ == "--no-lan") return opts_.no_lan = true, Taken::yes;
    if (arg_ == "--no-port-mapping") return opts_.no_port_mapping = true, Taken::yes;
    if (arg_ == "--host") {
        opts_.host = true;
        const char* port = optional_value();
        if (port && !parse_int(port, &opts_.port, 1, 65535)) return bad("--host needs a port from 1 to 65535");
        return Taken::yes;
    }
    if (arg_ == "--join") {
        if (i_ + 1 >= argc_ || argv_[i_ + 1][0] == '-') return opts_.join_lan = true, Taken::yes;
        return text(&opts_.join, "--join needs HOST, HOST:PORT or a code");
    }
    if (arg_ == "--watch") return text(&opts_.watch, "--watch needs HOST, HOST:PORT or a code");
    if (arg_ == "--relay") return text(&opts_.relay, "--relay needs USER:PASSWORD@HOST[:PORT]");
    if (arg_ == "--lobby") return text(&opts_.lobby, "--lobby needs HOST or HOST:PORT");
    if (arg_ == "--delay") return number(&opts_.delay, 0, 4, "--delay needs a number of frames from 0 to 4");
    if (arg_ == "--net-log") return text(&opts_.net_log);
    return Taken::no;
}

// What the options say together.
bool Arguments::agree() {
    if (opts_.host && (!opts_.join.empty() || opts_.join_lan))
        return *error_ = "--host and --join cannot go together", false;
    if (!opts_.watch.empty() && (opts_.host || !opts_.join.empty() || opts_.join_lan))
        return *error_ = "--watch goes without --host and --join", false;
    // A picture asked of a frame the run never reaches is refused up front (a replay's
    // pictures are numbered by the recording run's frames, its --frames by its own).
    for (const auto& [n, file] : opts_.shots) {
        if (opts_.frames > 0 && n > opts_.frames && opts_.replay.empty()) {
            *error_ = "--shot " + std::to_string(n) + ":" + file + " comes after the last frame (--frames " +
                      std::to_string(opts_.frames) + ")";
            return false;
        }
    }
    int replay_modes = int(!opts_.record.empty()) + int(!opts_.replay.empty()) + int(!opts_.verify.empty());
    if (replay_modes > 1) return *error_ = "--record, --replay and --verify go one at a time", false;
    return true;
}

bool Arguments::read() {
    opts_ = HarnessOptions{};
    for (; i_ < argc_; ++i_) {
        arg_ = argv_[i_];
        Taken t = harness();
        if (t == Taken::no) t = play();
        if (t == Taken::no) t = online();
        if (t == Taken::bad) return false;
        if (t == Taken::no) return *error_ = "unknown option " + arg_, false;
    }
    return agree();
}

}  // namespace

bool parse_options(int argc, char** argv, HarnessOptions& opts, std::string* error) {
    return Arguments(argc, argv, opts, error).read();
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
    SetWindowedSize(p.settings.window_w, p.settings.window_h);
    for (int side = 0; side < 2; ++side) {
        PilotChoice pilot;
        if (parse_pilot(opts.pilot[side], &pilot)) p.run_pilot[side] = pilot;
    }
    if (opts.stereo >= 0) p.run_stereo = opts.stereo;
    if (!opts.script.empty()) {
        if (!ScriptLoad(opts.script, error)) return false;
        ScriptAttachPads();
    }
    std::shared_ptr<OutputFile> trace;
    if (!opts.trace.empty() && !(trace = open_trace(p, opts.trace, error))) return false;
    if (!opts.shots.empty() || trace || opts.frames > 0)
        p.outputs.push_back(std::make_shared<HarnessOutputs>(opts.shots, trace, opts.frames));
    if (opts.sync_test > 0) p.listeners.push_back(std::make_shared<SyncTestListener>(opts.sync_test));
    return true;
}

int start_seed(const HarnessOptions& opts) {
    if (opts.seed) return *opts.seed;
    // The virtual clock of a headless run starts at 0 every time, which keeps it
    // repeatable; a player's launch takes the time since the system started.
    return opts.headless ? MilliSecs() : int(SystemMilliSecs());
}

