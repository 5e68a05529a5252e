#include "platform/terminal.h"

// On Windows the program is a window program: started from a console it writes its lines
// there, started from the Start menu nowhere at all. There is no reader process to start
// (no fork), so a library's lines pass as the library wrote them.
void StartTerminalLines(const std::string&) {}

void FinishTerminalLines() {}
