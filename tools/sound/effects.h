// The game's eight synthesized effects. Each returns a mono one-shot at full
// scale; the caller sets the final level.
#pragma once

#include "dsp.h"

namespace snd {

Mono round_start();    // a quick rising arpeggio into a bright chord hit: "go!"
Mono explosion();      // thump, noise burst closing down, crackle, rumble
Mono blue_rocket();    // bright whoosh that climbs, with a rising zip
Mono red_rocket();     // darker, growling whoosh that falls
Mono landing_chime();  // three bell notes, a pleasant "got it"
Mono loss();           // a soft wobbling glide downwards; stays mellow when stacked
Mono pads_found();     // two quick blips and a higher confirm note
Mono new_arena();      // noise swoosh under a rising arpeggio

}  // namespace snd
