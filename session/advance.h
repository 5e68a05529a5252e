#pragma once
// The rules as every run meets them: the one call of the step outside the rules
// themselves. The runner's frames, a rollback's re-runs, the sync test's re-runs and a
// replay's frames all pass through here.
#include "sim/step.h"

// One frame of the rules. The round's first frame takes no input (see reads_input):
// the rules leave `in` unread then, so a source may hand in whatever it has.
void advance(World& w, Game& g, const FrameInput& in, FrameResult& out);

// The step a re-run uses: advance, as a plain function.
using StepFn = void (*)(World&, Game&, const FrameInput&, FrameResult&);
