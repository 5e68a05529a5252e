#include "session/trace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "session/output_file.h"
#include "session/runner.h"
#include "sim/snapshot.h"
#include "sim/state_fields.h"
#include "platform/clock.h"
#include "platform/pacer.h"

namespace {

// Nine significant digits read back as the same float.
std::string num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", double(v));
    return buf;
}

std::string num(int v) { return std::to_string(v); }

// The pieces one after another (appending, which keeps GCC's -Wrestrict quiet where a
// literal plus a temporary would not).
std::string cat(std::initializer_list<std::string_view> pieces) {
    std::string s;
    for (std::string_view p : pieces) s.append(p);
    return s;
}

// The state's fields as the trace shows them (see Trace in sim/fields.h): the top-level
// keys gathered with their slots, the fields of a record as one JSON object.
class TraceJson {
public:
    // The record's digit field, for an array shown as a string of digits.
    char digit = '0';

    void i32(const char* name, int& v, int, int, const char*, Trace t = {}) { add(name, num(v), t); }
    void f32(const char* name, float& v, float, float, const char*, Trace t = {}) { add(name, num(v), t); }
    void u32(const char* name, uint32_t& v, Trace t = {}) { add(name, std::to_string(v), t); }
    void u8(const char* name, uint8_t& v, uint8_t, const char*, Trace t = {}) { add(name, num(int(v)), t); }
    void flag(const char* name, bool& v, const char*, Trace t = {}) { add(name, v ? "1" : "0", t); }
    template <typename E>
    void choice(const char* name, E& v, std::initializer_list<int>, const char*, Trace t = {}) {
        add(name, num(int(v)), t);
    }
    template <typename E>
    void small_choice(const char* name, E& v, int, const char*, Trace t = {}) {
        add(name, num(int(v)), t);
    }
    template <typename E>
    void ranged(const char* name, E& v, int, int, const char*, Trace t = {}) {
        add(name, num(int(v)), t);
    }
    void pair(const char* name, int& a, int& b, int, int, const char*, const char*, Trace t = {}) {
        add(name, cat({"[", num(a), ",", num(b), "]"}), t);
    }
    template <typename Check>
    void check(Check&&, const char*) {}
    template <typename T, size_t N>
    void records(const char* name, T (&items)[N], Trace t = {}) {
        if (t.form == Trace::digits) {
            std::string s;
            for (size_t i = 0; i < N; ++i) {
                TraceJson cell;
                describe(cell, items[i], int(i));
                s += cell.digit;
            }
            add(name, cat({"\"", s, "\""}), t);
        } else if (t.form != Trace::none) {
            add(name, objects(items, items + N), t);
        }
    }
    template <typename T>
    void list(const char* name, std::vector<T>& items, size_t, const char*, Trace t = {}) {
        if (t.form == Trace::count) {
            add(name, num(int(items.size())), t);
        } else if (t.form != Trace::none) {
            add(name, objects(items.data(), items.data() + items.size()), t);
        }
    }

    // The top-level keys in their order, each "name":value, joined by commas.
    std::string top_level() {
        std::stable_sort(top_.begin(), top_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string s;
        for (const auto& [slot, text] : top_) {
            s += ',';
            s += text;
        }
        return s;
    }

private:
    bool in_record_ = false;
    std::string object_;  // the record's fields so far
    std::vector<std::pair<int, std::string>> top_;

    void add(const char* name, const std::string& value, Trace t) {
        if (t.form == Trace::none) return;
        if (t.form == Trace::digit) {
            int v = std::atoi(value.c_str());
            digit = char('0' + (v >= 0 && v <= 9 ? v : 0));
            return;
        }
        std::string text = cat({"\"", name, "\":", value});
        if (in_record_) {
            object_ += (object_.empty() ? "" : ",") + text;
        } else {
            top_.emplace_back(t.slot, std::move(text));
        }
    }

    template <typename T>
    static std::string objects(T* first, T* last) {
        std::string s = "[";
        for (T* item = first; item != last; ++item) {
            TraceJson record;
            record.in_record_ = true;
            describe(record, *item, int(item - first));
            s += s.size() > 1 ? ",{" : "{";
            s += record.object_;
            s += '}';
        }
        s += ']';
        return s;
    }
};

}  // namespace

std::string trace_line(Program& p) { return trace_line(p, FlipCount(), MilliSecs()); }

std::string trace_line(Program& p, int frame, int ms) {
    TraceJson json;
    describe(json, p.game);
    describe(json, p.world);
    std::string s = cat({"{\"frame\":", num(frame), ",\"ms\":", num(ms), json.top_level()});
    s += ",\"music\":";
    s += num(p.sound.track_playing());
    std::string sfx = "[";
    for (const std::string& name : p.sound.take_log()) sfx += cat({sfx.size() > 1 ? ",\"" : "\"", name, "\""});
    s += ",\"sfx\":";
    s += sfx;
    s += ']';
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016" PRIx64, state_hash(p.world, p.game));
    return cat({s, ",\"hash\":\"", hash, "\"}"});
}

std::shared_ptr<OutputFile> open_trace(Program& p, const std::string& path, std::string* why) {
    auto trace = std::make_shared<OutputFile>();
    if (!trace->open(path, why)) return nullptr;
    p.at_end([&p, trace] {
        std::string failed;
        if (!trace->is_open() || trace->commit(&failed)) return;
        std::fprintf(stderr, "rc-whirlbat: %s\n", failed.c_str());
        p.raise_exit_code(1);
    });
    return trace;
}
