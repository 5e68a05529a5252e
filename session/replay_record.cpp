#include "session/replay_record.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "session/replay_check.h"
#include "session/runner.h"
#include "platform/pacer.h"

namespace fs = std::filesystem;

namespace {

bool is_replay_name(const std::string& name) {
    auto ends_with = [&](const std::string& tail) {
        return name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    };
    return ends_with(REPLAY_EXTENSION) || ends_with(std::string(REPLAY_EXTENSION) + ".partial");
}

// The replays of a folder by name, oldest first: names begin with the date and time.
std::vector<std::string> replays_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (is_replay_name(name) && it->is_regular_file(ec)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string time_text(const char* format, bool utc) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (utc) gmtime_r(&now, &tm);
    else localtime_r(&now, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

// Opens a new file in the folder for a game starting now, named by the local date and
// time, and a number if another game started in the same second. The .partial is
// created only if no other program created it first; "" if a hundred names are taken.
std::string open_new_replay(const std::string& folder, ReplayFile& file, std::string* error) {
    std::string stem = folder + "/" + time_text("%Y-%m-%d_%H-%M-%S", false);
    for (int n = 1; n < 100; ++n) {
        std::string path = stem + (n == 1 ? "" : "_" + std::to_string(n)) + REPLAY_EXTENSION;
        if (file.open(path, error, true)) return path;
        if (errno != EEXIST) return "";
    }
    *error = "too many games this second in " + folder;
    return "";
}

std::string system_error(const std::string& what) { return what + " (" + std::strerror(errno) + ")"; }

}  // namespace

std::string replays_folder() {
    std::string games = UserFolderPath(UserFolder::games);
    return games.empty() ? "" : games + "/replays";
}

std::string newest_replay(const std::string& folder) {
    std::vector<std::string> names = replays_in(folder);
    return names.empty() ? "" : folder + "/" + names.back();
}

std::vector<std::string> kept_replays(const std::string& folder) {
    std::vector<std::string> names = replays_in(folder), paths;
    const std::string tail = REPLAY_EXTENSION;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it->size() > tail.size() && it->compare(it->size() - tail.size(), tail.size(), tail) == 0)
            paths.push_back(folder + "/" + *it);
    }
    return paths;
}

void prune_replays(const std::string& folder, int keep) {
    std::vector<std::string> names = replays_in(folder);
    for (size_t i = 0; i + size_t(keep) < names.size(); ++i) {
        std::error_code ec;
        fs::remove(folder + "/" + names[i], ec);
    }
}

void recover_partials(const std::string& folder, const std::function<void(const std::string&)>& say) {
    const std::string tail = std::string(REPLAY_EXTENSION) + ".partial";
    for (const std::string& name : replays_in(folder)) {
        if (name.size() <= tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0) continue;
        std::string partial = folder + "/" + name;
        // A program still recording holds a lock on its file.
        HeldFile held = FileOpenIfFree(partial);
        if (held == NO_FILE) continue;
        Replay replay;
        std::string why;
        long trusted = 0;
        if (load_replay(partial, replay, &why)) {
            ReplayCheck check = check_replay(replay);
            trusted = check.trusted;
            if (trusted == 0) why = check.problem.empty() ? "no whole second of play" : check.problem;
        }
        std::string recovered = folder + "/" + name.substr(0, name.size() - tail.size()) + "-recovered" + REPLAY_EXTENSION;
        if (trusted > 0) {
            std::vector<FrameInput> inputs;
            ReplayCursor cursor(replay);
            for (FrameInput in; long(inputs.size()) < trusted && cursor.next(in);) inputs.push_back(in);
            std::vector<uint8_t> bytes = replay_bytes(replay.header, inputs, ReplayEnd::program_end);
            HeldFile out = FileCreateHeld(recovered, true);
            bool written = out != NO_FILE && FileWriteAll(out, bytes.data(), bytes.size()) && FileSyncToDisk(out);
            int why = errno;
            if (out != NO_FILE) FileClose(out);
            errno = why;
            std::error_code ec;
            if (!written) {
                if (out != NO_FILE) fs::remove(recovered, ec);
                say("a game left unfinished in " + partial + " could not be recovered (" + std::strerror(errno) +
                    "); it is left there");
            } else {
                fs::remove(partial, ec);
                say("a game left unfinished was recovered as " + recovered + " (" + std::to_string(trusted / 60) +
                    " s)");
            }
        } else {
            std::error_code ec;
            fs::remove(partial, ec);
            say("removed " + partial + ": a game left unfinished that cannot be played (" + why + ")");
        }
        FileClose(held);
    }
}

