#include "session/replay.h"

#include <xxhash.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sim/snapshot.h"
#include "session/advance.h"
#include "base/bytes.h"
#include "sim/canonical.h"

#ifndef WHIRLBAT_VERSION
#define WHIRLBAT_VERSION "unknown"
#endif

namespace {

constexpr uint8_t kMagic[8] = {'W', 'B', 'R', 'E', 'P', 'L', 'A', 'Y'};
constexpr size_t kMostFile = size_t(64) << 20;
constexpr uint64_t kMostBlock = uint64_t(1) << 20;
constexpr uint64_t kMostText = 1024;
constexpr uint64_t kMostState = uint64_t(4) << 20;
constexpr long kMostFrames = long(1) << 26;  // 310 hours
constexpr int kMostPointer = 1000000000;

// A frame record's first byte: a run of frames like the one before (low 7 bits: the run
// less one), or the parts of the frame that changed.
enum : uint8_t {
    kRun = 0x80,
    kAxes0 = 0x01,
    kButtons0 = 0x02,
    kAxes1 = 0x04,
    kButtons1 = 0x08,
    kMouse = 0x10,
    kEvents = 0x20,
    kOthers = 0x40,  // new other values of sticks follow
};
constexpr int kMostRun = 128;
// The events byte: presses and the rare things.
enum : uint8_t {
    kClicks = 0x01,
    kEsc = 0x02,
    kSpace = 0x04,
    kQuit = 0x08,
    kFlushed = 0x10,
    kPadCount = 0x20,
    kRecount = 0x40,
};

uint64_t zigzag(int64_t v) { return (uint64_t(v) << 1) ^ uint64_t(v >> 63); }
int64_t unzigzag(uint64_t v) { return int64_t(v >> 1) ^ -int64_t(v & 1); }
// Replay files are little-endian throughout.
using Out = ByteWriter<ByteOrder::little>;

void put_text(std::vector<uint8_t>& out, const std::string& s) {
    std::string text = s.substr(0, kMostText);
    Out(out).varint(text.size());
    Out(out).bytes(text.data(), text.size());
}

uint32_t checksum(char kind, const uint8_t* data, size_t size) {
    return uint32_t(XXH3_64bits_withSeed(data, size, uint64_t(uint8_t(kind))));
}

// A stick's two bits: 0 at 0, 1 full +, 2 full -, 3 its last other value.
uint32_t bits_of(float v) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}
int stick_code(float v) {
    uint32_t b = bits_of(v);
    return b == bits_of(0.0f) ? 0 : b == bits_of(FULL_POSITIVE) ? 1 : b == bits_of(FULL_NEGATIVE) ? 2 : 3;
}
bool same_stick(float a, float b) { return bits_of(a) == bits_of(b); }

bool has_events(const FrameInput& in) {
    return in.clicks || in.esc || in.space || in.quit || in.recount || in.flushed;
}

// The held parts of a frame: sticks, buttons, pointer and pad count, with no presses.
FrameInput held_part(const FrameInput& in) {
    FrameInput h;
    h.port[0] = in.port[0];
    h.port[1] = in.port[1];
    h.mouse_x = in.mouse_x;
    h.mouse_y = in.mouse_y;
    h.pad_count = in.pad_count;
    return h;
}

// Reads within a bounded range of bytes; a read past its end fails. A variable-length
// integer here has at most five bytes unless said otherwise.
struct Bytes : ByteReader<ByteOrder::little> {
    Bytes(const uint8_t* data, size_t size) : ByteReader(data, size) {}
    bool varint(uint64_t& v, int bytes = 5) { return ByteReader::varint(v, bytes); }
    bool text(std::string& s) {
        uint64_t n;
        if (!varint(n) || n > kMostText || n > left()) return false;
        return bytes(s, size_t(n));
    }
};

// The parts of a frame record, each false with the reason on a record that makes no
// sense. New values of sticks that stand at neither end, for the ports that follow.
bool decode_others(Bytes& in, float (&other)[PAD_PORTS][4], uint8_t* fresh, const char** problem) {
    if (!in.u8(*fresh) || *fresh == 0) return *problem = "a damaged stick record", false;
    for (int i = 0; i < 2 * 4; ++i) {
        if (!(*fresh >> i & 1)) continue;
        uint32_t bits;
        if (!in.u32(bits)) return *problem = "the frames end early", false;
        float v;
        std::memcpy(&v, &bits, 4);
        if (!std::isfinite(v) || v < -1 || v > 1 || stick_code(v) != 3) return *problem = "a stick beyond its ends", false;
        other[i / 4][i % 4] = v;
    }
    return true;
}

