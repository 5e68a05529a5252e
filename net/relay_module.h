#pragma once
// The relay lives in a module of its own (rc-whirlbat-relay.so), loaded only when a game
// is asked to go through a TURN relay: libnice brings GLib, GIO, GnuTLS, Kerberos and
// some thirty other libraries, about 7 MB of resident memory and a slower start for
// every player who never uses it. This is the module's whole interface, plain C so that
// the program and the module need agree on nothing more.
#include <cstddef>
#include <cstdint>

extern "C" {

struct RelayAgent;

enum : int {
    kRelayReady = 1,    // ICE found a working pair
    kRelayFailed = 2,   // and gave up
    kRelayRelayed = 4,  // the pair goes through the relay
    kRelayAllocated = 8,  // the relay gave this side an address of its own (an allocation)
    kRelayGathered = 16,  // every way of this side's is known (with or without the relay's)
};

struct RelayCalls {
    int version;  // kRelayCallsVersion
    // Opens the bridge's port on 127.0.0.1 and starts gathering candidates. On failure
    // null, with one line in `why` (always terminated).
    RelayAgent* (*open)(int controlling, uint32_t relay_ip, uint16_t relay_port, const char* user,
                        const char* password, uint16_t game_port, char* why, size_t why_size);
    // This side's ICE description, once gathered: its length; copied when it fits.
    size_t (*local_description)(RelayAgent*, char* out, size_t size);
    void (*set_remote_description)(RelayAgent*, const char* sdp);
    int (*state)(RelayAgent*);  // kRelay* bits
    uint16_t (*port)(RelayAgent*);
    // Hands the relay its allocation back (within a second) and frees everything.
    void (*close)(RelayAgent*);
};

constexpr int kRelayCallsVersion = 2;
#define WHIRLBAT_RELAY_ENTRY "whirlbat_relay_calls"
const RelayCalls* whirlbat_relay_calls();
}
