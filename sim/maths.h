#pragma once
// The game's numeric helpers: sine and cosine in degrees, and the float-to-int
// conversion that truncates toward zero.
#include <cmath>

inline double Sin(double degrees) { return std::sin(degrees * 0.017453292519943295); }
inline double Cos(double degrees) { return std::cos(degrees * 0.017453292519943295); }

// 2.7 -> 2, -2.7 -> -2.
inline int Int(double value) { return static_cast<int>(value); }
