#pragma once
// One frame of the game as a pure step: the state keys owed to the last picture, then
// the frame of the current screen. The step draws nothing, waits for nothing and reads
// no device; what the frame runner must do (sounds, music, waits, the pointer, the
// picture) comes back in the result.
#include <string>

#include "sim/frame_input.h"
#include "sim/game_state.h"
#include "sim/scene.h"
#include "sim/events.h"
#include "sim/world.h"

struct FrameResult {
    FrameEvents events;
    Scene scene;
    bool draw = true;       // note the picture (a re-run without drawing turns it off)
    bool ended = false;     // the frame loop is over: no picture, shut down
    int present_sync = -1;  // -1 paced; 1 at once (the round opening's last picture)

    void clear();
};

// The frame after the one the game last presented.
void step(World& w, Game& g, const FrameInput& in, FrameResult& out);

// Whether the next frame takes its input: nothing is read between the round opening's
// last picture and the round's first. The step leaves that frame's input unread;
// sources read no device for it and recordings keep no input for it.
inline bool reads_input(const Game& g) { return g.after != AfterPresent::round_start; }

// The item under a pointer at height y: 0..4, or -1 for none.
int menu_item_at(int y);
// "Blue: 03", "Round: 12": a name and a number of at least two digits.
std::string score_text(const char* name, int value);
