#pragma once
// Replay files: a game from "Start Game" to its end, as the state it started from and
// the input of every frame, with the state hash after every 60th frame to prove that
// playing it back gives the same game.
//
// The file is a magic, a format version and a run of blocks. Each block is a kind byte,
// its length, its bytes and a checksum of them, so a reader takes every whole block and
// knows where damage begins:
//   'H' header: game version, seed, frames presented before the game, date, pilots,
//       and the canonical bytes of the World and the Game before the first frame
//       (deflated: most of them are the arena's cells, much alike)
//   'F' one second of play: 60 frames of input, then the state hash after the last
//   'E' the end: the last frames (fewer than 60), the final state hash, the total frame
//       count and how the game ended
// The state's canonical form is part of the format: the header holds it and the hashes
// are taken over it, so a change to what it holds needs a new format number.
// A recording is written a block at a time, so a file cut short (a crash, a power cut)
// still plays up to its last whole second.
//
// Frames hold what the rules read, exactly and compactly: a frame like the one before
// (same sticks, buttons, pointer and pad count, no presses) is part of a run of such
// frames; any other frame says which of its parts changed. A stick costs two bits when
// it is at 0, at an end, or back at the last other value it had (a pad's centre reads a
// hair below 0), and the value's four bytes otherwise.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/frame_input.h"
#include "sim/game_state.h"
#include "sim/world.h"

constexpr int REPLAY_FORMAT = 1;
constexpr int REPLAY_HASH_EVERY = 60;  // frames per block, and between state hashes
constexpr const char* REPLAY_EXTENSION = ".wbreplay";

// How a recorded game ended.
enum class ReplayEnd : uint8_t {
    title = 1,        // game over, or quit from the pause menu, back to the title
    program_end = 2,  // the program ended during the game
};

struct ReplayHeader {
    std::string game_version;
    int seed = 0;
    uint32_t start_frame = 0;  // frames the program had presented before the game's first
    std::string date;          // when the game started, UTC, "2024-05-01T14:03:22Z"
    std::string pilots;        // who flew which side, as the recorder put it
    World world;               // the state before the first frame (the title, with the click
    Game game;                 // that starts the game still to come)
};

struct Replay {
    ReplayHeader header;
    long frames = 0;              // whole frames read
    std::vector<uint64_t> hashes;  // hashes[i]: after frame (i + 1) * 60
    bool finished = false;        // the end block was read
    ReplayEnd end = ReplayEnd::title;
    uint64_t final_hash = 0;
    // Why reading stopped before the end block ("" if it did not): the frames before
    // it are whole and can be played.
    std::string damage;
    // The frames' records of every whole block, one after another (ReplayCursor reads
    // them); a replay in memory is about as small as its file.
    std::vector<uint8_t> records;
};

// The game's version as this build names it.
const char* game_version();

// Builds a replay's bytes as the game goes. Whole blocks collect in `pending` for the
// caller to write out.
class ReplayBuilder {
public:
    explicit ReplayBuilder(const ReplayHeader& header);

    // One frame: the input it read (read_input false: it read none, as after the round
    // opening's last picture) and the state it left.
    void frame(const FrameInput& in, bool read_input, const World& w, const Game& g);
    // The end block, after the last frame.
    void finish(ReplayEnd end, const World& w, const Game& g);
    long frames() const { return frames_; }

    std::vector<uint8_t> pending;

private:
    void encode(const FrameInput& in);
    void end_run();
    void close_block(char kind);

    FrameInput last_;  // the held parts of the frame before
    float other_[PAD_PORTS][4] = {};  // each stick's last value that was not 0 or an end
    int run_ = 0;      // frames like the one before, not yet written
    long frames_ = 0;
    std::vector<uint8_t> block_;
};

// Reads the frames of a replay one after another.
class ReplayCursor {
public:
    explicit ReplayCursor(const Replay& replay) : replay_(&replay) {}
    // The next frame's input; false after the last whole frame.
    bool next(FrameInput& in);
    long frame() const { return frame_; }

private:
    const Replay* replay_;
    size_t at_ = 0;
    long frame_ = 0;
    int run_ = 0;
    FrameInput held_;
    float other_[PAD_PORTS][4] = {};
};

// Reads a replay from bytes. False (with the reason) if there is no usable header;
// otherwise true, with every whole frame read and `damage` saying what stopped the
// reading early, if anything did.
bool parse_replay(const uint8_t* data, size_t size, Replay& out, std::string* error);
// Reads a replay file (at most 64 MB).
bool load_replay(const std::string& path, Replay& out, std::string* error);
// The bytes of a whole replay (tests, tools).
std::vector<uint8_t> replay_bytes(const ReplayHeader& header, const std::vector<FrameInput>& inputs,
                                  ReplayEnd end);
