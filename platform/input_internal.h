#pragma once
// Engine-internal side of the input services: the event pump that the window service
// and the script share.

// Takes in every pending event: keys, mouse, pads plugged in or out, focus, close.
void InputPump();
// The display was heard to have sent nothing since the last pump: the next pump may
// leave it unasked.
void InputDisplayQuiet();
// Whether a pad is open: its moves come other than through the display.
bool InputPadsOpen();
bool InputSuspended();
bool InputTakeTerminate();  // the close request, cleared by reading
bool InputQuitPending();    // the close request, left as it is
void InputSetMouse(int x, int y);
void InputWindowOpened();   // starts event polling with cleared keys and mouse
void InputShutdown();
// The SDL key code of a virtual-key code, and the way back (0 when there is none).
int KeycodeOfVirtualKey(int vk);
int VirtualKeyOfKeycode(int keycode);
// The virtual pad's button that stands for a game button: the inverse of the pad mapping.
int ControllerButtonOfGameButton(int button);
