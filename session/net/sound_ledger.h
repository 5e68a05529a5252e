#pragma once
// Sounds under rollback. A frame's sounds start once, when the frame is first shown;
// when a rollback runs the frame again, a sound that is still in it is left alone, a
// sound it no longer has is stopped if it still plays, and a sound new to it starts
// now, a few frames late. The music follows the latest change of all the frames as
// they now stand: a change that a rollback undid is undone too.
#include <cstdint>
#include <map>
#include <vector>

#include "sim/events.h"

// Where the ledger's sounds go: the sound player, or a test's record.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts an effect; the handle names it later.
    virtual long start_sfx(Sfx s) = 0;
    // Stops an effect if it still plays.
    virtual void stop_sfx(long handle) = 0;
    virtual void start_music(int track) = 0;
    virtual void stop_music() = 0;
    // The game's own wait (a round's end), in the order of a frame's first run.
    virtual void wait(int ms) { (void)ms; }
};

class SoundLedger {
public:
    explicit SoundLedger(SoundOutput& out) : out_(out) {}

    // The events of a frame as it was run now. The first time, its sounds, music
    // changes and waits are carried out in order; again, only what changed (a wait
    // that a rollback brought is waited now; one it undid cannot be).
    void frame_events(long frame, const FrameEvents& events);
    // Puts the music in line with the frames as they now stand; once after a batch of
    // frame_events.
    void update_music();
    // Frames up to this one will not be run again.
    void forget_through(long frame);

    long started = 0, stopped = 0, started_late = 0, music_changes = 0;

private:
    struct Cue {
        Sfx sfx;
        int nth;  // the nth effect of this kind in its frame
        long handle;
    };
    // A music change: the frame, its place among the frame's changes, and the track
    // it starts (0: the music stops).
    struct MusicChange {
        long frame = 0;
        int index = -1;
        int track = 0;
        bool operator==(const MusicChange&) const = default;
    };
    SoundOutput& out_;
    std::map<long, std::vector<Cue>> cues_;
    std::map<long, std::vector<MusicChange>> music_;
    std::map<long, int> waits_;  // waits carried out, by frame
    MusicChange settled_;  // the latest change of the frames forgotten
    MusicChange playing_;  // the change the music follows now
};
