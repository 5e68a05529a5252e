#pragma once
// Appends values to a canonical byte form: integers little-endian, floats by their bits.
// The reader takes them back, checking every value against the range the game can give
// it, so a damaged or made-up state is refused instead of run.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
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

// Reads a canonical byte form from a buffer. The first problem (the bytes run out, a
// value out of its range) is kept in `problem`, and every read after it fails too.
struct CanonicalReader {
    const uint8_t* at = nullptr;
    const uint8_t* end = nullptr;
    std::string problem;

    CanonicalReader(const uint8_t* data, size_t size) : at(data), end(data + size) {}

    size_t left() const { return size_t(end - at); }
    bool ok() const { return problem.empty(); }
    bool fail(const std::string& why) {
        if (problem.empty()) problem = why;
        at = end;
        return false;
    }

    bool u8(uint8_t& v) {
        if (!ok() || left() < 1) return fail("the state ends early");
        v = *at++;
        return true;
    }
    bool u32(uint32_t& v) {
        if (!ok() || left() < 4) return fail("the state ends early");
        v = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
        at += 4;
        return true;
    }
    // An integer that must lie in lo..hi.
    bool int_in(int& v, int lo, int hi, const char* what) {
        uint32_t bits;
        if (!u32(bits)) return false;
        v = int32_t(bits);
        if (v < lo || v > hi) {
            return fail(std::string(what) + " is " + std::to_string(v) + ", outside " + std::to_string(lo) + ".." +
                        std::to_string(hi));
        }
        return true;
    }
    // A finite float that must lie in lo..hi.
    bool float_in(float& v, float lo, float hi, const char* what) {
        uint32_t bits;
        if (!u32(bits)) return false;
        std::memcpy(&v, &bits, 4);
        if (!std::isfinite(v) || v < lo || v > hi) {
            return fail(std::string(what) + " is " + std::to_string(v) + ", outside " + std::to_string(lo) + ".." +
                        std::to_string(hi));
        }
        return true;
    }
    // A list's length: at most `most`, and no longer than the bytes left can hold.
    bool count(size_t& n, size_t most, size_t bytes_each, const char* what) {
        uint32_t v;
        if (!u32(v)) return false;
        if (v > most || size_t(v) * bytes_each > left()) {
            return fail(std::string("the state claims ") + std::to_string(v) + " " + what);
        }
        n = v;
        return true;
    }
};
