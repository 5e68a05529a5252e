#pragma once
// The terminal the program writes to: every line on stderr is the program's own. What a
// library prints there ("sendto: Network is unreachable", a driver's complaint) is
// caught and said as a line of the program's, "PREFIX: LINE", once however often the
// library repeats it; the program's own lines ("PREFIX: ...") pass as they are.
//
// StartTerminalLines, before any thread or window starts, turns stderr into a pipe read
// by a small process of the program's own, which goes on until everything written has
// been said, even after a crash. FinishTerminalLines (at the program's end, and run by
// exit) gives stderr back and waits a moment for the reader to say the last lines.
// On Windows both do nothing: a library's lines pass as written (terminal_win32.cpp).
#include <string>

void StartTerminalLines(const std::string& prefix);
void FinishTerminalLines();
