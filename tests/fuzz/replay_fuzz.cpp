// libFuzzer target for the replay reader (seeds: the committed replays).
// Bytes that begin like a replay ("WB") are read twice:
//   as they are: refused with a reason, or read (whole or cut at its damage) and played
//   to its end or its first wrong state hash;
//   with every block's checksum made to fit, so that damage reaches the frame records
//   and the header behind the checksums.
// Other bytes are edits (two bytes of offset, one of value) of the canonical bytes of a
// busy game's state: a state the reader accepts must then run through the rules, with
// pictures noted, without a fault.
// Anything else traps: a refusal without a reason, or more frames trusted than read.
#include <xxhash.h>

#include <cstdint>
#include <string>
#include <vector>

#include "session/replay.h"
#include "session/replay_check.h"
#include "sim/canonical.h"

namespace {

void play(const std::vector<uint8_t>& bytes) {
    Replay replay;
    std::string error;
    if (!parse_replay(bytes.data(), bytes.size(), replay, &error)) {
        if (error.empty()) __builtin_trap();
        return;
    }
    ReplayCheck check = check_replay(replay);
    if ((!check.ok && check.problem.empty()) || check.trusted > replay.frames) __builtin_trap();
}

// Puts every block's checksum right, as far as the blocks go.
void reseal(std::vector<uint8_t>& bytes) {
    size_t at = 10;
    while (at < bytes.size()) {
        uint8_t kind = bytes[at];
        size_t size = 0, i = at + 1;
        for (int shift = 0; shift < 35 && i < bytes.size(); shift += 7) {
            size |= size_t(bytes[i] & 0x7f) << shift;
            if (!(bytes[i++] & 0x80)) break;
        }
        if (size > bytes.size() || i + size + 4 > bytes.size()) return;
        uint32_t sum = uint32_t(XXH3_64bits_withSeed(bytes.data() + i, size, kind));
        for (int b = 0; b < 4; ++b) bytes[i + size + size_t(b)] = uint8_t(sum >> (8 * b));
        at = i + size + 4;
    }
}

// A round in full swing: rockets, trails, sparks and dust, both helicopters up.
const std::vector<uint8_t>& busy_state() {
    static std::vector<uint8_t> bytes = [] {
        World w = new_world(9);
        Game g = new_game_state(2);
        player_tag::reset(w, 1);
        g.game_state = GameState::play;
        g.play_phase = PlayPhase::running;
        g.round_no = 2;
        g.after = AfterPresent::check_keys;
        FrameInput in;
        FrameResult out;
        out.draw = false;
        for (int k = 0; k < 200; ++k) {
            in.port[0].axis[AXIS_Y] = in.port[1].axis[AXIS_Y] = k < 30 ? -1.0f : 0.0f;
            in.port[0].axis[AXIS_X] = k % 50 < 10 ? 1.0f : 0.0f;
            in.port[0].buttons = in.port[1].buttons = k % 20 < 10 ? 1 : 0;
            step(w, g, in, out);
        }
        std::vector<uint8_t> b;
        write_canonical(b, w);
        write_canonical(b, g);
        return b;
    }();
    return bytes;
}

void run_state(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes = busy_state();
    for (size_t i = 0; i + 3 <= size; i += 3) {
        size_t at = (size_t(data[i]) | size_t(data[i + 1]) << 8) % (bytes.size() + 1);
        if (at == bytes.size()) bytes.resize(bytes.size() - size_t(data[i + 2] % 8));  // a cut
        else bytes[at] = data[i + 2];
    }
    CanonicalReader in(bytes.data(), bytes.size());
    World w;
    Game g;
    if (!read_canonical(in, w) || !read_canonical(in, g)) {
        if (in.problem.empty()) __builtin_trap();
        return;
    }
    FrameInput input;
    FrameResult out;
    for (int k = 0; k < 300; ++k) {
        input.port[k % 2].axis[k % 4] = float(k % 3) - 1.0f;
        input.port[k % 2].buttons = uint32_t(k * 2654435761u);
        input.clicks = k % 7 == 0;
        input.mouse_y = 200 + k % 250;
        out.draw = k % 2 == 0;
        step(w, g, input, out);
        if (out.ended) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 'W' || data[1] != 'B') {
        run_state(data, size);
        return 0;
    }
    std::vector<uint8_t> bytes(data, data + size);
    play(bytes);
    reseal(bytes);
    play(bytes);
    return 0;
}
