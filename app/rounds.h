#pragma once
#include <string>

// Rounds, scoring, the HUD and the game-over screen.

// One frame of the play state: the round opening, the running round, or its closing.
int play_frame();
// Draws the arena once and keeps it as the round-transition picture.
int grab_arena(float scale);
// The two HUD bars with scores, round and batteries (or the version line on the title).
int draw_hud();
// One frame of the game-over screen.
int over_frame();

// Texts of the HUD, for its drawing and for tests.
std::string score_text(const char* name, int value);
