#pragma once
// Engine-internal side of the input services: what the event pump hands them.
union SDL_Event;

// SDL's events, joystick and game-controller services, once.
void InputStart();
// A key, a mouse button or the wheel, a pad plugged in or out, a new keyboard layout.
void InputHandle(const SDL_Event& e);
// The pointer moved to (x, y) of the picture.
void InputMouseAt(int x, int y);
void InputFlushKeys();
void InputFlushMouse();
// Rebuilds the pad table from the pads that can be read now (the pump has taken in
// what was pending) and returns their count.
int InputRebuildPads();
// Whether a pad is open: its moves come other than through the display.
bool InputPadsOpen();
void InputShutdown();
// The SDL key code of a virtual-key code, and the way back (0 when there is none).
int KeycodeOfVirtualKey(int vk);
int VirtualKeyOfKeycode(int keycode);
// The virtual pad's button that stands for a game button: the inverse of the pad mapping.
int ControllerButtonOfGameButton(int button);
