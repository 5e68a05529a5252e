#pragma once
// The game's numeric helpers: sine and cosine in degrees, and the float-to-int
// conversion that truncates toward zero.
#include "sim/trig.h"

// The sine and cosine of the double nearest the angle in radians, correctly rounded, and
// so the same on every machine (sim/trig.h).
inline double Sin(double degrees) { return sin_radians(degrees * 0.017453292519943295); }
inline double Cos(double degrees) { return cos_radians(degrees * 0.017453292519943295); }

// 2.7 -> 2, -2.7 -> -2.
inline int Int(double value) { return static_cast<int>(value); }