// Each port's sticks and the buttons that changed.
bool decode_ports(Bytes& in, uint8_t flags, uint8_t fresh, const float (&other)[PAD_PORTS][4], FrameInput& f,
                  const char** problem) {
    for (int p = 0; p < PAD_PORTS; ++p) {
        if (flags & (p == 0 ? kAxes0 : kAxes1)) {
            uint8_t b;
            if (!in.u8(b)) return *problem = "the frames end early", false;
            for (int a = 0; a < 4; ++a) {
                int code = b >> (2 * a) & 3;
                f.port[p].axis[a] = code == 0 ? 0.0f : code == 1 ? FULL_POSITIVE : code == 2 ? FULL_NEGATIVE : other[p][a];
            }
        } else if (fresh >> (4 * p) & 0xf) {
            return *problem = "a new stick value that no stick takes", false;
        }
        if (flags & (p == 0 ? kButtons0 : kButtons1)) {
            uint64_t changed;
            if (!in.varint(changed) || changed > UINT32_MAX) return *problem = "a damaged button record", false;
            f.port[p].buttons ^= uint32_t(changed);
        }
    }
    return true;
}

bool decode_pointer(Bytes& in, FrameInput& f, const char** problem) {
    uint64_t dx, dy;
    if (!in.varint(dx) || !in.varint(dy)) return *problem = "a damaged pointer record", false;
    int64_t x = f.mouse_x + unzigzag(dx), y = f.mouse_y + unzigzag(dy);
    if (x < -kMostPointer || x > kMostPointer || y < -kMostPointer || y > kMostPointer)
        return *problem = "the pointer leaves any screen", false;
    f.mouse_x = int(x);
    f.mouse_y = int(y);
    return true;
}

// The presses and the rare things.
bool decode_events(Bytes& in, FrameInput& f, const char** problem) {
    uint8_t ev;
    if (!in.u8(ev)) return *problem = "the frames end early", false;
    if (ev & 0x80) return *problem = "an event record of an unknown kind", false;
    if ((ev & kClicks) && !in.u8(f.clicks)) return *problem = "the frames end early", false;
    if ((ev & kEsc) && !in.u8(f.esc)) return *problem = "the frames end early", false;
    if ((ev & kSpace) && !in.u8(f.space)) return *problem = "the frames end early", false;
    f.quit = ev & kQuit;
    f.recount = ev & kRecount;
    if (ev & kFlushed) {
        uint64_t buttons, which;
        if (!in.varint(buttons) || buttons > UINT32_MAX || !in.varint(which, 3) || which > 0xffff)
            return *problem = "a damaged input-flush record", false;
        f.flushed = true;
        f.flush_buttons = uint32_t(buttons);
        for (int b = 0; b < PAD_BUTTONS; ++b) {
            if ((which >> b & 1) && !in.u8(f.flush_presses[b])) return *problem = "the frames end early", false;
        }
    }
    if (ev & kPadCount) {
        uint64_t n;
        if (!in.varint(n) || n > 255) return *problem = "a damaged pad-count record", false;
        f.pad_count = int(n);
    }
    return true;
}

// One frame from the records: `held` and `run` carry from frame to frame. False, with
// the reason, on a record that makes no sense.
bool decode_frame(Bytes& in, FrameInput& held, float (&other)[PAD_PORTS][4], int& run, FrameInput& out,
                  std::string* problem) {
    if (run > 0) {
        --run;
        out = held;
        return true;
    }
    const char* why = nullptr;
    uint8_t flags;
    if (!in.u8(flags)) return *problem = "the frames end early", false;
    if (flags & kRun) {
        run = flags & 0x7f;
        out = held;
        return true;
    }
    if (flags == 0) return *problem = "an empty frame record", false;
    FrameInput f = held;
    uint8_t fresh = 0;
    bool ok = (!(flags & kOthers) || decode_others(in, other, &fresh, &why)) && decode_ports(in, flags, fresh, other, f, &why) &&
              (!(flags & kMouse) || decode_pointer(in, f, &why)) && (!(flags & kEvents) || decode_events(in, f, &why));
    if (!ok) return *problem = why, false;
    held = held_part(f);
    out = f;
    return true;
}

// Reads one block: its kind and payload. False with the reason if the bytes end inside
// it or its checksum is wrong.
bool read_block(Bytes& in, char& kind, Bytes& payload, std::string* problem) {
    uint8_t k;
    uint64_t size;
    uint32_t sum = 0;
    if (!in.u8(k) || !in.varint(size)) return *problem = "cut short", false;
    if (size > kMostBlock) return *problem = "too long (it claims " + std::to_string(size) + " bytes)", false;
    if (in.left() < size + 4) return *problem = "cut short", false;
    payload = Bytes(in.here(), size_t(size));
    in.skip(size_t(size));
    in.u32(sum);
    if (sum != checksum(char(k), payload.here(), size)) return *problem = "damaged (its checksum is wrong)", false;
    kind = char(k);
    return true;
}

