#include "session/advance.h"

void advance(World& w, Game& g, const FrameInput& in, FrameResult& out) { step(w, g, in, out); }
