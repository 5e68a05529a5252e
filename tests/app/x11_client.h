#pragma once
// A second X client for tests, kept apart because Xlib's names clash with the engine's.
#include <string>

// Finds the top-level window with the title on the display and destroys it
// (XDestroyWindow), or with kill_client cuts its owner's connection (XKillClient, as
// xkill does). False with a message if the display or the window cannot be found.
bool LoseWindow(const std::string& display, const std::string& title, bool kill_client, std::string* error);
