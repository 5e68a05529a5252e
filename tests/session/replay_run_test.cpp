// Replays through the program: a scripted two-pad game recorded with --record plays back
// headless to the same trace, every field of every frame but the clock; --verify and
// --replay refuse bad files in one line; the title's key watches the last game with the
// original's pictures; and a recording that cannot be written costs one line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/pixmap.h"
#include "session/replay.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

using test_support::OutputPath;
using test_support::RunGame;

// game015 of the golden runs: a whole game (rockets, crashes, pauses) from frame 98 to
// frame 2256, then the title.
const std::vector<std::string> kGame = {"--seed", "15", "--script", "tests/golden/scripts/game015.txt", "--frames",
                                        "2271"};
constexpr int kGameStart = 97, kGameFrames = 2159;

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream f(path);
    for (std::string line; std::getline(f, line);) lines.push_back(line);
    return lines;
}

// A trace line without its "ms" field.
std::string without_clock(std::string line) {
    size_t at = line.find(",\"ms\":");
    if (at == std::string::npos) return line;
    size_t end = line.find_first_not_of("0123456789", at + 6);
    return line.erase(at, end - at);
}

// A top-level number or string field of a trace line, as written ("" if absent).
std::string field(const std::string& line, const std::string& name) {
    size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return "";
    at += name.size() + 3;
    if (line[at] == '"') return line.substr(at, line.find('"', at + 1) + 1 - at);
    return line.substr(at, line.find_first_of(",}", at) - at);
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Runs the golden game headless with a trace (and more arguments); returns the trace.
std::vector<std::string> run_game(const std::string& name, const std::vector<std::string>& more, int* code = nullptr,
                                  std::string* err = nullptr, const std::vector<std::string>& env = {}) {
    std::string trace = OutputPath(name + ".jsonl");
    std::string e;
    int c = RunGame(with(with({"--headless", "--trace", trace}, kGame), more), &e, env);
    if (code) *code = c;
    if (err) *err = e;
    EXPECT_EQ(c, 0) << e;
    return lines_of(trace);
}

// Records the golden game to a file of its own; its trace is the recording run's.
std::string record(const std::string& name, std::vector<std::string>* trace = nullptr) {
    std::string file = OutputPath(name + ".wbreplay");
    std::remove(file.c_str());
    std::vector<std::string> t = run_game(name + "-recording", {"--record", file, "--sync-test", "8"});
    if (trace) *trace = t;
    return file;
}

int lines_in(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

TEST(ReplayRuns, AScriptedGamePlaysBackToTheSameTraceEveryFrame) {
    std::vector<std::string> recorded;
    std::string file = record("replay-same", &recorded);
    // Recording changes nothing of the game.
    EXPECT_EQ(run_game("replay-same-plain", {}), recorded);

    std::string trace = OutputPath("replay-same-back.jsonl");
    std::string err;
    ASSERT_EQ(RunGame({"--replay", file, "--headless", "--trace", trace}, &err), 0) << err;
    EXPECT_EQ(err, "");
    std::vector<std::string> back = lines_of(trace);
    ASSERT_EQ(int(back.size()), kGameFrames);
    for (int k = 0; k < kGameFrames; ++k) {
        const std::string& original = recorded[size_t(kGameStart + k)];
        ASSERT_EQ(field(back[size_t(k)], "frame"), std::to_string(kGameStart + 1 + k));
        ASSERT_EQ(without_clock(back[size_t(k)]), without_clock(original)) << "frame " << kGameStart + 1 + k;
    }
    // The game it played: from "Start Game" to the title after game over.
    EXPECT_EQ(field(back.front(), "game_state"), "2");
    EXPECT_EQ(field(back[back.size() - 2], "game_state"), "5");
    EXPECT_EQ(field(back.back(), "game_state"), "4");

    ASSERT_EQ(RunGame({"--verify", file}, &err), 0) << err;
    EXPECT_EQ(err, "");
}

// Two computer pilots fly a minute after "Start Game", until the run ends: the replay
// says who flew and plays back the same.
TEST(ReplayRuns, AGameOfComputerPilotsPlaysBackTheSameToTheEndOfTheRun) {
    std::string script = OutputPath("replay-computers.txt"), file = OutputPath("replay-computers.wbreplay");
    std::ofstream(script) << "f400 mouse move 320 245\nf400 mouse left down\nf401 mouse left up\n";
    std::remove(file.c_str());
    std::string trace = OutputPath("replay-computers.jsonl"), back = OutputPath("replay-computers-back.jsonl"), err;
    ASSERT_EQ(RunGame({"--headless", "--seed", "4", "--blue", "computer", "--red", "computer:hard", "--script", script,
                       "--frames", "4000", "--trace", trace, "--record", file},
                      &err),
              0)
        << err;
    ASSERT_EQ(RunGame({"--replay", file, "--headless", "--trace", back}, &err), 0) << err;
    std::vector<std::string> recorded = lines_of(trace), played = lines_of(back);
    ASSERT_EQ(played.size(), 3600u);
    int rockets = 0;
    for (size_t k = 0; k < played.size(); ++k) {
        ASSERT_EQ(without_clock(played[k]), without_clock(recorded[400 + k])) << k;
        rockets += played[k].find("rocket\"") != std::string::npos;
    }
    EXPECT_GT(rockets, 5);  // the pilots flew and fired
    std::ifstream f(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("Blue: computer:normal; Red: computer:hard"), std::string::npos);
}

TEST(ReplayRuns, BadFilesAreOneLineNamingTheFileAndStatusOne) {
    std::string good = record("replay-bad");
    std::vector<uint8_t> bytes;
    {
        std::ifstream f(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 1000u);
    std::mt19937 rng(4);
    std::vector<uint8_t> noise(3000);
    for (uint8_t& b : noise) b = uint8_t(rng());
    std::vector<uint8_t> wrong_magic = bytes, future = bytes, absurd(bytes.begin(), bytes.begin() + 11);
    wrong_magic[1] = 'X';
    future[8] = 9;
    absurd.insert(absurd.end(), {0xff, 0xff, 0xff, 0xff, 0x0f, 0, 0, 0, 0});
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "the file is empty"},
        {"truncated", std::vector<uint8_t>(bytes.begin(), bytes.end() - 100), "damaged: the block is cut short"},
        {"cut-in-header", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100), "the header is cut short"},
        {"noise", noise, "not a replay"},
        {"wrong-magic", wrong_magic, "not a replay"},
        {"future", future, "made by a newer version of the game (replay format 9; this one reads format 1)"},
        {"absurd", absurd, "the header is too long (it claims 4294967295 bytes)"},
    };
    for (const Case& c : cases) {
        std::string path = OutputPath("replay-bad-" + c.name + ".wbreplay");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()), long(c.bytes.size()));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--verify", path}, std::vector<std::string>{"--replay", path, "--headless"}}) {
            std::string err;
            EXPECT_EQ(RunGame(args, &err), 1) << c.name << " " << args[0];
            EXPECT_EQ(lines_in(err), 1) << c.name << " " << args[0] << ": " << err;
            EXPECT_EQ(err.rfind("rc-whirlbat: " + path + ": ", 0), 0u) << err;
            EXPECT_NE(err.find(c.says), std::string::npos) << c.name << " " << args[0] << ": " << err;
        }
    }
    std::string err;
    EXPECT_EQ(RunGame({"--verify", OutputPath("no-such.wbreplay")}, &err), 1);
    EXPECT_NE(err.find("no-such.wbreplay: cannot be read (No such file or directory)"), std::string::npos) << err;
}

