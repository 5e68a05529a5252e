#pragma once
// Appends values to a canonical byte form: integers little-endian, floats by their bits.
#include <cstdint>
#include <cstring>
#include <vector>

inline void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    out.insert(out.end(), b, b + 4);
}
inline void put_i32(std::vector<uint8_t>& out, int32_t v) { put_u32(out, uint32_t(v)); }
inline void put_f32(std::vector<uint8_t>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    put_u32(out, bits);
}
inline void put_u8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
