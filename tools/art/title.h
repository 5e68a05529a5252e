#pragma once
// The game's title logo and the HUD bar of the sprite sheet.
#include "canvas.h"

// 378 x 145: "RC Whirlbat" in bold outlined lettering under a spinning rotor.
Picture TitleLogo();
// 640 x 32: a light brushed-metal panel; the game tints it grey and writes on it.
Picture HudBar();