TEST(ReplayRuns, AReplayThatGoesAnotherWayStopsWithOneLine) {
    std::string file = record("replay-other");
    std::vector<uint8_t> bytes;
    {
        std::ifstream f(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 1000u);
    // The hash the tenth second ends with is not the one this game's rules give, as if
    // another version of them had recorded it; the checksum fits, as an edited file's would.
    size_t at = 10, payload = 0, size = 0;
    for (int block = 0; block <= 10; ++block) {  // the header, then nine seconds
        size = 0;
        payload = at + 1;
        for (int shift = 0;; shift += 7) {
            size |= size_t(bytes[payload] & 0x7f) << shift;
            if (!(bytes[payload++] & 0x80)) break;
        }
        if (block < 10) at = payload + size + 4;
    }
    ASSERT_EQ(bytes[at], 'F');
    bytes[payload + size - 1] ^= 1;
    uint32_t sum = uint32_t(XXH3_64bits_withSeed(bytes.data() + payload, size, 'F'));
    for (int i = 0; i < 4; ++i) bytes[payload + size + size_t(i)] = uint8_t(sum >> (8 * i));
    std::string edited = OutputPath("replay-other-edited.wbreplay");
    std::ofstream(edited, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--verify", edited}, std::vector<std::string>{"--replay", edited, "--headless"}}) {
        std::string err;
        EXPECT_EQ(RunGame(args, &err), 1) << args[0];
        EXPECT_EQ(lines_in(err), 1) << err;
        EXPECT_NE(err.find("the game differs from the recording by frame 600 (0:10.00)"), std::string::npos) << err;
        EXPECT_NE(err.find("it was recorded by this version of the game"), std::string::npos) << err;
    }
}

TEST(ReplayRuns, HeadlessRunsRecordNothingUnlessAsked) {
    std::string home = OutputPath("replay-home");
    fs::remove_all(home);
    fs::create_directories(home);
    run_game("replay-unasked", {}, nullptr, nullptr, {"XDG_DATA_HOME=" + home, "HOME=" + home});
    EXPECT_TRUE(fs::is_empty(home));
}

TEST(ReplayRuns, ARecordingThatCannotBeWrittenCostsOneLineAndNothingOfTheGame) {
    std::string blocker = OutputPath("replay-blocker");
    std::ofstream(blocker) << "a file, not a folder";
    int code = -1;
    std::string err;
    std::vector<std::string> trace =
        run_game("replay-unwritable", {"--record", blocker + "/game.wbreplay"}, &code, &err);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(err, "rc-whirlbat: this game is not recorded: cannot write " + blocker +
                       "/game.wbreplay.partial (Not a directory)\n");
    EXPECT_EQ(trace, run_game("replay-unwritable-plain", {}));
}

// The viewer from the title: F5 after frame 400, then its keys by the script.
TEST(ReplayRuns, TheTitleKeyWatchesTheLastGameWithItsOwnPictures) {
    std::vector<std::string> recorded;
    std::string file = record("replay-watch", &recorded);
    std::string home = OutputPath("replay-watch-home");
    fs::remove_all(home);
    fs::create_directories(home + "/rc-whirlbat/replays");
    fs::copy_file(file, home + "/rc-whirlbat/replays/2024-01-01_00-00-00.wbreplay");
    std::string script = OutputPath("replay-watch.txt");
    std::ofstream(script) << "f400 key 116 down\nf401 key 116 up\n"   // F5
                          << "f700 key space down\nf701 key space up\n"  // pause
                          << "f720 key 39 down\nf721 key 39 up\n"        // one frame
                          << "f740 key space down\nf741 key space up\n"  // play
                          << "f760 key 70 down\nf761 key 70 up\n"        // x2
                          << "f800 key 78 down\nf801 key 78 up\n"        // next round (here: game over)
                          << "f900 key esc down\nf901 key esc up\n";     // back to the title
    std::string trace = OutputPath("replay-watch.jsonl"), shot = OutputPath("replay-watch-650.png");
    std::string err;
    ASSERT_EQ(RunGame({"--headless", "--seed", "3", "--script", script, "--frames", "950", "--trace", trace, "--shot",
                       "650:" + shot},
                      &err, {"XDG_DATA_HOME=" + home}),
              0)
        << err;
    std::vector<std::string> seen = lines_of(trace);
    ASSERT_EQ(seen.size(), 950u);
    // Which frame of the recording run each picture shows, by its state hash.
    std::map<std::string, int> frame_of;
    for (const std::string& line : recorded) frame_of.emplace(field(line, "hash"), std::stoi(field(line, "frame")));
    auto shows = [&](int flip) {
        auto it = frame_of.find(field(seen[size_t(flip - 1)], "hash"));
        return it == frame_of.end() ? -1 : it->second;
    };
    const int offset = 401 - kGameStart;  // the first frame of the replay is the 402nd picture
    for (int flip = 402; flip <= 700; ++flip) ASSERT_EQ(shows(flip), flip - offset) << flip;
    for (int flip = 701; flip <= 720; ++flip) ASSERT_EQ(shows(flip), 700 - offset) << "paused " << flip;
    ASSERT_EQ(shows(721), 701 - offset);
    ASSERT_EQ(shows(740), 701 - offset);
    for (int flip = 741; flip <= 760; ++flip) ASSERT_EQ(shows(flip), 701 - offset + flip - 740) << flip;
    for (int flip = 762; flip <= 775; ++flip) ASSERT_EQ(shows(flip) - shows(flip - 1), 2) << "x2 " << flip;
    // (The recorded game's own pause menu, idle, repeats its state: frames after it only.)
    EXPECT_EQ(shows(800), shows(760) + 2 * 40);
    // The next round would be the game's end here: game over.
    EXPECT_EQ(field(seen[800], "game_state"), "5");
    EXPECT_EQ(field(seen[799], "game_state"), "2");
    EXPECT_GT(shows(801), shows(800) + 500);
    // Escape: the title as it was, with its music.
    EXPECT_EQ(field(seen[900], "hash"), field(seen[399], "hash"));
    EXPECT_EQ(field(seen[900], "music"), "1");

    // The picture is the original's, but for the status line over the arena's foot.
    std::string original = OutputPath("replay-watch-original.png");
    ASSERT_EQ(RunGame(with(with({"--headless"}, kGame), {"--shot", std::to_string(650 - offset) + ":" + original}), &err), 0);
    Pixmap a = LoadPixmap(shot), b = LoadPixmap(original);
    ASSERT_EQ(a.width, 640);
    ASSERT_EQ(b.width, 640);
    int outside = 0, inside = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            bool differs = test_support::PixelAt(a, x, y) != test_support::PixelAt(b, x, y);
            (y >= 436 && y < 450 ? inside : outside) += differs;
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 640 * 4);
}

