#pragma once
// The full pictures outside the sprite sheet: the airfield background, the menu
// pointer and the studio's own logo.
#include "canvas.h"

// 640 x 480: a grass airfield from above, with a runway, taxiway, apron and farm fields.
Picture Airfield();
// 18 x 18: an arrow whose tip is the top-left pixel (the hot spot).
Picture Pointer();
// 420 x 236 on black: the Owlwing Games emblem and name.
Picture StudioLogo();
