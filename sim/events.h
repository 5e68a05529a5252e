#pragma once
// What a frame asks of the program that runs it. The rules make no sound, wait for
// nothing and touch no device: they note what should happen here, in order, and the
// frame runner carries it out after the step.
#include <cstdint>
#include <vector>

// The thirteen sound effects.
enum class Sfx : uint8_t {
    start, explode, brocket, rrocket, land, death, blulead, redlead, bluwin, redwin, tied, detectgb, newmap
};
constexpr int SFX_COUNT = 13;
// The effect's name, as its sound file is named: "start", "explode", ...
const char* sfx_name(Sfx s);

struct FrameEvent {
    enum class Kind : uint8_t {
        sfx,            // start effect `sfx` on a new channel at `volume`
        music,          // replace the music with track `value` (1 title, 2 play) at `volume`
        music_stop,     // stop the music channel
        music_volume,   // set the music channel's volume to `volume`
        wait,           // the whole program waits `value` milliseconds
        flush_wait,     // wait until the left mouse button and pad 0's buttons 0 and 1 are up
                        // and have no press pending (value, x: presses of the two buttons
                        // and y: clicks still pending when the wait starts)
        flush_devices,  // throw away key and mouse state and presses
        warp_pointer,   // put the system pointer at (x, y) of the picture
        recount_pads,   // rebuild the pad table
    };
    Kind kind;
    Sfx sfx = Sfx::start;
    int value = 0;
    int x = 0, y = 0;
    float volume = 0;
};

struct FrameEvents {
    std::vector<FrameEvent> list;
    // The volume effects start at; the game keeps it in step with its sound volume.
    float sfx_volume = 1.0f;

    void play(Sfx s) { list.push_back({FrameEvent::Kind::sfx, s, 0, 0, 0, sfx_volume}); }
    void add(FrameEvent::Kind k, int value = 0) { list.push_back({k, Sfx::start, value, 0, 0, 0}); }
    void clear() { list.clear(); }
};
