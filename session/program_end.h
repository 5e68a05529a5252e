#pragma once
// The program's end: what End throws, the end hooks that finish what must be finished
// (traces committed, the recording completed), and the exit code.
#include <functional>

// What End throws: the program unwinds to main, which finishes it (FinishProgram) and
// returns the code, so every object on the way is destroyed and every file closed.
struct ProgramEnd {
    int code = 0;
};
// Ends the program with exit code 0: throws ProgramEnd.
[[noreturn]] void End();
// Ends the program with an exit code, for fatal errors of the harness: throws ProgramEnd.
[[noreturn]] void EndWithCode(int code);
// The end of the program, from main: runs the end hooks, closes the platform's services,
// and gives the exit code (raised by an end hook that failed).
int FinishProgram(int code);
// Called by FinishProgram before anything is closed (to finish traces).
void AddEndHook(std::function<void()> hook);
// From an end hook: the program ends with at least this exit code (a file that could
// not be finished turns a clean end into a failure).
void RaiseExitCode(int code);
// The end hooks now, and then no more: for a program whose display is gone.
void RunEndHooks();
