// Replay files: what is written reads back exactly, unchanged frames cost almost
// nothing, and every kind of bad file is refused or cut at its damage with a reason,
// never a crash. Recorded games check out against their state hashes, and a changed
// input or a changed rule is caught.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <xxhash.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "session/replay.h"
#include "session/replay_check.h"
#include "sim/snapshot.h"
#include "game_fixture.h"

namespace {

bool same_float(float a, float b) { return std::memcmp(&a, &b, 4) == 0; }

// Exactly equal, floats by their bits.
bool same_input(const FrameInput& a, const FrameInput& b) {
    for (int p = 0; p < PAD_PORTS; ++p) {
        for (int x = 0; x < 4; ++x) {
            if (!same_float(a.port[p].axis[x], b.port[p].axis[x])) return false;
        }
        if (a.port[p].buttons != b.port[p].buttons) return false;
    }
    return a.mouse_x == b.mouse_x && a.mouse_y == b.mouse_y && a.clicks == b.clicks && a.esc == b.esc &&
           a.space == b.space && a.quit == b.quit && a.pad_count == b.pad_count && a.recount == b.recount &&
           a.flushed == b.flushed &&
           a.flush_buttons == b.flush_buttons &&
           std::memcmp(a.flush_presses, b.flush_presses, sizeof a.flush_presses) == 0;
}

// A recorded game: the title's state, the inputs from the click on "Start Game" on, and
// the bytes a recorder makes of them.
struct Recorded {
    ReplayHeader header;
    std::vector<FrameInput> inputs;
    std::vector<bool> read;  // whether the frame read its input
    std::vector<uint8_t> bytes;
    uint64_t final_hash = 0;
};

class Replays : public GameTest {
protected:
    // Plays `frames` frames from the title: the click on "Start Game", then both pads busy
    // (sticks at their ends and in between, fire, pauses, pointer moves, a pad count change,
    // what the input flush saw).
    Recorded record(int frames, uint32_t seed, bool busy = true) {
        Recorded r;
        r.header.game_version = game_version();
        r.header.seed = 5;
        r.header.start_frame = 400;
        r.header.date = "2024-01-02T03:04:05Z";
        r.header.pilots = "Blue: pad 1; Red: pad 2";
        r.header.world = w;
        r.header.game = g;
        ReplayBuilder b(r.header);
        std::mt19937 rng(seed);
        auto chance = [&](int in) { return std::uniform_int_distribution<int>(0, in - 1)(rng) == 0; };
        const float centre = -1.0f / 65535.0f;
        FrameInput held;
        held.pad_count = 2;
        held.mouse_x = 320;
        held.mouse_y = 245;
        for (int p = 0; p < PAD_PORTS; ++p) {
            for (float& a : held.port[p].axis) a = centre;
        }
        World w2 = w;
        Game g2 = g;
        FrameResult out;
        out.draw = false;
        for (int k = 0; k < frames; ++k) {
            FrameInput in = held;
            if (k == 0) in.clicks = 1;
            if (busy && k > 60) {
                for (int p = 0; p < PAD_PORTS; ++p) {
                    for (float& a : held.port[p].axis) {
                        if (chance(12)) {
                            const float values[] = {-1.0f, 1.0f, 0.0f, centre, 0.5f, -0.0f, -1.0f};
                            a = values[std::uniform_int_distribution<int>(0, 6)(rng)];
                        }
                    }
                    if (chance(8)) held.port[p].buttons ^= 1u << std::uniform_int_distribution<int>(0, 7)(rng);
                    if (chance(5000)) held.port[p].buttons ^= 1u << 20;
                }
                if (chance(30)) held.port[0].axis[AXIS_Y] = held.port[1].axis[AXIS_Y] = -1.0f;
                held.port[0].buttons &= ~2u;  // pad 0's button 1 pauses; pauses come below
                if (chance(40)) held.mouse_x += std::uniform_int_distribution<int>(-300, 300)(rng);
                if (chance(2000)) held.pad_count = held.pad_count == 2 ? 1 : 2;
                in = held;
                if (chance(1000)) in.recount = true;
                if (chance(900)) in.esc = 1;
                if (chance(300)) in.space = 1;
                if (chance(700)) in.clicks = 2;
                if (chance(1500)) {
                    in.flushed = true;
                    in.flush_buttons = 0x41;
                    in.flush_presses[6] = 3;
                    in.flush_presses[9] = 1;
                }
            }
            bool reads = g2.after != AfterPresent::round_start;
            step(w2, g2, reads ? in : FrameInput{}, out);
            b.frame(in, reads, w2, g2);
            r.inputs.push_back(in);
            r.read.push_back(reads);
            if (out.ended) break;
        }
        b.finish(ReplayEnd::title, w2, g2);
        r.bytes = b.pending;
        r.final_hash = state_hash(w2, g2);
        return r;
    }

