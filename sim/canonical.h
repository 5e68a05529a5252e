#pragma once
// The canonical byte form: integers little-endian, floats by their bits, through the
// game's one byte reader and writer. The reader checks every value against the range
// the game can give it, so a damaged or made-up state is refused instead of run.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/bytes.h"

constexpr ByteOrder CANONICAL_ORDER = ByteOrder::little;
using CanonicalWriter = ByteWriter<CANONICAL_ORDER>;

// Reads a canonical byte form from a buffer. The first problem (the bytes run out, a
// value out of its range) is kept in `problem`, and every read after it fails too.
struct CanonicalReader {
    ByteReader<CANONICAL_ORDER> bytes;
    std::string problem;

    CanonicalReader(const uint8_t* data, size_t size) : bytes(data, size) {}

    size_t left() const { return bytes.left(); }
    bool ok() const { return problem.empty(); }
    bool fail(const std::string& why) {
        if (problem.empty()) problem = why;
        return bytes.fail();
    }

    bool u8(uint8_t& v) { return (ok() && bytes.u8(v)) || fail("the state ends early"); }
    bool u32(uint32_t& v) { return (ok() && bytes.u32(v)) || fail("the state ends early"); }
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
