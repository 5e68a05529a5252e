#pragma once
// How a state field is declared: a visitor walks the fields of a value in order, and
// each visitor makes one thing of them. The canonical bytes (FieldWriter), the
// range-checked reading (FieldReader), the byte size of a record (FieldSizer) and the
// trace's JSON (session/trace) all come from the one list of fields in
// sim/state_fields.h, so a field cannot be in one and missing from another.
//
// A declaration names the field as the trace shows it, gives the range the reader
// accepts and the words its refusal uses, and says how the trace shows it (`Trace`).
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/canonical.h"

// How a field appears in the trace. Inside a record (a helicopter, a rocket) fields are
// shown in their declared order; the trace's top-level keys are ordered by `slot`.
struct Trace {
    enum Form : uint8_t {
        none,    // not in the trace
        value,   // the value (a list or an array of records: the records as objects)
        count,   // a list: its length
        digits,  // an array of records: a string of their `digit` field, one character each
        digit,   // inside such a record: the field that gives its character
    };
    Form form = value;
    int slot = 0;
};
constexpr Trace untraced{Trace::none, 0};
// A top-level trace key at position `slot`.
constexpr Trace traced_at(int slot, Trace::Form form = Trace::value) { return Trace{form, slot}; }

// Appends the canonical bytes: integers little-endian, floats by their bits.
struct FieldWriter {
    CanonicalWriter out;

    void i32(const char*, int& v, int, int, const char*, Trace = {}) { out.i32(v); }
    void f32(const char*, float& v, float, float, const char*, Trace = {}) { out.f32(v); }
    void u32(const char*, uint32_t& v, Trace = {}) { out.u32(v); }
    void u8(const char*, uint8_t& v, uint8_t, const char*, Trace = {}) { out.u8(v); }
    void flag(const char*, bool& v, const char*, Trace = {}) { out.u8(v ? 1 : 0); }
    template <typename E>
    void choice(const char*, E& v, std::initializer_list<int>, const char*, Trace = {}) {
        out.i32(int(v));
    }
    template <typename E>
    void small_choice(const char*, E& v, int, const char*, Trace = {}) {
        out.u8(uint8_t(v));
    }
    template <typename E>
    void ranged(const char*, E& v, int, int, const char*, Trace = {}) {
        out.i32(int(v));
    }
    void pair(const char*, int& a, int& b, int, int, const char*, const char*, Trace = {}) {
        out.i32(a);
        out.i32(b);
    }
    template <typename Check>
    void check(Check&&, const char*) {}
    template <typename T, size_t N>
    void records(const char*, T (&items)[N], Trace = {}) {
        for (size_t i = 0; i < N; ++i) describe(*this, items[i], int(i));
    }
    template <typename T>
    void list(const char*, std::vector<T>& items, size_t, const char*, Trace = {}) {
        out.u32(uint32_t(items.size()));
        for (T& item : items) describe(*this, item, 0);
    }
};

// Reads the canonical bytes back, refusing any value outside its declared range; the
// first refusal is kept in the reader and every later read fails too.
struct FieldReader {
    CanonicalReader& in;

    void i32(const char*, int& v, int lo, int hi, const char* what, Trace = {}) { in.int_in(v, lo, hi, what); }
    void f32(const char*, float& v, float lo, float hi, const char* what, Trace = {}) { in.float_in(v, lo, hi, what); }
    void u32(const char*, uint32_t& v, Trace = {}) { in.u32(v); }
    // A byte from 0 to hi; `refusal` is the whole reason when it is more.
    void u8(const char*, uint8_t& v, uint8_t hi, const char* refusal, Trace = {}) {
        if (in.u8(v) && v > hi) in.fail(refusal);
    }
    void flag(const char*, bool& v, const char* refusal, Trace = {}) {
        uint8_t b = 0;
        if (in.u8(b) && b > 1) in.fail(refusal);
        v = b != 0;
    }
    // An enumeration stored as an integer: one of `allowed`.
    template <typename E>
    void choice(const char*, E& v, std::initializer_list<int> allowed, const char* what, Trace = {}) {
        int n = 0;
        if (!in.int_in(n, -kHuge, kHuge, what)) return;
        for (int a : allowed) {
            if (n == a) {
                v = E(n);
                return;
            }
        }
        in.fail(std::string(what) + " is " + std::to_string(n) + ", which the game does not have");
    }
    // An enumeration stored as an integer from lo to hi.
    template <typename E>
    void ranged(const char*, E& v, int lo, int hi, const char* what, Trace = {}) {
        int n = 0;
        if (in.int_in(n, lo, hi, what)) v = E(n);
    }
    // An enumeration stored as a byte: 0 to hi.
    template <typename E>
    void small_choice(const char*, E& v, int hi, const char* refusal, Trace = {}) {
        uint8_t b = 0;
        if (in.u8(b) && b > hi) in.fail(refusal);
        v = E(b);
    }
    void pair(const char*, int& a, int& b, int lo, int hi, const char* what_a, const char* what_b, Trace = {}) {
        in.int_in(a, lo, hi, what_a);
        in.int_in(b, lo, hi, what_b);
    }
    // A rule between fields read so far: `ok()` false refuses the state with `why`.
    template <typename Check>
    void check(Check&& ok, const char* why) {
        if (in.ok() && !ok()) in.fail(why);
    }
    template <typename T, size_t N>
    void records(const char*, T (&items)[N], Trace = {}) {
        for (size_t i = 0; i < N && in.ok(); ++i) describe(*this, items[i], int(i));
    }
    // A list of at most `most` records; `what` names them in a refusal.
    template <typename T>
    void list(const char*, std::vector<T>& items, size_t most, const char* what, Trace = {}) {
        size_t n = 0;
        if (!in.count(n, most, record_size<T>(), what)) return;
        items.assign(n, T{});
        for (T& item : items) {
            if (!in.ok()) return;
            describe(*this, item, 0);
        }
    }

    // Far beyond anything a screen or a game gives, well inside what an int counts to.
    static constexpr int kHuge = 1000000000;

    template <typename T>
    static size_t record_size();
};

// Counts the canonical bytes of one record.
struct FieldSizer {
    size_t bytes = 0;

    void i32(const char*, int&, int, int, const char*, Trace = {}) { bytes += 4; }
    void f32(const char*, float&, float, float, const char*, Trace = {}) { bytes += 4; }
    void u32(const char*, uint32_t&, Trace = {}) { bytes += 4; }
    void u8(const char*, uint8_t&, uint8_t, const char*, Trace = {}) { bytes += 1; }
    void flag(const char*, bool&, const char*, Trace = {}) { bytes += 1; }
    template <typename E>
    void choice(const char*, E&, std::initializer_list<int>, const char*, Trace = {}) {
        bytes += 4;
    }
    template <typename E>
    void small_choice(const char*, E&, int, const char*, Trace = {}) {
        bytes += 1;
    }
    template <typename E>
    void ranged(const char*, E&, int, int, const char*, Trace = {}) {
        bytes += 4;
    }
    void pair(const char*, int&, int&, int, int, const char*, const char*, Trace = {}) { bytes += 8; }
    template <typename Check>
    void check(Check&&, const char*) {}
};

template <typename T>
size_t FieldReader::record_size() {
    FieldSizer sizer;
    T item{};
    describe(sizer, item, 0);
    return sizer.bytes;
}
