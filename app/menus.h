#pragma once
// The maker's logo intro and the menu that serves as title and pause menu.

// Shows the maker's logo: 225 frames at full strength, then a 101-frame fade, unless a
// key, a click or pad 0's button 0 ends it (or the window is closed).
int show_logo(int offset);
// Moves the pointer 6 pixels per frame from pad 0's stick held at full deflection.
int pad_pointer();
// One frame of the title menu (state 4) or the pause menu (state 3).
int menu_frame();
// The item under a pointer at height y: 0..4, or -1 for none.
int menu_item_at(int y);
