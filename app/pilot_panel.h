#pragma once
// The pilots on the title screen: beside the menu's column, each helicopter's pilot in
// its team's colour with the keys or sticks it flies by. A click on a pilot's name, or
// F1 (Blue) and F2 (Red), changes the pilot; F3 on the title and pause screens changes
// the 3D glasses mode, whose name then shows for two seconds. These belong to the
// program, not the game: a click they take never reaches the menu.
struct Program;
struct FrameInput;

// Looks at the keys and the click of a frame's input before the game does; true if a
// pilot changed.
bool pilot_panel_input(Program& p, FrameInput& in);
// Draws the panel (on the title) and the 3D mode's name, over the frame's picture; the
// drawing state is left as it was.
void draw_pilot_panel(Program& p);
// Sets the 3D glasses mode (0 off, 1..4) for the drawing layer.
void set_stereo_mode(Program& p, int mode);
