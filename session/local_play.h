#pragma once
// Local play and the menus: the mode the program spends most of its life in. A frame's
// input comes from the devices (pads, the keyboard halves, the computer pilots; a script
// drives the same devices), the player's own keys go to the hooks first (the pilot
// panel, the title's screens), and the stepped frame is one of this machine's games
// (the recorder keeps it). The window's being inactive freezes the game.
#include <memory>
#include <vector>

#include "session/mode.h"
#include "session/runner.h"

class LocalPlay : public Mode {
public:
    explicit LocalPlay(std::vector<std::shared_ptr<FrameHook>> hooks = {}) : hooks_(std::move(hooks)) {}

    // A hook over this mode's frames from now on (a notice).
    void add_hook(std::shared_ptr<FrameHook> hook) { hooks_.push_back(std::move(hook)); }

    ModeFrame step(Program& p) override;
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;
    void presented(Program& p) override;
    int pilots_without_pads(const Program& p) const override { return p.pilots.without_pads(); }

private:
    FrameInput read(Program& p);

    std::vector<std::shared_ptr<FrameHook>> hooks_;
    bool pilots_changed_ = false;  // since the last frame's input
};