bool read_header(Bytes& in, ReplayHeader& h, std::string* problem) {
    uint32_t seed;
    uint64_t state_size;
    if (!in.text(h.game_version) || !in.u32(seed) || !in.u32(h.start_frame) || !in.text(h.date) ||
        !in.text(h.pilots) || !in.varint(state_size)) {
        *problem = "the header is damaged";
        return false;
    }
    h.seed = int32_t(seed);
    if (state_size > kMostState) {
        *problem = "the header claims a starting state of " + std::to_string(state_size) + " bytes";
        return false;
    }
    // The state is kept deflated: most of it is the arena's cells, much alike.
    std::vector<uint8_t> bytes(size_t(state_size) + 1);
    uLongf size = uLongf(bytes.size());
    if (uncompress(bytes.data(), &size, in.here(), uLong(in.left())) != Z_OK || size != state_size) {
        *problem = "the header's starting state is damaged";
        return false;
    }
    CanonicalReader state(bytes.data(), size_t(size));
    if (!read_canonical(state, h.world) || !read_canonical(state, h.game)) {
        *problem = "the starting state is not one the game can have: " + state.problem;
        return false;
    }
    if (state.left() != 0) {
        *problem = "the starting state has " + std::to_string(state.left()) + " bytes too many";
        return false;
    }
    return true;
}

}  // namespace

const char* game_version() { return WHIRLBAT_VERSION; }

// ---- writing ----

ReplayBuilder::ReplayBuilder(const ReplayHeader& h) {
    pending.assign(std::begin(kMagic), std::end(kMagic));
    pending.push_back(uint8_t(REPLAY_FORMAT));
    pending.push_back(uint8_t(REPLAY_FORMAT >> 8));
    put_text(block_, h.game_version);
    Out(block_).i32(h.seed);
    Out(block_).u32(h.start_frame);
    put_text(block_, h.date);
    put_text(block_, h.pilots);
    std::vector<uint8_t> state;
    write_canonical(state, h.world);
    write_canonical(state, h.game);
    Out(block_).varint(state.size());
    std::vector<uint8_t> packed(compressBound(uLong(state.size())));
    uLongf size = uLongf(packed.size());
    compress2(packed.data(), &size, state.data(), uLong(state.size()), Z_BEST_COMPRESSION);
    block_.insert(block_.end(), packed.begin(), packed.begin() + long(size));
    close_block('H');
}

void ReplayBuilder::frame(const FrameInput& in, bool read_input, const World& w, const Game& g) {
    if (read_input) {
        encode(in);
    } else if (++run_ == kMostRun) {
        end_run();
    }
    ++frames_;
    if (frames_ % REPLAY_HASH_EVERY == 0) {
        end_run();
        Out(block_).u64(state_hash(w, g));
        close_block('F');
    }
}

void ReplayBuilder::finish(ReplayEnd end, const World& w, const Game& g) {
    end_run();
    std::vector<uint8_t> records = std::move(block_);
    block_.clear();
    Out(block_).varint(uint64_t(frames_ % REPLAY_HASH_EVERY));
    block_.insert(block_.end(), records.begin(), records.end());
    Out(block_).u64(state_hash(w, g));
    Out(block_).varint(uint64_t(frames_));
    block_.push_back(uint8_t(end));
    close_block('E');
}

