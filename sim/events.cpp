#include "sim/events.h"

namespace {

constexpr char kNames[SFX_COUNT][9] = {"start",   "explode", "brocket", "rrocket",  "land",  "death", "blulead",
                                       "redlead", "bluwin",  "redwin",  "tied", "detectgb", "newmap"};

}  // namespace

const char* sfx_name(Sfx s) { return kNames[int(s)]; }
