#pragma once
// The flying things of the sprite sheet: helicopter bodies, main rotors and rockets.
#include "canvas.h"

// 18 x 49, nose up, rotor hub at (9, 24). Frames 0-3 Blue, 4-7 Red; within a colour only
// the tail rotor (rows 40 and below) changes, an eighth of a turn per frame.
Picture HeliFrame(int frame);

// 56 x 4, one bar across the hub: frame 0 Blue's, frame 1 Red's.
Picture BladeFrame(int frame);

// 18 x 8, a pair of missiles in columns 0-1 and 16-17: frame 0 red tips, frame 1 blue
// tips, frame 2 two flame sparks, frame 3 two smoke puffs, lined up with the missiles.
Picture RocketFrame(int frame);
