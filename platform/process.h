#pragma once
// The program's dealings with the system it runs on as a whole, a back end for each:
// process_posix.cpp (Linux), process_win32.cpp (Windows).
#include <string>

// Engine-internal, before any thread starts: the memory allocator's choices, and the
// system's ways of asking the program to end turned into the close request that
// SIGTERM makes (SDL's quit event): a closed terminal (SIGHUP) on Linux; Ctrl+C,
// Ctrl+Break, a closed console, logging off and shutting down on Windows. Where the
// system ends the program soon after asking, the asking waits a while for it to finish
// (the recording completed, goodbye said online).
void ProcessStart();

// A start-up error that ends the program, where the player sees it: one line on stderr
// ("rc-whirlbat: LINE"), and, with `show` (a player's run, not the harness's), on
// Windows a message box too, since a program started from the desktop has no terminal.
void FatalError(const std::string& line, bool show);