    Replay parse(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
        Replay r;
        std::string e;
        EXPECT_TRUE(parse_replay(bytes.data(), bytes.size(), r, &e)) << e;
        if (error) *error = e;
        return r;
    }
};

// The blocks of a replay file, to change one and put its checksum right as a forger would.
struct Block {
    size_t start, payload, size;  // where the block begins, its payload and the payload's size
    char kind;
};
std::vector<Block> blocks_of(const std::vector<uint8_t>& bytes) {
    std::vector<Block> out;
    size_t at = 10;
    while (at < bytes.size()) {
        Block b{at, 0, 0, char(bytes[at])};
        size_t i = at + 1;
        for (int shift = 0;; shift += 7) {
            b.size |= size_t(bytes[i] & 0x7f) << shift;
            if (!(bytes[i++] & 0x80)) break;
        }
        b.payload = i;
        out.push_back(b);
        at = i + b.size + 4;
    }
    return out;
}
void reseal(std::vector<uint8_t>& bytes, const Block& b) {
    uint32_t sum = uint32_t(XXH3_64bits_withSeed(bytes.data() + b.payload, b.size, uint8_t(b.kind)));
    for (int i = 0; i < 4; ++i) bytes[b.payload + b.size + i] = uint8_t(sum >> (8 * i));
}

TEST_F(Replays, EveryFrameReadsBackExactlyAndTheGameChecksOut) {
    Recorded rec = record(5000, 1);
    Replay r = parse(rec.bytes);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.damage, "");
    EXPECT_EQ(r.end, ReplayEnd::title);
    EXPECT_EQ(r.frames, long(rec.inputs.size()));
    EXPECT_EQ(r.hashes.size(), rec.inputs.size() / REPLAY_HASH_EVERY);
    EXPECT_EQ(r.final_hash, rec.final_hash);
    EXPECT_EQ(r.header.pilots, "Blue: pad 1; Red: pad 2");
    EXPECT_EQ(r.header.date, "2024-01-02T03:04:05Z");
    EXPECT_EQ(r.header.start_frame, 400u);
    EXPECT_EQ(state_hash(r.header.world, r.header.game), state_hash(w, g));
    ReplayCursor cursor(r);
    FrameInput in;
    int reading = 0, unusual_sticks = 0;
    for (size_t k = 0; k < rec.inputs.size(); ++k) {
        ASSERT_TRUE(cursor.next(in)) << k;
        if (!rec.read[k]) continue;
        ++reading;
        ASSERT_TRUE(same_input(in, rec.inputs[k])) << "frame " << k;
        unusual_sticks += in.port[0].axis[AXIS_Z] == 0.5f || std::signbit(in.port[1].axis[AXIS_X]);
    }
    EXPECT_FALSE(cursor.next(in));
    EXPECT_GT(unusual_sticks, 100);
    // The game went through rounds and round openings (frames that read nothing).
    EXPECT_LT(reading, int(rec.inputs.size()));
    ReplayCheck c = check_replay(r);
    EXPECT_TRUE(c.ok) << c.problem;
    EXPECT_EQ(c.trusted, r.frames);
    EXPECT_EQ(c.final_hash, rec.final_hash);
}

TEST_F(Replays, FramesLikeTheOneBeforeCostAlmostNothing) {
    // An hour of a game nobody flies: the sticks at their centres, the pointer still.
    Recorded idle = record(60 * 60 * 60, 2, false);
    Replay r = parse(idle.bytes);
    EXPECT_EQ(r.frames, 60 * 60 * 60);
    // A block of 60 such frames: its kind, length, a run byte, the hash and the checksum.
    double per_second = double(idle.bytes.size()) / (60 * 60);
    EXPECT_LT(per_second, 16.5);
    EXPECT_TRUE(check_replay(r).ok);
}

