#pragma once
// The command line: the player's --window, and the headless harness that tests, tools
// and reviews drive (seed, frame limit, screenshots, state trace, input script, the
// re-run check of the step).
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Program;

struct HarnessOptions {
    bool help = false;
    bool window = false;
    bool headless = false;
    bool no_lan = false;  // --no-lan: the online screen does not ask the local network for games
    bool no_port_mapping = false;  // --no-port-mapping: hosting never asks the router to forward a port
    std::optional<int> seed;
    int frames = 0;  // 0: no limit
    std::vector<std::pair<int, std::string>> shots;
    std::string trace;
    std::string script;
    int sync_test = 0;  // frames re-run after every frame; 0 none
    std::string data;  // the folder of the sounds, instead of searching for it
    std::string pilot[2];    // --blue, --red: pilots for this run
    bool no_settings = false;
    std::string settings;    // --settings FILE
    int stereo = -1;         // --stereo N for this run; -1 as the settings say
    std::string record;  // the next game is recorded to this file
    std::string replay;  // plays this replay instead of the game
    std::string verify;  // checks this replay and exits
    // Online play: --host [PORT] or --join HOST[:PORT], --delay N, and --net-log FILE
    // (every confirmed frame's state hash and the session's figures, for tests).
    bool host = false;
    int port = 7171;
    std::string join;
    bool join_lan = false;  // --join alone
    std::string watch;      // --watch HOST[:PORT] or CODE: watch that match
    int delay = -1;  // -1: chosen from the round trip
    std::string net_log;
    std::string lobby;  // --lobby HOST[:PORT]: the meeting server for join codes
    std::string relay;  // --relay USER:PASSWORD@HOST[:PORT]: a TURN server to fall back on
};

// Reads the command line; false with a message on a bad argument.
bool parse_options(int argc, char** argv, HarnessOptions& opts, std::string* error);
const char* usage_text();
// Sets the engine up for the options: headless mode, the script and its pads, the
// screenshot, trace, frame-limit and sync-test hooks on the program. False with a
// message if a file cannot be used.
bool start_harness(const HarnessOptions& opts, Program& p, std::string* error);
// The seed for the random generator: --seed; else the virtual clock of a headless run
// (0), or the system's milliseconds since it started.
int start_seed(const HarnessOptions& opts);