TEST(ReplayRuns, TheTitleKeyWithNothingRecordedSaysSo) {
    std::string home = OutputPath("replay-none-home");
    fs::remove_all(home);
    fs::create_directories(home);
    std::string script = OutputPath("replay-none.txt");
    std::ofstream(script) << "f400 key 116 down\nf401 key 116 up\n";
    std::string trace = OutputPath("replay-none.jsonl"), err;
    ASSERT_EQ(RunGame({"--headless", "--seed", "3", "--script", script, "--frames", "420", "--trace", trace}, &err,
                      {"XDG_DATA_HOME=" + home}),
              0);
    EXPECT_EQ(err, "rc-whirlbat: there is no recorded game to watch yet\n");
    EXPECT_EQ(lines_of(trace).size(), 420u);
}

}  // namespace

namespace {

// --record to something that is not a regular file is refused before the game starts,
// and the thing is left as it was; through a symbolic link the replay goes to its target.
TEST(ReplayRuns, ARecordTargetThatIsNotARegularFileIsRefusedAndALinkIsFollowed) {
    std::string folder = OutputPath("record-targets");
    fs::remove_all(folder);
    fs::create_directories(folder + "/a-folder");
    std::string fifo = folder + "/a-fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << std::strerror(errno);
    std::string link_to_fifo = folder + "/to-fifo";
    fs::create_symlink("a-fifo", link_to_fifo);
    for (const std::string& target : {fifo, folder + "/a-folder", link_to_fifo}) {
        std::string err;
        int code = test_support::RunGame(with({"--headless"}, with(kGame, {"--record", target})), &err);
        EXPECT_EQ(code, 2) << target << "\n" << err;
        EXPECT_EQ(lines_in(err), 1) << err;
        EXPECT_EQ(err.rfind("rc-whirlbat: --record " + target + ": ", 0), 0u) << err;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(folder + "/a-folder"));
    EXPECT_TRUE(fs::is_empty(folder + "/a-folder"));
    EXPECT_TRUE(fs::is_symlink(link_to_fifo));

    // A link to a file, and a link to a name not there yet, in another folder.
    fs::create_directories(folder + "/kept");
    std::ofstream(folder + "/kept/old.wbreplay") << "old";
    fs::create_symlink("kept/old.wbreplay", folder + "/link");
    fs::create_symlink(folder + "/kept/new.wbreplay", folder + "/link-new");
    for (std::string name : {"link", "link-new"}) {
        std::string err;
        run_game("record-through-" + name, {"--record", folder + "/" + name}, nullptr, &err);
        EXPECT_TRUE(fs::is_symlink(folder + "/" + name)) << name;
        std::string real = folder + "/kept/" + (name == "link" ? "old" : "new") + ".wbreplay";
        Replay replay;
        std::string why;
        EXPECT_TRUE(load_replay(real, replay, &why)) << name << ": " << why;
        EXPECT_EQ(replay.frames, kGameFrames) << name;
    }
    std::vector<std::string> kept;
    for (const auto& e : fs::directory_iterator(folder + "/kept")) kept.push_back(e.path().filename().string());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"new.wbreplay", "old.wbreplay"}));
}

}  // namespace
