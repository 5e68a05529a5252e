#pragma once
// Watching a replay in the program's window. The viewer's keys: Space pauses and
// resumes, Right steps one frame, F goes faster (x2, x4, x8, then x1 again), N jumps to
// the next round, Escape goes back (a pad: South pauses, East goes back). A line at the
// foot of the arena shows the replay's time and the keys. The picture and the sounds are
// the game's own, made by stepping the recorded game frame by frame.
//
// The replay is checked against its state hashes before it is shown, and nothing past
// the last hash that matched is: a replay that goes another way than the recorded game
// (another version of the rules, a damaged file) stops there, with one line saying why.
#include <memory>
#include <string>

#include "platform/keys.h"
#include "session/mode.h"
#include "session/replay.h"
#include "session/runner.h"

class Recorder;

// F5: at the title, plays the last game.
constexpr int REPLAY_KEY = KEY_F5;

// The viewer as a mode. With `back` (from the title), leaving comes back to that mode
// with the program's game and music as they were; a close request ends the program.
// Without (--replay FILE), leaving ends the program: status 0 if the whole replay
// checked out, 1 if not.
std::unique_ptr<Mode> watch_replay(Replay replay, std::string name, std::unique_ptr<Mode> back);

// Loads a replay file and hands the current mode over to its viewer, which comes back
// to it. False, with one line on stderr, if the file cannot be read.
bool watch_replay_file(Program& p, const std::string& file);
// The title's replay key: plays the game the recorder recorded last, or the newest in
// the replays folder.
std::shared_ptr<FrameHook> replay_key(std::shared_ptr<Recorder> recorder);
