#pragma once
// The ten 32 x 32 arena tiles: 0 unused, 1 stone floor, 2 dark gradient, 3 hazard crate
// (stacked into a raised block), 4-7 landing pads, 8 dust cloud, 9 fireball.
#include "canvas.h"

Picture TileFrame(int frame);
