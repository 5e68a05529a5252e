#pragma once
// A mode of the frame runner (session/runner.h): where a frame's input comes from and
// what happens with the stepped frame. Local play reads the devices and the computer
// pilots; an online match takes the other machine's inputs through the rollback
// session; a replay takes its recorded frames. The runner does the rest the same way
// for every mode: the wait that reads input late, the drawing that skips a frame at
// rest, the present, and the hand-over to the next mode.
//
// A mode ends by naming the next one (Program::hand_over), never by running a loop of
// its own or unwinding the stack.
#include <string>

#include "sim/scene.h"

struct Program;

// What a mode's frame leaves for the runner to show.
struct ModeFrame {
    // The scene to draw, or nullptr when the mode drew the picture itself this frame (or
    // left it as it was): then only the overlays are drawn over it.
    const Scene* scene = nullptr;
    // Flip's sync (-1 paced, 0 at once, 1 at the next vertical blank).
    int sync = -1;
    // False: nothing is drawn or presented for this frame (the one that ends the game).
    bool shown = true;
};

// A frame that shows nothing: the mode ended in it.
inline ModeFrame nothing_shown() {
    ModeFrame f;
    f.shown = false;
    return f;
}

class Mode {
public:
    virtual ~Mode() = default;

    struct Traits {
        bool paced = true;     // waits for its time before reading (WaitForFrame)
        bool presents = true;  // draws and presents a picture each frame
    };
    virtual Traits traits() const { return {}; }
    // One frame, after the wait: the input read where the mode takes it, the game stepped
    // through advance (or the rollback session's re-runs of it), its events carried out.
    virtual ModeFrame step(Program& p) = 0;
    // Over the frame's picture, and what that drawing depends on (see FrameHook).
    virtual void draw_over(Program&) {}
    virtual bool draw_key(const Program&, std::string&) const { return true; }
    // After the picture was presented.
    virtual void presented(Program&) {}
    // The helicopters flown by the keys or the computer, for the menu's pad count.
    virtual int pilots_without_pads(const Program&) const { return 0; }
};
