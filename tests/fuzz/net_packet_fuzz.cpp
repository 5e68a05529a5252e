// libFuzzer target for the packet decoder of online play: any bytes either decode to a
// packet within every range, which encodes back to bytes that decode the same, or are
// refused. Built when clang is the compiler (see tests/CMakeLists.txt).
#include <cstdlib>

#include "net/net_packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Packet p;
    if (!decode_packet(data, size, &p)) return 0;
    bool in_range = p.delay >= 0 && p.delay <= NET_MAX_DELAY && p.frame <= NET_MAX_FRAME && p.ack <= NET_MAX_FRAME &&
                    p.inputs.size() <= size_t(NET_MAX_INPUTS) && p.version.size() <= size_t(NET_MAX_VERSION);
    for (const NetInput& in : p.inputs) {
        for (int8_t a : in.axis) in_range = in_range && a >= -1 && a <= 1;
        in_range = in_range && int(in.command) < NET_COMMANDS;
    }
    std::vector<uint8_t> again = encode_packet(p);
    Packet q;
    if (!in_range || !decode_packet(again.data(), again.size(), &q) || q.inputs != p.inputs || q.kind != p.kind)
        std::abort();
    return 0;
}
