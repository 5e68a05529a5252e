#pragma once
// The kept replays, newest first: each game's date, who flew, the final score and its
// length. Choosing one plays it in the replay viewer (its keys are shown here and at the
// viewer's foot) and comes back to this list; Delete (or a pad's West button) deletes
// the one in focus once the player confirms. The score is found by playing each game
// through the rules without a picture, one game a frame.
#include <string>
#include <vector>

#include "app/screen.h"
#include "session/replay.h"

class ReplaysScreen : public Screen {
public:
    // The replays of a folder ("" the game's own replays folder).
    explicit ReplaysScreen(const std::string& folder = "");
    Step frame(Program& p, const Nav& nav, FrameInput& rules) override;
    void draw(const Program& p) override;
    void presented(Program& p) override;
    const EntryList& list() const { return list_; }

private:
    struct Kept {
        std::string path;
        std::string date, pilots, length;
        bool scored = false;
        int score[2] = {0, 0};
        Replay replay;
    };
    void fill();

    std::vector<Kept> kept_;
    EntryList list_;
    bool confirm_ = false;  // waiting for a yes to delete the one in focus
    std::string watch_;     // the file to play once this frame is presented
    std::string message_;
};
