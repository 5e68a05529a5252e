#pragma once
// The one byte reader and writer of every format the game keeps or sends: the canonical
// state, replay files, the online packets and the meeting service's messages. Each
// format names its byte order once (`ByteOrder`), and its integers, floats (by their
// bits) and variable-length integers go through here.
//
// A reader never reads past its end: a read that would fails, leaves the value alone,
// and makes every later read fail too, so a format can read a whole record and look at
// `ok()` once.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

enum class ByteOrder { little, big };

template <ByteOrder Order>
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void u64(uint64_t v) { put(v, 8); }
    void i32(int32_t v) { u32(uint32_t(v)); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    // Seven bits a byte, low first; the high bit says another byte follows.
    void varint(uint64_t v) {
        while (v >= 0x80) {
            out_.push_back(uint8_t(v) | 0x80);
            v >>= 7;
        }
        out_.push_back(uint8_t(v));
    }
    void bytes(const void* data, size_t size) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), p, p + size);
    }
    size_t size() const { return out_.size(); }

private:
    void put(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            int shift = Order == ByteOrder::little ? 8 * i : 8 * (n - 1 - i);
            out_.push_back(uint8_t(v >> shift));
        }
    }
    std::vector<uint8_t>& out_;
};

template <ByteOrder Order>
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}

    bool ok() const { return ok_; }
    size_t left() const { return size_t(end_ - at_); }
    bool at_end() const { return at_ == end_; }
    const uint8_t* here() const { return at_; }
    // Makes this and every later read fail.
    bool fail() {
        ok_ = false;
        at_ = end_;
        return false;
    }

    bool u8(uint8_t& v) { return get(v, 1); }
    bool u16(uint16_t& v) { return get(v, 2); }
    bool u32(uint32_t& v) { return get(v, 4); }
    bool u64(uint64_t& v) { return get(v, 8); }
    bool i32(int32_t& v) {
        uint32_t bits;
        if (!u32(bits)) return false;
        v = int32_t(bits);
        return true;
    }
    bool f32(float& v) {
        uint32_t bits;
        if (!u32(bits)) return false;
        std::memcpy(&v, &bits, 4);
        return true;
    }
    // At most `most_bytes` bytes (five hold 35 bits, ten a whole 64-bit value).
    bool varint(uint64_t& v, int most_bytes = 10) {
        uint64_t got = 0;
        for (int i = 0; i < most_bytes; ++i) {
            uint8_t b;
            if (!u8(b)) return false;
            got |= uint64_t(b & 0x7f) << (7 * i);
            if (!(b & 0x80)) {
                v = got;
                return true;
            }
        }
        return fail();
    }
    // `size` bytes as they stand, or a failure if fewer are left.
    bool bytes(std::string& s, size_t size) {
        if (!ok_ || left() < size) return fail();
        s.assign(reinterpret_cast<const char*>(at_), size);
        at_ += size;
        return true;
    }
    bool skip(size_t size) {
        if (!ok_ || left() < size) return fail();
        at_ += size;
        return true;
    }

private:
    template <typename T>
    bool get(T& v, int n) {
        if (!ok_ || left() < size_t(n)) return fail();
        uint64_t got = 0;
        for (int i = 0; i < n; ++i) {
            int shift = Order == ByteOrder::little ? 8 * i : 8 * (n - 1 - i);
            got |= uint64_t(at_[i]) << shift;
        }
        at_ += n;
        v = T(got);
        return true;
    }

    const uint8_t* at_;
    const uint8_t* end_;
    bool ok_ = true;
};
