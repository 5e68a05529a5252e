// The whole program meeting bad sound files and a recording that cannot be written:
// one line on stderr, and the game goes on or ends as it should.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "sound_files.h"
#include "support.h"

namespace {

using namespace sound_files;
namespace fs = std::filesystem;

struct Outcome {
    int code = -1;
    bool timed_out = false;
    std::string err;
    std::vector<std::string> err_lines() const {
        std::vector<std::string> lines;
        size_t at = 0;
        for (size_t end; (end = err.find('\n', at)) != std::string::npos; at = end + 1) {
            lines.push_back(err.substr(at, end - at));
        }
        return lines;
    }
};

// Runs the game in a folder with extra environment; killed after `limit`. A file size
// limit (bytes, 0 for none) stands in for a full disk: writes beyond it fail.
Outcome RunIn(const std::vector<std::string>& args, const std::string& folder, const std::vector<std::string>& env,
            std::chrono::seconds limit, long file_size_limit = 0) {
    const std::string err_file = test_support::OutputPath("run-stderr-" + std::to_string(getpid()) + ".txt");
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        if (!freopen(err_file.c_str(), "w", stderr)) _exit(127);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        if (file_size_limit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit size{rlim_t(file_size_limit), rlim_t(file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        std::vector<std::string> copy = args;
        std::string binary = WHIRLBAT_BINARY;
        std::vector<char*> argv{binary.data()};
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    Outcome run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream f(err_file);
    run.err.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    std::remove(err_file.c_str());
    run.code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return run;
}

// A trace without the track that was playing, which a missing track changes.
std::vector<std::string> TraceWithoutMusic(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream f(path);
    for (std::string line; std::getline(f, line);) {
        size_t at = line.find(",\"music\":");
        if (at != std::string::npos) {
            size_t end = line.find_first_not_of("0123456789", at + 9);
            line.erase(at, end == std::string::npos ? std::string::npos : end - at);
        }
        lines.push_back(line);
    }
    return lines;
}

// A folder to run the game in, with a copy of the game's sound files in data/.
class GameFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = TempDir();
        fs::create_directory(data());
        for (const auto& entry : fs::directory_iterator(test_support::SourcePath("data"))) {
            fs::copy_file(entry.path(), data() + "/" + entry.path().filename().string());
        }
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string data() const { return dir_ + "/data"; }
    std::string dir_;
};

TEST_F(GameFolder, BadSoundFilesAreNamedInOneLineAndTheGameGoesOn) {
    const std::string good_trace = dir_ + "/good.jsonl", bad_trace = dir_ + "/bad.jsonl";
    const std::vector<std::string> args = {"--headless", "--data", data(), "--seed", "4", "--frames", "400", "--trace"};
    auto with_trace = [&](const std::string& trace) {
        std::vector<std::string> a = args;
        a.push_back(trace);
        return a;
    };
    Outcome good = RunIn(with_trace(good_trace), dir_, {}, std::chrono::seconds(120));
    ASSERT_EQ(good.code, 0) << good.err;
    EXPECT_EQ(good.err, "");

    std::vector<uint8_t> tone = EncodeOgg(Tones({400.0, 500.0}, 44100, 4 * 44100, 6000.0), 2, 44100, 0.2f);
    ASSERT_TRUE(WriteFile(data() + "/start.ogg", {}));
    fs::remove(data() + "/explode.ogg");
    fs::create_directory(data() + "/explode.ogg");
    ASSERT_TRUE(WriteFile(data() + "/brocket.ogg", EncodeOgg(std::vector<int16_t>(6 * 4410, 50), 6, 44100, 0.1f)));
    ASSERT_TRUE(WriteFile(data() + "/rrocket.ogg", WithLastGranule(tone, int64_t(1) << 40)));
    std::vector<uint8_t> land = ReadFile(data() + "/land.ogg");
    ASSERT_GT(land.size(), 200u);
    for (size_t i = 40; i < 200; ++i) land[i] ^= 0x5a;
    ASSERT_TRUE(WriteFile(data() + "/land.ogg", land));
    ASSERT_TRUE(WriteFile(data() + "/titletrack.ogg", WithLastGranule(tone, int64_t(0x7000000000000000))));
    fs::remove(data() + "/playtrack.ogg");

    Outcome bad = RunIn(with_trace(bad_trace), dir_, {}, std::chrono::seconds(120));
    EXPECT_EQ(bad.code, 0) << bad.err;
    ASSERT_EQ(bad.err_lines().size(), 1u) << bad.err;
    const std::string line = bad.err_lines()[0];
    EXPECT_EQ(line.rfind("rc-whirlbat: bad or missing sound files (the game goes on without them): ", 0), 0u) << line;
    for (const char* named : {"data/start.ogg (empty)", "data/explode.ogg (not a readable file)",
                              "data/brocket.ogg (6 channels (1 or 2 play))", "data/rrocket.ogg (longer than 10 minutes)",
                              "data/land.ogg (damaged)", "data/titletrack.ogg (longer than 10 minutes)",
                              "data/playtrack.ogg (missing)"}) {
        EXPECT_NE(line.find(named), std::string::npos) << named << " in " << line;
    }
    EXPECT_EQ(line.find("death.ogg"), std::string::npos) << "good files are not named";
    // The game itself does not change for want of its sounds.
    std::vector<std::string> with = TraceWithoutMusic(good_trace), without = TraceWithoutMusic(bad_trace);
    EXPECT_EQ(without.size(), 400u);
    EXPECT_TRUE(with == without);
    EXPECT_NE(ReadFile(bad_trace), ReadFile(good_trace)) << "no track plays";
}

TEST_F(GameFolder, EachSoundFileIsReadOnceAndATrackAgainAsItPlays) {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_GE(inotify_add_watch(fd, data().c_str(), IN_OPEN), 0);
    Outcome run = RunIn({"--headless", "--data", data(), "--frames", "400"}, dir_, {}, std::chrono::seconds(120));
    EXPECT_EQ(run.code, 0) << run.err;
    std::map<std::string, int> opens;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0) ++opens[event->name];
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    close(fd);
    EXPECT_EQ(opens.size(), 15u);
    // Read through once when loaded; a track is read from its file again as it plays.
    // In these 400 frames only the title's track is cued, once (whether it has started
    // by the last frame depends on how fast the run goes).
    for (const auto& [name, count] : opens) {
        if (name == "titletrack.ogg") {
            EXPECT_GE(count, 1) << name;
            EXPECT_LE(count, 2) << name;
        } else {
            EXPECT_EQ(count, 1) << name;
        }
    }
}

TEST_F(GameFolder, ARecordingDeviceThatTakesNothingGivesOneLineAndTheGameEnds) {
    // Music plays from frame 327, so the recording is not all silence.
    Outcome run = RunIn({"--headless", "--frames", "400"}, dir_,
                      {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=0", "SDL_DISKAUDIOFILE=/dev/full"},
                      std::chrono::seconds(60));
    ASSERT_FALSE(run.timed_out) << "still running after a minute";
    EXPECT_EQ(run.code, 0);
    ASSERT_EQ(run.err_lines().size(), 1u) << run.err;
    EXPECT_NE(run.err.find("the sound recording /dev/full is incomplete"), std::string::npos) << run.err;
}

TEST_F(GameFolder, ARecordingCutShortByAFullDiskGivesOneLine) {
    const std::string raw = dir_ + "/sound.raw";
    const long limit = 100 * 1024;
    Outcome run = RunIn({"--headless", "--frames", "400"}, dir_,
                      {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=0", "SDL_DISKAUDIOFILE=" + raw},
                      std::chrono::seconds(60), limit);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.code, 0);
    ASSERT_EQ(run.err_lines().size(), 1u) << run.err;
    EXPECT_NE(run.err.find("the sound recording " + raw + " is incomplete"), std::string::npos) << run.err;
    EXPECT_EQ(fs::file_size(raw), uintmax_t(limit)) << "what was written is left as it is";
}

}  // namespace