TEST_F(Replays, AChangedInputIsCaughtAtTheNextStateHash) {
    Recorded rec = record(3000, 3);
    std::vector<Block> blocks = blocks_of(rec.bytes);
    ASSERT_GT(blocks.size(), 20u);
    // Frames 601..660: some record in the block changes its meaning; the checksum is made
    // to fit, so only the state hashes can tell.
    int caught = 0, tried = 0;
    const Block& b = blocks[11];
    ASSERT_EQ(b.kind, 'F');
    for (size_t at = b.payload; at < b.payload + b.size - 8; ++at) {
        for (uint8_t bit : {0x01, 0x04, 0x10}) {
            std::vector<uint8_t> bytes = rec.bytes;
            bytes[at] ^= bit;
            reseal(bytes, b);
            Replay r;
            std::string error;
            ASSERT_TRUE(parse_replay(bytes.data(), bytes.size(), r, &error)) << error;
            ++tried;
            if (!r.damage.empty() && r.frames <= 600) {
                ++caught;  // the records no longer make sense
                continue;
            }
            ReplayCheck c = check_replay(r);
            if (c.ok) continue;  // a change the rules never look at (an unread port, say)
            ++caught;
            EXPECT_NE(c.problem.find("differs from the recording by frame"), std::string::npos) << c.problem;
            EXPECT_LE(c.trusted, 660);
        }
    }
    EXPECT_GT(caught, tried / 3) << caught << " of " << tried;
}

// A rule changed: the damping leaves no remainder (QUIRK(damping-remainders) "fixed").
void step_without_remainders(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    for (player_tag& p : w.player) {
        if (p.rstp > -0.1f && p.rstp < 0.1f) p.rstp = 0;
    }
}

TEST_F(Replays, AChangedRuleIsCaught) {
    Replay r = parse(record(3000, 4).bytes);
    ReplayCheck c = check_replay(r, step_without_remainders);
    EXPECT_FALSE(c.ok);
    EXPECT_NE(c.problem.find("differs from the recording"), std::string::npos);
    EXPECT_TRUE(check_replay(r).ok);
}

TEST_F(Replays, BadFilesAreRefusedWithAReason) {
    Recorded rec = record(600, 5);
    auto refused = [](std::vector<uint8_t> bytes) {
        Replay r;
        std::string error;
        EXPECT_FALSE(parse_replay(bytes.data(), bytes.size(), r, &error));
        return error;
    };
    EXPECT_EQ(refused({}), "the file is empty");
    EXPECT_NE(refused({'W', 'B', 'R'}).find("not a replay"), std::string::npos);
    std::vector<uint8_t> wrong = rec.bytes;
    wrong[0] = 'X';
    EXPECT_NE(refused(wrong).find("not a replay"), std::string::npos);
    std::vector<uint8_t> future = rec.bytes;
    future[8] = 2;
    EXPECT_NE(refused(future).find("newer version of the game (replay format 2"), std::string::npos);
    std::vector<uint8_t> zero = rec.bytes;
    zero[8] = 0;
    EXPECT_NE(refused(zero).find("format 0"), std::string::npos);
    std::mt19937 rng(9);
    std::vector<uint8_t> noise(5000);
    for (uint8_t& b : noise) b = uint8_t(rng());
    EXPECT_NE(refused(noise).find("not a replay"), std::string::npos);
    std::copy(rec.bytes.begin(), rec.bytes.begin() + 10, noise.begin());
    EXPECT_NE(refused(noise).find("header"), std::string::npos);

    // A header block that claims a gigabyte; a state that claims 4 GB.
    std::vector<Block> blocks = blocks_of(rec.bytes);
    std::vector<uint8_t> huge(rec.bytes.begin(), rec.bytes.begin() + 11);
    huge.insert(huge.end(), {0xff, 0xff, 0xff, 0xff, 0x0f});
    EXPECT_NE(refused(huge).find("claims"), std::string::npos);
}

TEST_F(Replays, ACutOrDamagedFileKeepsItsWholeSeconds) {
    Recorded rec = record(1000, 6);
    std::vector<Block> blocks = blocks_of(rec.bytes);
    const size_t frames_start = blocks[1].start;
    for (size_t cut = 0; cut < rec.bytes.size(); ++cut) {
        Replay r;
        std::string error;
        bool read = parse_replay(rec.bytes.data(), cut, r, &error);
        if (cut < frames_start) {
            ASSERT_FALSE(read) << cut;
            ASSERT_FALSE(error.empty());
            continue;
        }
        ASSERT_TRUE(read) << cut << ": " << error;
        ASSERT_FALSE(r.finished);
        ASSERT_FALSE(r.damage.empty());
        // Only whole blocks count: every second before the cut, none after.
        long whole = 0;
        for (const Block& b : blocks) {
            if (b.kind == 'F' && b.payload + b.size + 4 <= cut) whole += REPLAY_HASH_EVERY;
        }
        ASSERT_EQ(r.frames, whole) << cut;
        ReplayCheck c = check_replay(r);
        ASSERT_FALSE(c.ok);
        ASSERT_EQ(c.trusted, whole);
        ASSERT_EQ(c.problem.rfind("damaged", 0), 0u) << c.problem;
    }
    // A damaged byte in the fifth second: the four before it play.
    std::vector<uint8_t> bytes = rec.bytes;
    bytes[blocks[5].payload + 3] ^= 0x20;
    Replay r = parse(bytes);
    EXPECT_EQ(r.frames, 4 * REPLAY_HASH_EVERY);
    EXPECT_NE(r.damage.find("checksum"), std::string::npos) << r.damage;
    // Bytes after the end.
    bytes = rec.bytes;
    bytes.push_back(0);
    r = parse(bytes);
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.damage.find("follow the end"), std::string::npos);
    EXPECT_FALSE(check_replay(r).ok);
}

