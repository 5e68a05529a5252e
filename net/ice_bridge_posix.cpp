// Loading the relay module on Linux (net/ice_bridge.h).
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "net/ice_bridge.h"
#include "net/relay_module.h"

// The module is loaded at the first bridge and never unloaded: GLib's types cannot be
// taken back out of a process. A failed load is tried again at the next bridge.
const RelayCalls* load_relay_module(std::string* why) {
#if WHIRLBAT_RELAY
    static std::mutex lock;
    static const RelayCalls* loaded = nullptr;
    std::lock_guard<std::mutex> hold(lock);
    if (loaded) return loaded;
    std::string tried;
    for (const std::string& path : relay_module_paths()) {
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!module) {
            if (access(path.c_str(), F_OK) == 0) {
                *why = std::string("the relay module cannot be loaded: ") + dlerror();
                return nullptr;
            }
            tried += (tried.empty() ? "" : ", ") + path;
            continue;
        }
        auto entry = reinterpret_cast<const RelayCalls* (*)()>(dlsym(module, WHIRLBAT_RELAY_ENTRY));
        const RelayCalls* calls = entry ? entry() : nullptr;
        if (!calls || calls->version != kRelayCallsVersion) {
            *why = "the relay module " + path + " belongs to another version of the game";
            return nullptr;
        }
        return loaded = calls;
    }
    *why = "the relay module is missing (looked for " + tried + ")";
    return nullptr;
#else
    *why = "this build of the game has no relay (it was built without libnice)";
    return nullptr;
#endif
}

std::vector<std::string> relay_module_paths() {
    std::vector<std::string> paths;
    if (const char* chosen = std::getenv("WHIRLBAT_RELAY_MODULE"); chosen && *chosen) return {chosen};
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, size_t(n));
        dir = dir.substr(0, dir.rfind('/') + 1);
        paths.push_back(dir + "rc-whirlbat-relay.so");
#ifdef WHIRLBAT_RELAY_FROM_BIN
        paths.push_back(dir + WHIRLBAT_RELAY_FROM_BIN);
#endif
    }
#ifdef WHIRLBAT_RELAY_INSTALLED
    paths.push_back(WHIRLBAT_RELAY_INSTALLED);
#endif
    return paths;
}

