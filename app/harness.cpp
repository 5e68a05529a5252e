#include "app/harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/globals.h"
#include "app/sound.h"
#include "engine/input.h"
#include "engine/options.h"
#include "engine/random.h"
#include "engine/resources.h"
#include "engine/script.h"
#include "engine/window.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/level.h"
#include "world/player.h"
#include "world/rocket.h"
#include "world/trail.h"

harness_options harness;

namespace {

struct TraceFile {
    FILE* file = nullptr;
};

TraceFile trace_out;

bool parse_int(const char* s, int* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end) return false;
    *out = int(v);
    return true;
}

// Nine significant digits read back as the same float.
std::string num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", double(v));
    return buf;
}

std::string num(int v) { return std::to_string(v); }

std::string player_json(const player_tag& p) {
    std::string s = "{";
    auto field = [&](const char* name, const std::string& value) {
        if (s.size() > 1) s += ",";
        s += "\"" + std::string(name) + "\":" + value;
    };
    field("score", num(p.score));
    field("rocket_ctr", num(p.rocket_ctr));
    field("stx", num(p.stx));
    field("sty", num(p.sty));
    field("pads", num(p.pads));
    field("x", num(p.x));
    field("y", num(p.y));
    field("rotation", num(p.rotation));
    field("scale", num(p.scale));
    field("frame", num(p.frame));
    field("a_tmr", num(p.a_tmr));
    field("a_ctr", num(p.a_ctr));
    field("alt", num(p.alt));
    field("rstp", num(p.rstp));
    field("bladerot", num(p.bladerot));
    field("rotspd", num(p.rotspd));
    field("elv", num(p.elv));
    field("ail", num(p.ail));
    field("battery", num(p.battery));
    field("pos", num(p.pos));
    return s + "}";
}

std::string rocket_json(const rocket_tag& r) {
    return "{\"x\":" + num(r.x) + ",\"y\":" + num(r.y) + ",\"id\":" + num(r.id) + ",\"frame\":" + num(r.frame) +
           ",\"scale\":" + num(r.scale) + ",\"dir\":" + num(r.dir) + ",\"alt\":" + num(r.alt) + "}";
}

void on_flip() {
    int frame = FlipCount();
    for (const auto& [n, file] : harness.shots) {
        if (n == frame && !SavePNG(file, ReadPicture())) {
            std::fprintf(stderr, "rc-whirlbat: cannot write screenshot %s\n", file.c_str());
        }
    }
    if (trace_out.file) {
        std::string line = trace_line();
        std::fputs(line.c_str(), trace_out.file);
        std::fputc('\n', trace_out.file);
        std::fflush(trace_out.file);
    }
    if (harness.frames > 0 && frame >= harness.frames) End();
}

void close_trace() {
    if (trace_out.file) std::fclose(trace_out.file);
    trace_out.file = nullptr;
}

}  // namespace

const char* usage_text() {
    return "usage: rc-whirlbat [--window] [--headless] [--seed N] [--frames N] [--shot N:FILE]...\n"
           "                   [--trace FILE] [--script FILE] [--data DIR]\n"
           "  --window        play in a window instead of full screen\n"
           "  --headless      no window and no sound device; a virtual clock (for tests)\n"
           "  --seed N        seed the random generator with N\n"
           "  --frames N      quit after the N-th frame is presented\n"
           "  --shot N:FILE   save the picture of the N-th frame as a PNG (repeatable)\n"
           "  --trace FILE    write the game's state after every frame, one JSON object a line\n"
           "  --script FILE   drive keys, mouse, window and virtual pads from a script\n"
           "  --data DIR      take the sounds from DIR instead of searching for them\n";
}

bool parse_options(int argc, char** argv, std::string* error) {
    harness = harness_options{};
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
            harness.help = true;
        } else if (arg == "--window") {
            harness.window = true;
        } else if (arg == "--headless") {
            harness.headless = true;
        } else if (arg == "--seed") {
            int seed;
            if (!value(&v) || !parse_int(v, &seed)) return *error = "--seed needs a number", false;
            harness.seed = seed;
        } else if (arg == "--frames") {
            if (!value(&v) || !parse_int(v, &harness.frames) || harness.frames < 1)
                return *error = "--frames needs a positive number", false;
        } else if (arg == "--shot") {
            if (!value(&v)) return false;
            const char* colon = std::strchr(v, ':');
            int n;
            if (!colon || !parse_int(std::string(v, colon).c_str(), &n) || n < 1 || !colon[1])
                return *error = "--shot needs N:FILE", false;
            harness.shots.emplace_back(n, colon + 1);
        } else if (arg == "--trace") {
            if (!value(&v)) return false;
            harness.trace = v;
        } else if (arg == "--script") {
            if (!value(&v)) return false;
            harness.script = v;
        } else if (arg == "--data") {
            if (!value(&v)) return false;
            harness.data = v;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

bool start_harness(std::string* error) {
    engine_options.headless = harness.headless;
    engine_options.windowed = harness.window;
    if (!harness.data.empty() && !SetDataFolder(harness.data))
        return *error = "--data " + harness.data + " is not a folder", false;
    if (!harness.script.empty()) {
        if (!ScriptLoad(harness.script, error)) return false;
        ScriptAttachPads();
    }
    if (!harness.trace.empty()) {
        trace_out.file = std::fopen(harness.trace.c_str(), "w");
        if (!trace_out.file) return *error = "cannot write trace " + harness.trace, false;
        AddEndHook(close_trace);
    }
    if (!harness.shots.empty() || trace_out.file || harness.frames > 0) AddFlipHook(on_flip);
    return true;
}

int start_seed() { return harness.seed ? *harness.seed : MilliSecs(); }

std::string trace_line() {
    int mx = 0, my = 0;
    PeekMouse(&mx, &my);
    std::string s = "{\"frame\":" + num(FlipCount()) + ",\"ms\":" + num(MilliSecs());
    auto field = [&](const char* name, const std::string& value) { s += ",\"" + std::string(name) + "\":" + value; };
    field("game_state", num(game_state));
    field("play_phase", num(play_phase));
    field("round_no", num(round_no));
    field("quit_game", num(quit_game));
    field("trans_scale", num(trans_scale));
    field("trans_spin", num(trans_spin));
    field("over_tmr", num(over_tmr));
    field("pads_found", num(pads_found));
    field("sound_lvl", num(sound_lvl));
    field("music_lvl", num(music_lvl));
    field("sound_vol", num(sound_vol));
    field("music_vol", num(music_vol));
    field("rnd_state", num(RndState()));
    field("mouse", "[" + num(mx) + "," + num(my) + "]");
    field("player", "[" + player_json(player[0]) + "," + player_json(player[1]) + "]");
    std::string tiles;
    for (const level_tag& cell : level) tiles += char('0' + (cell.tile >= 0 && cell.tile <= 9 ? cell.tile : 0));
    field("tiles", "\"" + tiles + "\"");
    std::string rockets = "[";
    for (const auto& r : rocket_list) rockets += (rockets.size() > 1 ? "," : "") + rocket_json(*r);
    field("rockets", rockets + "]");
    field("trails", num(int(trail_list.size())));
    field("explodes", num(int(explode_list.size())));
    field("dusts", num(int(dust_list.size())));
    field("music", num(music_playing()));
    std::string sfx = "[";
    for (const std::string& name : take_sfx_log()) sfx += (sfx.size() > 1 ? ",\"" : "\"") + name + "\"";
    field("sfx", sfx + "]");
    return s + "}";
}
