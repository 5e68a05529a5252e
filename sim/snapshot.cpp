#include "sim/snapshot.h"

#include <xxhash.h>

#include <vector>

uint64_t state_hash(const World& w, const Game& g) {
    std::vector<uint8_t> bytes;
    bytes.reserve(8192);
    write_canonical(bytes, w);
    write_canonical(bytes, g);
    return XXH3_64bits(bytes.data(), bytes.size());
}
