#pragma once
// A second X client for tests, kept apart because Xlib's names clash with the engine's.
#include <cstdint>
#include <string>
#include <vector>

// Finds the top-level window with the title on the display and destroys it
// (XDestroyWindow), or with kill_client cuts its owner's connection (XKillClient, as
// xkill does). False with a message if the display or the window cannot be found.
bool LoseWindow(const std::string& display, const std::string& title, bool kill_client, std::string* error);

// Puts a window of one colour (0xRRGGBB) of this client over the top-level window with
// the title, leaves it there for `ms`, and takes it away again (the window below is
// exposed). False with a message if the display or the window cannot be found.
bool CoverWindow(const std::string& display, const std::string& title, uint32_t rgb, int ms, std::string* error);

// The whole screen of the display as 0x00RRGGBB words, rows top to bottom; empty with a
// message if the display cannot be read.
std::vector<uint32_t> GrabScreen(const std::string& display, int* w, int* h, std::string* error);

// Counts the pictures put on the top-level window with the title during `ms` (the
// server's damage reports on it); -1 with a message if the display, the window or the
// DAMAGE extension cannot be found.
int CountPictures(const std::string& display, const std::string& title, int ms, std::string* error);

// Presses and lets go of keys through the X server (XTest), as a keyboard would, with the
// window titled `title` given the input focus first. Keys by their X names ("Down",
// "Return", "F11"), a modifier held with "Alt_L+Return"; `gap_ms` between two keys.
bool PressKeys(const std::string& display, const std::string& title, const std::vector<std::string>& keys,
               int gap_ms, std::string* error);

// Presses and lets go of keys one at a time through the X server (XTest), the window
// given the input focus first, and gives for each the milliseconds from the press to the
// first picture put on the window after it (the server's damage report). Keys by their
// X names, `gap_ms` and a random part of a frame between two presses. Empty with a
// message if the display, the window, XTest or DAMAGE is missing, or a press brought no
// picture within a second.
std::vector<double> KeyToPictureMs(const std::string& display, const std::string& title,
                                   const std::vector<std::string>& keys, int gap_ms, std::string* error);

// The size of the top-level window with the title. False with a message if the display
// or the window cannot be found.
bool WindowSize(const std::string& display, const std::string& title, int* w, int* h, std::string* error);
// Gives the top-level window with the title a new size, as a player dragging its edge
// would (XResizeWindow), and waits for the server to carry it out. False with a message
// if the display or the window cannot be found.
bool ResizeWindow(const std::string& display, const std::string& title, int w, int h, std::string* error);
