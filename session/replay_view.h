#pragma once
// Watching a replay in the program's window. The viewer's keys: Space pauses and
// resumes, Right steps one frame, F goes faster (x2, x4, x8, then x1 again), N jumps to
// the next round, Escape goes back (a pad: South pauses, East goes back). A line at the foot of the arena shows the replay's
// time and the keys. The picture and the sounds are the game's own, made by stepping
// the recorded game frame by frame.
//
// The replay is checked against its state hashes before it is shown, and nothing past
// the last hash that matched is: a replay that goes another way than the recorded game
// (another version of the rules, a damaged file) stops there, with one line saying why.
#include <memory>
#include <string>

struct Program;
struct Replay;
class Recorder;

// F5: at the title, plays the last game.
constexpr int REPLAY_KEY = 116;

enum class WatchEnd { back, closed };  // left with Escape, or the window was closed

// Watches a replay; meanwhile the program's state is the replay's (the caller keeps its
// own). `good` tells whether the whole replay checked out.
WatchEnd watch_replay(Program& p, const Replay& replay, const std::string& name, bool* good);

// --replay FILE with a window: start-up, the replay, and the end of the program, with
// status 1 if the replay did not check out.
[[noreturn]] void run_replay_window(Program& p, const Replay& replay, const std::string& name, int seed);

// Watches a replay file from the title and comes back to the title as it was (its
// music again). False, with one line on stderr, if the file cannot be read. A close
// request while watching ends the program.
bool watch_replay_file(Program& p, const std::string& file);
// The title's replay key: plays the game the recorder recorded last, or the newest in
// the replays folder, and comes back to the title as it was.
void add_replay_key(Program& p, std::shared_ptr<Recorder> recorder);
