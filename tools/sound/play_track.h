// The play track: a driving loop heard while a round runs.
#pragma once

#include "dsp.h"

namespace snd {

// One pass of the loop, stereo, levelled and seamless at the wrap.
Stereo play_track();

}  // namespace snd
