#pragma once
// Recording games as they are played. A game is recorded from the frame that leaves the
// title with "Start Game" (the state before it and its input open the replay) to the
// frame that brings the title back (game over, or quitting from the pause menu), or to
// the end of the program. The file is written a second of play at a time by a thread of
// its own, so the game never waits for the disk; it is named NAME.partial until the
// game ends and then renamed, so a finished replay is always whole and a crash leaves a
// .partial that plays up to its last whole second.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "session/replay.h"

struct Program;

constexpr int REPLAYS_KEPT = 50;

// Where replays are kept: $XDG_DATA_HOME/rc-whirlbat/replays, or
// ~/.local/share/rc-whirlbat/replays.
std::string replays_folder();
// The newest replay in a folder, whole or .partial ("" if there is none).
std::string newest_replay(const std::string& folder);
// The whole replays of a folder (not the .partial ones), newest first, as paths.
std::vector<std::string> kept_replays(const std::string& folder);
// Deletes all but the newest `keep` replays of a folder.
void prune_replays(const std::string& folder, int keep);
// Games a crash left as NAME.partial in a folder (none being written by a program that
// still runs): one that plays and checks out up to its last whole second becomes the
// replay NAME-recovered, ending there; one that cannot be played is removed. Each is
// one line to `say`.
void recover_partials(const std::string& folder, const std::function<void(const std::string&)>& say);
// The file --record PATH writes: PATH, or the file a symbolic link there names. False
// with the reason when that exists and is not a regular file (a device, a FIFO, a
// folder), which the replay would otherwise replace.
bool record_target(const std::string& path, std::string* target, std::string* why);

// A replay file being written: bytes are queued and a thread writes, flushes and syncs
// them to NAME.partial; completing it renames the file to NAME.
class ReplayFile {
public:
    ReplayFile() = default;
    ReplayFile(const ReplayFile&) = delete;
    ReplayFile& operator=(const ReplayFile&) = delete;
    ~ReplayFile();

    // Creates NAME.partial (replacing one there, unless `exclusive`: then errno is
    // EEXIST when another took the name first); false with the reason.
    bool open(const std::string& path, std::string* error, bool exclusive = false);
    // Queues bytes; they reach the disk soon after.
    void write(std::vector<uint8_t> bytes);
    // A write that failed ("" none so far).
    std::string error();
    // Waits for every write, then renames NAME.partial to NAME; false with the reason.
    bool complete(std::string* error);
    // Waits for the writes and closes, leaving NAME.partial.
    void abandon();
    const std::string& path() const { return path_; }

private:
    void run();
    void stop();

    std::string path_, partial_;
    HeldFile fd_ = NO_FILE;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::vector<uint8_t>> queue_;
    bool closing_ = false;
    std::string error_;
};

struct RecorderOptions {
    std::string next_file;      // --record FILE: the next game goes there
    bool to_folder = true;      // the other games go to the replays folder
    std::string folder;         // the replays folder ("" replays_folder())
    int seed = 0;
    std::string pilots;         // who flies which side ("" the program says, or the pads)
};

// Watches the frames go by and records each game.
class Recorder {
public:
    explicit Recorder(RecorderOptions options) : options_(std::move(options)) {}

    // After every step: the state it left, its input, whether the loop ended, and the
    // frames the program had presented before it.
    void after_step(const World& w, const Game& g, const FrameInput& in, bool ended, uint32_t presented);
    // The program ends: a game being recorded ends with it.
    void program_end(const World& w, const Game& g);
    bool recording() const { return builder_.has_value(); }
    // Says who flies which side when a game starts (for the replay's header).
    void describe_pilots(std::function<std::string()> describe) { describe_pilots_ = std::move(describe); }
    // The seed the games from now on started from (online, the host's).
    void set_seed(int seed) { options_.seed = seed; }
    // While set (nullptr: not), the program's end finishes a game with this state instead
    // of the one it is given: an online game is recorded from its confirmed frames, which
    // the game on the screen runs ahead of.
    void end_with(const World* w, const Game* g) {
        end_world_ = w;
        end_game_ = g;
    }
    // The last game recorded in this run, or being recorded ("" none).
    const std::string& last_file() const { return last_file_; }

private:
    void start(const FrameInput& in, uint32_t presented, const World& w, const Game& g);
    void finish(ReplayEnd end, const World& w, const Game& g);
    void write_pending();
    void give_up(const std::string& why);

    RecorderOptions options_;
    bool has_title_ = false;
    World title_world_;  // the state the last title frame left
    Game title_game_;
    GameState last_state_ = GameState::intro;
    bool last_reads_ = true;  // whether the last frame stepped read its input
    std::optional<ReplayBuilder> builder_;
    std::unique_ptr<ReplayFile> file_;
    std::string last_file_;
    std::string folder_;  // the folder the game goes to, for keeping the newest there
    std::function<std::string()> describe_pilots_;
    const World* end_world_ = nullptr;
    const Game* end_game_ = nullptr;
};

// Records the program's games: after every step (keeping whatever listened there
// before) and when the program ends.
void attach_recorder(Program& p, std::shared_ptr<Recorder> recorder);
