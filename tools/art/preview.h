#pragma once
// Pictures for judging the art by eye: enlarged copies, and mock-up screens composed
// the way the game draws its images (tints, blend modes, scales and rotations).
#include <string>

#include "canvas.h"

// Every pixel becomes a k x k block.
Picture Enlarge(const Picture& pic, int k);
// A round in play: background, floor, raised blocks, pads, a landed and a flying
// helicopter with shadows and rotors, a rocket with its trail, an explosion, the HUD.
Picture ArenaScene(const Picture& sheet, const Picture& back);
// The title menu: background, title logo, menu lines, pointer and HUD.
Picture TitleScene(const Picture& sheet, const Picture& back, const Picture& pointer);
