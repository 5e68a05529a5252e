#pragma once
// The program's icon for desktop menus: a Blue helicopter from above over its landing
// pad on a rounded patch of airfield. Drawn from shapes, so every size is drawn afresh.
#include "canvas.h"

// size x size pixels with coverage as alpha (the corners are clear).
Canvas AppIcon(int size);

// The sizes of the hicolor icon theme that the package installs.
inline constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
