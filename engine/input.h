#pragma once
// Polled keyboard, mouse and game-pad input. Keys and buttons count their presses until
// read; every query first takes in the window's events, and every pad query reads the
// pad afresh.

// Key codes are the classic virtual-key codes: 27 Escape, 32 Space, 13 Enter, 48..57
// digits, 65..90 letters, 37..40 arrows, 112..123 F1..F12.
int KeyHit(int key);   // presses since the last KeyHit of the key or FlushKeys
int KeyDown(int key);  // 1 while held
void FlushKeys();

int MouseX();  // position in the picture's pixels
int MouseY();
int MouseZ();  // wheel position
int MouseHit(int button);   // 1 left, 2 right, 3 middle; presses since last read
int MouseDown(int button);  // 1 while held
void FlushMouse();          // clears buttons, hits and the wheel, not the position
// The pointer position as last taken in, without taking in events (for the trace).
void PeekMouse(int* x, int* y);

// Rebuilds the pad table from the pads that can be read now and returns their count.
// Pad numbers (ports) are dense: the first working pad is port 0.
int JoyCount();
// Axes from -1.0 to +1.0; full deflection reads exactly -1.0 or +1.0, the centre a
// hair below 0. A pad that cannot be read keeps reporting its last values.
float JoyX(int port = 0);  // left stick across (turn), or the D-pad
float JoyY(int port = 0);  // left stick up/down (climb, descend), or the D-pad
float JoyZ(int port = 0);  // right stick across (slide)
float JoyR(int port = 0);  // right stick up/down (forward, back)
float JoyU(int port = 0);
float JoyV(int port = 0);
float JoyHat(int port = 0);  // 0..1 clockwise from up, -1 centred
int JoyDown(int button, int port = 0);
// Presses of buttons 0..15 seen between two readings of the pad, since the last JoyHit.
int JoyHit(int button, int port = 0);
