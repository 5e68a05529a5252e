#pragma once
// The command line: the player's --window, and the headless harness that tests, tools
// and reviews drive (seed, frame limit, screenshots, state trace, input script).
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct harness_options {
    bool help = false;
    bool window = false;
    bool headless = false;
    std::optional<int> seed;
    int frames = 0;  // 0: no limit
    std::vector<std::pair<int, std::string>> shots;
    std::string trace;
    std::string script;
    std::string data;  // the folder of the sounds, instead of searching for it
};

extern harness_options harness;

// Reads the command line into harness; false with a message on a bad argument.
bool parse_options(int argc, char** argv, std::string* error);
const char* usage_text();
// Sets the engine up for the options: headless mode, the script and its pads, the
// screenshot, trace and frame-limit hooks. False with a message if a file cannot be used.
bool start_harness(std::string* error);
// The seed for the random generator: --seed, or the clock.
int start_seed();
// One line of the trace: the game's state as a JSON object.
std::string trace_line();