void ReplayBuilder::encode(const FrameInput& in) {
    bool like = !has_events(in) && in.mouse_x == last_.mouse_x && in.mouse_y == last_.mouse_y &&
                in.pad_count == last_.pad_count;
    bool sticks_moved[PAD_PORTS] = {};
    for (int p = 0; p < PAD_PORTS; ++p) {
        for (int a = 0; a < 4; ++a) sticks_moved[p] |= !same_stick(in.port[p].axis[a], last_.port[p].axis[a]);
        like = like && !sticks_moved[p] && in.port[p].buttons == last_.port[p].buttons;
    }
    if (like) {
        if (++run_ == kMostRun) end_run();
        return;
    }
    end_run();
    uint8_t flags = 0, fresh = 0;
    for (int p = 0; p < PAD_PORTS; ++p) {
        if (sticks_moved[p]) flags |= p == 0 ? kAxes0 : kAxes1;
        if (in.port[p].buttons != last_.port[p].buttons) flags |= p == 0 ? kButtons0 : kButtons1;
        for (int a = 0; a < 4; ++a) {
            float v = in.port[p].axis[a];
            if (stick_code(v) == 3 && !same_stick(v, other_[p][a])) fresh |= uint8_t(1 << (4 * p + a));
        }
    }
    if (fresh) flags |= kOthers;
    if (in.mouse_x != last_.mouse_x || in.mouse_y != last_.mouse_y) flags |= kMouse;
    const int pad_count = in.pad_count < 0 ? 0 : in.pad_count > 255 ? 255 : in.pad_count;
    uint8_t ev = (in.clicks ? kClicks : 0) | (in.esc ? kEsc : 0) | (in.space ? kSpace : 0) | (in.quit ? kQuit : 0) |
                 (in.flushed ? kFlushed : 0) | (pad_count != last_.pad_count ? kPadCount : 0) |
                 (in.recount ? kRecount : 0);
    if (ev) flags |= kEvents;
    block_.push_back(flags);
    if (fresh) {
        block_.push_back(fresh);
        for (int i = 0; i < 2 * 4; ++i) {
            if (!(fresh >> i & 1)) continue;
            other_[i / 4][i % 4] = in.port[i / 4].axis[i % 4];
            Out(block_).f32(other_[i / 4][i % 4]);
        }
    }
    for (int p = 0; p < PAD_PORTS; ++p) {
        if (flags & (p == 0 ? kAxes0 : kAxes1)) {
            uint8_t codes = 0;
            for (int a = 0; a < 4; ++a) codes |= uint8_t(stick_code(in.port[p].axis[a]) << (2 * a));
            block_.push_back(codes);
        }
        if (flags & (p == 0 ? kButtons0 : kButtons1)) Out(block_).varint(in.port[p].buttons ^ last_.port[p].buttons);
    }
    if (flags & kMouse) {
        Out(block_).varint(zigzag(int64_t(in.mouse_x) - last_.mouse_x));
        Out(block_).varint(zigzag(int64_t(in.mouse_y) - last_.mouse_y));
    }
    if (ev) {
        block_.push_back(ev);
        if (in.clicks) block_.push_back(in.clicks);
        if (in.esc) block_.push_back(in.esc);
        if (in.space) block_.push_back(in.space);
        if (in.flushed) {
            uint32_t which = 0;
            for (int b = 0; b < PAD_BUTTONS; ++b) which |= uint32_t(in.flush_presses[b] != 0) << b;
            Out(block_).varint(in.flush_buttons);
            Out(block_).varint(which);
            for (int b = 0; b < PAD_BUTTONS; ++b) {
                if (in.flush_presses[b]) block_.push_back(in.flush_presses[b]);
            }
        }
        if (ev & kPadCount) Out(block_).varint(uint64_t(pad_count));
    }
    last_ = held_part(in);
    last_.pad_count = pad_count;
}

void ReplayBuilder::end_run() {
    if (run_ == 0) return;
    block_.push_back(uint8_t(kRun | (run_ - 1)));
    run_ = 0;
}

void ReplayBuilder::close_block(char kind) {
    pending.push_back(uint8_t(kind));
    Out(pending).varint(block_.size());
    pending.insert(pending.end(), block_.begin(), block_.end());
    Out(pending).u32(checksum(kind, block_.data(), block_.size()));
    block_.clear();
}

// ---- reading ----

bool ReplayCursor::next(FrameInput& in) {
    if (frame_ >= replay_->frames) return false;
    const uint8_t* records = replay_->records.data();
    Bytes bytes(records + at_, replay_->records.size() - at_);
    std::string problem;
    if (!decode_frame(bytes, held_, other_, run_, in, &problem)) return false;
    at_ = size_t(bytes.here() - records);
    ++frame_;
    return true;
}

namespace {

// The blocks after the header, one at a time: each second's frames decoded to check
// them and kept as records, then the end. Damage is noted in the replay, which plays up
// to it.
class BlockReader {
public:
    explicit BlockReader(Replay& out) : out_(out) {}
    // One block; false when there is no more (the end came, or damage).
    bool next(Bytes& in);

private:
    bool damage(const std::string& what) {
        out_.damage = what + " (after frame " + std::to_string(out_.frames) + ")";
        return false;
    }
    bool frames(Bytes& p, long n);
    bool second(Bytes& payload);
    bool end(Bytes& payload);