TEST_F(Replays, RecordsThatMakeNoSenseAreDamage) {
    Recorded rec = record(300, 7);
    std::vector<Block> blocks = blocks_of(rec.bytes);
    auto damage_of = [&](auto change) {
        std::vector<uint8_t> bytes = rec.bytes;
        change(bytes, blocks[2]);
        reseal(bytes, blocks[2]);
        Replay r = parse(bytes);
        EXPECT_EQ(r.frames, REPLAY_HASH_EVERY);
        return r.damage;
    };
    // An empty record; a run past its block; sticks past their ends.
    EXPECT_NE(damage_of([](std::vector<uint8_t>& b, const Block& k) { b[k.payload] = 0; }).find("make no sense"),
              std::string::npos);
    EXPECT_NE(damage_of([](std::vector<uint8_t>& b, const Block& k) { b[k.payload] = 0xff; }).find("make no sense"),
              std::string::npos);
    EXPECT_NE(damage_of([](std::vector<uint8_t>& b, const Block& k) {
                  b[k.payload] = 0x40;
                  b[k.payload + 1] = 0x01;
                  float v = 3.0f;
                  std::memcpy(&b[k.payload + 2], &v, 4);
              }).find("beyond its ends"),
              std::string::npos);
}

TEST_F(Replays, MutatedFilesNeverCrashTheReaderOrTheGame) {
    Recorded rec = record(700, 8);
    std::mt19937 rng(10);
    auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };
    int refused = 0, damaged = 0, mismatched = 0, good = 0;
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> bytes = rec.bytes;
        int edits = 1 + int(pick(4));
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            switch (pick(5)) {
                case 0: bytes[pick(bytes.size())] ^= uint8_t(1 << pick(8)); break;
                case 1: bytes[pick(bytes.size())] = uint8_t(rng()); break;
                case 2: bytes.erase(bytes.begin() + long(pick(bytes.size()))); break;
                case 3: bytes.insert(bytes.begin() + long(pick(bytes.size())), uint8_t(rng())); break;
                default: bytes.resize(pick(bytes.size())); break;
            }
        }
        // Half the time the blocks are resealed, so the damage reaches the records.
        if (i % 2) {
            for (const Block& b : blocks_of(rec.bytes)) {
                if (b.payload + b.size + 4 <= bytes.size()) reseal(bytes, b);
            }
        }
        Replay r;
        std::string error;
        if (!parse_replay(bytes.data(), bytes.size(), r, &error)) {
            ASSERT_FALSE(error.empty());
            ++refused;
            continue;
        }
        ReplayCheck c = check_replay(r);
        if (!r.damage.empty()) ++damaged;
        else if (!c.ok) ++mismatched;
        else ++good;
    }
    // Every kind of outcome happened.
    EXPECT_GT(refused, 100);
    EXPECT_GT(damaged, 100);
    EXPECT_GT(mismatched, 10);
    EXPECT_GT(good, 10);
}

// Peak resident memory so far, in MB.
long peak_mb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

size_t skip_varint(const std::vector<uint8_t>& b, size_t at, uint64_t* value = nullptr) {
    uint64_t v = 0;
    for (int shift = 0; at < b.size(); shift += 7) {
        v |= uint64_t(b[at] & 0x7f) << shift;
        if (!(b[at++] & 0x80)) break;
    }
    if (value) *value = v;
    return at;
}

void put_varint(std::vector<uint8_t>& out, uint64_t v) {
    for (; v >= 0x80; v >>= 7) out.push_back(uint8_t(v | 0x80));
    out.push_back(uint8_t(v));
}

