// The title track: a mid-tempo, inviting loop heard on the title menu and in pause.
#pragma once

#include "dsp.h"

namespace snd {

// One pass of the loop, stereo, levelled and seamless at the wrap.
Stereo title_track();

}  // namespace snd
