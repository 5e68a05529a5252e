#pragma once
// Polled keyboard, mouse and game-pad input. The event pump (platform/events.h) takes in
// the window's events and hands the keys, mouse and pads plugged in or out to this
// service; SamplePads reads every pad once; the queries answer from what those last
// found, so a frame that pumps and samples once reads one consistent state. Keys, mouse
// buttons and pad buttons count their presses until read.
#include <cstdint>
#include <string>
#include <vector>

// Reads every pad once; a button found down that the reading before found up counts a
// press. A pad that cannot be read keeps its last values.
void SamplePads();

// Key codes are the classic virtual-key codes: 27 Escape, 32 Space, 13 Enter, 48..57
// digits, 65..90 letters, 37..40 arrows, 112..123 F1..F12; Shift, Ctrl and Alt are 16,
// 17 and 18 whichever side, and 160..165 for the left and the right one.
int KeyHit(int key);   // presses since the last KeyHit of the key or FlushKeys
int KeyDown(int key);  // 1 while held

// Typing, in the order it came: text as the keyboard's layout and an input method give
// it (UTF-8), and the editing keys among it (Backspace, Delete, Return, Escape, Left,
// Right, Home, End: `key`, with no text). Kept until taken, the newest 1024 at most;
// FlushKeys drops them.
struct Typed {
    std::string text;
    int key = 0;
};
std::vector<Typed> TakeTyping();
// A key code by the key's name as the system writes it ("W", "Left Ctrl", "Up",
// "Return", "F5"), not minding case; 0 for a name it does not know.
int KeyByName(const std::string& name);
// The key's name, or "" for a code with no key.
std::string KeyName(int key);
// Grows when the keyboard's layout changes, and KeyName may name keys differently.
int KeymapChanges();

int MouseX();  // position in the picture's pixels
int MouseY();
int MouseHit(int button);   // 1 left, 2 right, 3 middle; presses since last read
int MouseDown(int button);  // 1 while held

// Pads attached now: what a new count would find, without rebuilding the table.
int JoyAttached();
// Axes from -1.0 to +1.0; full deflection reads exactly -1.0 or +1.0, the centre a
// hair below 0. A pad that cannot be read keeps reporting its last values.
float JoyX(int port = 0);  // left stick across (turn), or the D-pad
float JoyY(int port = 0);  // left stick up/down (climb, descend), or the D-pad
float JoyZ(int port = 0);  // right stick across (slide)
float JoyR(int port = 0);  // right stick up/down (forward, back)
int JoyDown(int button, int port = 0);
// Every button of the pad as bits: bit n held is button n.
uint32_t JoyButtons(int port = 0);
// Presses of buttons 0..15 seen between two readings of the pad, since the last JoyHit.
int JoyHit(int button, int port = 0);

// How a pad's maker labels its face buttons, from what SDL knows of the pad: the South,
// East, West and North buttons are A, B, X, Y (Xbox and most others), Cross, Circle,
// Square, Triangle (PlayStation), or B, A, Y, X (Nintendo).
enum class PadLabels { xbox, playstation, nintendo };
PadLabels JoyLabels(int port = 0);