// The file with its header's starting state replaced by `deflated`, said to be `claimed`
// bytes once inflated, the header block sealed to fit.
std::vector<uint8_t> with_state(const std::vector<uint8_t>& file, const std::vector<uint8_t>& deflated,
                                uint64_t claimed) {
    Block h = blocks_of(file)[0];
    size_t at = h.payload;
    uint64_t n;
    at = skip_varint(file, at, &n) + n;  // game version
    at += 8;                              // seed, frames before
    at = skip_varint(file, at, &n) + n;  // date
    at = skip_varint(file, at, &n) + n;  // pilots
    std::vector<uint8_t> payload(file.begin() + long(h.payload), file.begin() + long(at));
    put_varint(payload, claimed);
    payload.insert(payload.end(), deflated.begin(), deflated.end());
    std::vector<uint8_t> out(file.begin(), file.begin() + long(h.start));
    out.push_back('H');
    put_varint(out, payload.size());
    size_t start = out.size();
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), 4, 0);
    reseal(out, Block{h.start, start, payload.size(), 'H'});
    out.insert(out.end(), file.begin() + long(h.payload + h.size + 4), file.end());
    return out;
}

// n zeros deflated, made a megabyte at a time.
std::vector<uint8_t> deflated_zeros(size_t n) {
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    std::vector<uint8_t> zeros(size_t(1) << 20, 0), out, chunk(size_t(1) << 16);
    for (size_t left = n; ;) {
        size_t take = std::min(left, zeros.size());
        left -= take;
        z.next_in = zeros.data();
        z.avail_in = uInt(take);
        int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
            z.next_out = chunk.data();
            z.avail_out = uInt(chunk.size());
            rc = deflate(&z, flush);
            out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        if (left == 0) break;
    }
    deflateEnd(&z);
    return out;
}

// The campaign of a hostile file's author, with a fixed seed and a memory cap: states
// that inflate a thousandfold (zlib bombs), counts and lengths near their type's end,
// and flips and cuts on top, sealed half the time so the damage reaches the records.
TEST_F(Replays, ZlibBombsAndHugeCountsStayWithinAMemoryCap) {
    Recorded rec = record(700, 9);
    long before = peak_mb();
    // Bombs: 256 MB of zeros deflates to about 250 KB, well within a block's limit.
    std::vector<uint8_t> bomb = deflated_zeros(size_t(256) << 20);
    ASSERT_LT(bomb.size(), size_t(1) << 20);
    for (uint64_t claimed : {uint64_t(4) << 20, uint64_t(1) << 30, uint64_t(1) << 62, uint64_t(0)}) {
        std::vector<uint8_t> bytes = with_state(rec.bytes, bomb, claimed);
        Replay r;
        std::string error;
        EXPECT_FALSE(parse_replay(bytes.data(), bytes.size(), r, &error)) << claimed;
        EXPECT_NE(error.find("header"), std::string::npos) << error;
    }
    bomb.clear();
    bomb.shrink_to_fit();
    std::mt19937 rng(22);
    auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };
    const std::vector<std::vector<uint8_t>> huge = {
        {0xff, 0xff, 0xff, 0xff, 0x0f}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01},
        {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, {0xff, 0xff, 0xff, 0x7f}};
    int refused = 0, read = 0;
    for (int i = 0; i < 1500; ++i) {
        std::vector<uint8_t> bytes = rec.bytes;
        for (int e = 0, edits = 1 + int(pick(3)); e < edits && bytes.size() > 12; ++e) {
            size_t at = 10 + pick(bytes.size() - 10);
            switch (pick(4)) {
                case 0: {  // a count near the end of its type, over what was there
                    const std::vector<uint8_t>& h = huge[pick(huge.size())];
                    for (size_t k = 0; k < h.size() && at + k < bytes.size(); ++k) bytes[at + k] = h[k];
                    break;
                }
                case 1: bytes[at] ^= uint8_t(1 << pick(8)); break;
                case 2: bytes.resize(at); break;
                default: {
                    const std::vector<uint8_t>& h = huge[pick(huge.size())];
                    bytes.insert(bytes.begin() + long(at), h.begin(), h.end());
                    break;
                }
            }
        }
        if (i % 2) {
            for (const Block& b : blocks_of(rec.bytes)) {
                if (b.payload + b.size + 4 <= bytes.size()) reseal(bytes, b);
            }
        }
        Replay r;
        std::string error;
        if (!parse_replay(bytes.data(), bytes.size(), r, &error)) {
            ASSERT_FALSE(error.empty());
            ++refused;
            continue;
        }
        ++read;
        check_replay(r);
    }
    EXPECT_GT(refused, 100);
    EXPECT_GT(read, 100);
    // The bombs were refused without inflating them, and no count was believed.
    long grew = peak_mb() - before;
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(grew, 256) << "MB";  // freed memory waits in the sanitizer's quarantine
#else
    EXPECT_LT(grew, 64) << "MB";
#endif
}

}  // namespace
