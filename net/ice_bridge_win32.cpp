// The relay on Windows (net/ice_bridge.h): libnice cannot be had for it, so this build
// has none, and says so as every build without libnice does.
#include "net/ice_bridge.h"

const RelayCalls* load_relay_module(std::string* why) {
    *why = "this build of the game has no relay (it was built without libnice)";
    return nullptr;
}

std::vector<std::string> relay_module_paths() { return {}; }
