#pragma once
// The trace: the game's state after a frame as one JSON object a line, for tests, tools
// and reviews (--trace).
#include <string>

struct Program;

// One line of the trace: the game's state as a JSON object, numbered by the frames
// presented so far and stamped with the clock.
std::string trace_line(Program& p);
// The same for a given frame number and clock (a replay's run).
std::string trace_line(Program& p, int frame, int ms);