bool record_target(const std::string& path, std::string* target, std::string* why) {
    fs::path p = path;
    std::error_code ec;
    for (int links = 0; fs::is_symlink(fs::symlink_status(p, ec)); ++links) {
        if (links == 40) return *why = "too many symbolic links", false;
        fs::path next = fs::read_symlink(p, ec);
        if (ec) return *why = ec.message(), false;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    fs::file_status st = fs::status(p, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        *why = fs::is_directory(st) ? "a folder, not a file" : "not a regular file";
        return false;
    }
    *target = p.string();
    return true;
}

// ---- the file ----

ReplayFile::~ReplayFile() {
    if (thread_.joinable() || fd_ != NO_FILE) abandon();
}

bool ReplayFile::open(const std::string& path, std::string* error, bool exclusive) {
    path_ = path;
    partial_ = path + ".partial";
    // Held while the game is written: no other program takes the file for a crash's.
    fd_ = FileCreateHeld(partial_, exclusive);
    if (fd_ == NO_FILE) {
        int why = errno;
        *error = system_error("cannot write " + partial_);
        errno = why;
        return false;
    }
    // Another program's game may have been completed under this name just before the
    // .partial was made: looked at after making it, the name is surely free or taken.
    std::error_code ec;
    if (exclusive && fs::exists(path_, ec)) {
        FileClose(fd_);
        fd_ = NO_FILE;
        fs::remove(partial_, ec);
        *error = "cannot write " + path_ + " (" + std::strerror(EEXIST) + ")";
        errno = EEXIST;
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void ReplayFile::write(std::vector<uint8_t> bytes) {
    if (bytes.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(bytes));
    wake_.notify_one();
}

std::string ReplayFile::error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void ReplayFile::run() {
    while (true) {
        std::vector<uint8_t> bytes;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) return;
            bytes = std::move(queue_.front());
            queue_.pop_front();
            if (!error_.empty()) continue;
        }
        std::string failed;
        // On the disk, not only in the system's cache: a power cut loses at most this second.
        if (!FileWriteAll(fd_, bytes.data(), bytes.size()) || !FileSyncToDisk(fd_)) {
            failed = system_error("cannot write " + partial_);
        }
        if (!failed.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = failed;
        }
    }
}

void ReplayFile::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

bool ReplayFile::complete(std::string* error) {
    stop();
    *error = this->error();
    if (error->empty() && !FileSyncToDisk(fd_)) *error = system_error("cannot write " + partial_);
    if (!FileClose(fd_) && error->empty()) *error = system_error("cannot write " + partial_);
    fd_ = NO_FILE;
    if (!error->empty()) return false;
    if (!FileMoveOver(partial_, path_)) {
        *error = system_error("cannot rename " + partial_ + " to " + path_);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    FolderSyncToDisk(fs::path(path_).parent_path().string());
    return true;
}

void ReplayFile::abandon() {
    stop();
    if (fd_ != NO_FILE) FileClose(fd_);
    fd_ = NO_FILE;
}

// ---- the recorder ----

void Recorder::after_step(const World& w, const Game& g, const FrameInput& in, bool ended, uint32_t presented) {
    GameState before = last_state_;
    bool read_input = last_reads_;
    last_state_ = g.game_state;
    last_reads_ = reads_input(g);
    if (builder_) {
        builder_->frame(in, read_input, w, g);
        write_pending();
    } else if (has_title_ && before == GameState::title && g.game_state == GameState::play) {
        start(in, presented, w, g);
    }
    if (builder_) {
        if (ended) finish(ReplayEnd::program_end, w, g);
        else if (g.game_state == GameState::title) finish(ReplayEnd::title, w, g);
    }
    if (g.game_state == GameState::title) {
        title_world_ = w;
        title_game_ = g;
        has_title_ = true;
    }
}

void Recorder::program_end(const World& w, const Game& g) {
    if (builder_) finish(ReplayEnd::program_end, end_world_ ? *end_world_ : w, end_game_ ? *end_game_ : g);
}

void Recorder::start(const FrameInput& in, uint32_t presented, const World& w, const Game& g) {
    std::string path = options_.next_file;
    options_.next_file.clear();
    folder_.clear();
    if (path.empty()) {
        if (!options_.to_folder) return;
        std::string folder = options_.folder.empty() ? replays_folder() : options_.folder;
        std::error_code ec;
        if (folder.empty()) {
            std::fprintf(stderr, "rc-whirlbat: this game is not recorded: there is no home folder to keep it in\n");
            return;
        }
        fs::create_directories(folder, ec);
        if (ec) {
            std::fprintf(stderr, "rc-whirlbat: this game is not recorded: cannot make the folder %s (%s)\n",
                         folder.c_str(), ec.message().c_str());
            return;
        }
        folder_ = folder;
    }
    ReplayHeader h;
    h.game_version = game_version();
    h.seed = options_.seed;
    h.start_frame = presented;
    h.date = time_text("%Y-%m-%dT%H:%M:%SZ", true);
    h.pilots = !options_.pilots.empty()     ? options_.pilots
               : describe_pilots_            ? describe_pilots_()
               : title_game_.pads_found >= 2 ? "Blue: pad 1; Red: pad 2"
                                             : "Blue: pad 1; Red: none";
    h.world = title_world_;
    h.game = title_game_;
    auto file = std::make_unique<ReplayFile>();
    std::string error;
    if (!folder_.empty()) path = open_new_replay(folder_, *file, &error);
    if (path.empty() || (folder_.empty() && !file->open(path, &error))) {
        std::fprintf(stderr, "rc-whirlbat: this game is not recorded: %s\n", error.c_str());
        return;
    }
    file_ = std::move(file);
    last_file_ = path;
    builder_.emplace(h);
    builder_->frame(in, true, w, g);
    write_pending();
}

void Recorder::write_pending() {
    std::string error = file_->error();
    if (!error.empty()) return give_up(error);
    file_->write(std::move(builder_->pending));
    builder_->pending.clear();
}

void Recorder::finish(ReplayEnd end, const World& w, const Game& g) {
    builder_->finish(end, w, g);
    write_pending();
    if (!builder_) return;
    std::string error;
    if (!file_->complete(&error)) {
        std::fprintf(stderr, "rc-whirlbat: the replay of this game is incomplete: %s\n", error.c_str());
    }
    builder_.reset();
    file_.reset();
    if (!folder_.empty()) prune_replays(folder_, REPLAYS_KEPT);
}

void Recorder::give_up(const std::string& why) {
    std::fprintf(stderr, "rc-whirlbat: the recording of this game stopped: %s; the game goes on unrecorded\n",
                 why.c_str());
    file_->abandon();
    file_.reset();
    builder_.reset();
}

void attach_recorder(Program& p, std::shared_ptr<Recorder> recorder) {
    p.recorder = recorder;
    p.at_end([&p, recorder] { recorder->program_end(p.world, p.game); });
    recorder->describe_pilots([&p] {
        return "Blue: " + pilot_text(p.pilots.choice[0]) + "; Red: " + pilot_text(p.pilots.choice[1]);
    });
}
