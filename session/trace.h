#pragma once
// The trace: the game's state after a frame as one JSON object a line, for tests, tools
// and reviews (--trace).
#include <memory>
#include <string>

struct Program;
class OutputFile;

// The trace file at `path`, put in place whole when the program ends (a trace that
// cannot be finished then turns the exit status to 1); nullptr with the reason if it
// cannot be written.
std::shared_ptr<OutputFile> open_trace(Program& p, const std::string& path, std::string* why);

// One line of the trace: the game's state as a JSON object, numbered by the frames
// presented so far and stamped with the clock.
std::string trace_line(Program& p);
// The same for a given frame number and clock (a replay's run).
std::string trace_line(Program& p, int frame, int ms);