    Replay& out_;
    FrameInput held_;
    float other_[PAD_PORTS][4] = {};
    int run_ = 0;
    std::string problem_;
};

bool BlockReader::frames(Bytes& p, long n) {
    const uint8_t* first = p.here();
    FrameInput f;
    for (long k = 0; k < n; ++k) {
        if (!decode_frame(p, held_, other_, run_, f, &problem_)) return false;
    }
    if (run_ != 0) return problem_ = "a run of frames goes past its block", false;
    out_.records.insert(out_.records.end(), first, p.here());
    out_.frames += n;
    return true;
}

bool BlockReader::second(Bytes& payload) {
    size_t before = out_.records.size();
    long frames_before = out_.frames;
    if (!frames(payload, REPLAY_HASH_EVERY)) return damage("the frames make no sense (" + problem_ + ")");
    uint64_t hash;
    if (!payload.u64(hash) || payload.left() != 0) {
        out_.records.resize(before);
        out_.frames = frames_before;
        return damage("a block of frames is malformed");
    }
    out_.hashes.push_back(hash);
    return true;
}

bool BlockReader::end(Bytes& payload) {
    size_t before = out_.records.size();
    long frames_before = out_.frames;
    uint64_t n, hash, total;
    uint8_t how;
    if (!payload.varint(n) || n >= uint64_t(REPLAY_HASH_EVERY)) return damage("the end record is malformed");
    if (!frames(payload, long(n))) return damage("the last frames make no sense (" + problem_ + ")");
    if (!payload.u64(hash) || !payload.varint(total) || !payload.u8(how) || payload.left() != 0 ||
        total != uint64_t(out_.frames) || (how != uint8_t(ReplayEnd::title) && how != uint8_t(ReplayEnd::program_end))) {
        out_.records.resize(before);
        out_.frames = frames_before;
        return damage("the end record is malformed");
    }
    out_.final_hash = hash;
    out_.end = ReplayEnd(how);
    out_.finished = true;
    return true;
}

bool BlockReader::next(Bytes& in) {
    if (out_.finished) return false;
    if (in.left() == 0) {
        out_.damage = "the recording stops after frame " + std::to_string(out_.frames) +
                      " without its end (the program stopped before the game ended)";
        return false;
    }
    char kind = 0;
    Bytes payload(nullptr, 0);
    if (!read_block(in, kind, payload, &problem_)) return damage("the block is " + problem_);
    if (out_.frames + REPLAY_HASH_EVERY > kMostFrames) return damage("the replay is impossibly long");
    if (kind == 'F') return second(payload);
    if (kind == 'E') return end(payload);
    return damage("a block of an unknown kind");
}

}  // namespace

bool parse_replay(const uint8_t* data, size_t size, Replay& out, std::string* error) {
    out = Replay{};
    if (size == 0) return *error = "the file is empty", false;
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return *error = "not a replay (it does not begin with WBREPLAY)", false;
    Bytes in(data + sizeof kMagic, size - sizeof kMagic);
    uint8_t lo, hi;
    if (!in.u8(lo) || !in.u8(hi)) return *error = "the file ends inside its header", false;
    int format = lo | hi << 8;
    if (format > REPLAY_FORMAT) {
        *error = "made by a newer version of the game (replay format " + std::to_string(format) +
                 "; this one reads format " + std::to_string(REPLAY_FORMAT) + ")";
        return false;
    }
    if (format < 1) return *error = "replay format 0 does not exist; the header is damaged", false;
    char kind = 0;
    Bytes payload(nullptr, 0);
    std::string problem;
    if (!read_block(in, kind, payload, &problem)) return *error = "the header is " + problem, false;
    if (kind != 'H') return *error = "the header is missing", false;
    if (!read_header(payload, out.header, error)) return false;
    BlockReader blocks(out);
    while (blocks.next(in)) {
    }
    if (out.finished && in.left() != 0) out.damage = std::to_string(in.left()) + " bytes follow the end record";
    return true;
}

bool load_replay(const std::string& path, Replay& out, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return *error = std::string("cannot be read (") + std::strerror(errno) + ")", false;
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + n > kMostFile) {
            std::fclose(f);
            return *error = "too large for a replay (over 64 MB)", false;
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) return *error = "cannot be read (a read error)", false;
    return parse_replay(bytes.data(), bytes.size(), out, error);
}

std::vector<uint8_t> replay_bytes(const ReplayHeader& header, const std::vector<FrameInput>& inputs, ReplayEnd end) {
    ReplayBuilder b(header);
    World w = header.world;
    Game g = header.game;
    FrameResult out;
    out.draw = false;
    for (const FrameInput& in : inputs) {
        bool reads = reads_input(g);
        advance(w, g, in, out);
        b.frame(in, reads, w, g);
        if (out.ended) break;
    }
    b.finish(end, w, g);
    return b.pending;
}
