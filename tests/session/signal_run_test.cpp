// Signals to the program while it records a game and while it plays online: SIGTERM,
// SIGINT and SIGHUP end it as a close request does (the replay completed, the other
// machine told); kill -9 leaves a .partial that plays up to its last whole second.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "session/replay.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

using test_support::OutputPath;
using test_support::WriteOutput;
using Clock = std::chrono::steady_clock;

// The program as a child that the test can signal.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        err_file_ = OutputPath("signal-stderr-" + std::to_string(getpid()) + "-" + std::to_string(++serial_));
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
            if (!freopen(err_file_.c_str(), "w", stderr)) _exit(127);
            std::vector<std::string> copy = args;
            std::string binary = WHIRLBAT_BINARY;
            std::vector<char*> argv{binary.data()};
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (code_ == kRunning && pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    void signal(int sig) const { kill(pid_, sig); }
    // The exit code, 128 + the signal that ended it, or -2 after the deadline.
    int wait(double seconds) {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (code_ == kRunning) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                code_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            } else if (Clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                code_ = -2;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return code_;
    }
    std::string err() const {
        std::ifstream f(err_file_);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

private:
    static constexpr int kRunning = -1;
    static inline int serial_ = 0;
    pid_t pid_ = -1;
    int code_ = kRunning;
    std::string err_file_;
};

// Lines of a file as it grows (the trace grows beside its name, under the child's pid).
size_t lines_in(const std::string& path) {
    std::ifstream f(path);
    size_t n = 0;
    for (std::string line; std::getline(f, line);) n += !line.empty();
    return n;
}

bool wait_for(const std::function<bool()>& done, double seconds) {
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The golden game 15 to frame 600 (its game starts at frame 98), then the window loses
// its focus and the game waits there, recording, for the signal.
std::string waiting_script() {
    std::ifstream golden(std::string(WHIRLBAT_SOURCE_DIR) + "/tests/golden/scripts/game015.txt");
    std::string text;
    for (std::string line; std::getline(golden, line);) {
        if (line.size() > 1 && line[0] == 'f' && std::stol(line.substr(1)) >= 600) break;
        text += line + "\n";
    }
    return WriteOutput("signal-wait.txt", text + "f600 window focus lost\nt900000000 key 65 down\n");
}

TEST(SignalsWhileRecording, EachEndsTheProgramWithTheReplayCompleteAndKillLeavesAPartial) {
    std::string script = waiting_script();
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        std::string folder = OutputPath("signal-record-" + std::to_string(sig));
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::string file = folder + "/game.wbreplay", trace = folder + "/trace.jsonl";
        Child game({"--headless", "--seed", "15", "--script", script, "--record", file, "--trace", trace});
        std::string growing = trace + ".partial-" + std::to_string(game.pid());
        ASSERT_TRUE(wait_for([&] { return lines_in(growing) >= 600; }, 60)) << sig << "\n" << game.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        game.signal(sig);
        int code = game.wait(20);
        std::string why;
        Replay replay;
        if (sig == SIGKILL) {
            EXPECT_EQ(code, 128 + SIGKILL);
            EXPECT_FALSE(fs::exists(file));
            ASSERT_TRUE(fs::exists(file + ".partial"));
            // Whole seconds of the game up to the kill (its game ran from frame 98).
            ASSERT_TRUE(load_replay(file + ".partial", replay, &why)) << why;
            EXPECT_GE(replay.frames, 420);
            continue;
        }
        EXPECT_EQ(code, 0) << "signal " << sig << "\n" << game.err();
        EXPECT_EQ(game.err(), "") << "signal " << sig;
        EXPECT_FALSE(fs::exists(file + ".partial")) << "signal " << sig;
        ASSERT_TRUE(load_replay(file, replay, &why)) << "signal " << sig << ": " << why;
        EXPECT_EQ(replay.end, ReplayEnd::program_end) << "signal " << sig;
        EXPECT_GE(replay.frames, 500) << "signal " << sig;
        // Nothing else is left in the folder.
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"game.wbreplay", "trace.jsonl"})) << "signal " << sig;
    }
}

TEST(SignalsWhileOnline, EachEndsTheGameAndTheOtherMachineHearsAGoodbye) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        int port = 45000 + int(getpid() % 4000) * 3 + (sig % 3);
        Child host({"--headless", "--seed", "12", "--host", std::to_string(port), "--blue", "computer:easy", "--frames",
                    "100000"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Child guest({"--headless", "--join", "127.0.0.1:" + std::to_string(port), "--red", "computer:hard", "--frames",
                     "100000"});
        ASSERT_TRUE(wait_for([&] { return guest.err().find("playing online") != std::string::npos; }, 20))
            << host.err() << "\n" << guest.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        auto sent = Clock::now();
        host.signal(sig);
        EXPECT_EQ(host.wait(10), 0) << "signal " << sig << "\n" << host.err();
        // The goodbye reaches the guest; without it the guest would wait out 20 s of
        // silence (and say "no word"). It comes within a second; half the silence holds on
        // a machine whose cores are busy and still tells the two apart.
        EXPECT_TRUE(wait_for([&] { return guest.err().find("Blue has left") != std::string::npos; }, 15))
            << "signal " << sig << "\n" << guest.err();
        double took = std::chrono::duration<double>(Clock::now() - sent).count();
        std::printf("signal %d: the guest heard the goodbye after %.2f s\n", sig, took);
        EXPECT_LT(took, 10.0) << "signal " << sig;
        EXPECT_EQ(guest.err().find("no word for"), std::string::npos) << guest.err();
        // The guest goes back to its own title and on.
        guest.signal(SIGTERM);
        EXPECT_EQ(guest.wait(10), 0) << guest.err();
    }
}

// kill -9 leaves no time for a goodbye: the other machine notices the silence.
TEST(SignalsWhileOnline, AKilledHostIsNoticedByItsSilence) {
    int port = 45000 + int(getpid() % 4000) * 3 + 2;
    Child host({"--headless", "--seed", "12", "--host", std::to_string(port), "--blue", "computer:easy", "--frames",
                "100000"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Child guest({"--headless", "--join", "127.0.0.1:" + std::to_string(port), "--red", "computer:hard", "--frames",
                 "100000"});
    ASSERT_TRUE(wait_for([&] { return guest.err().find("playing online") != std::string::npos; }, 20))
        << host.err() << "\n" << guest.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    auto sent = Clock::now();
    host.signal(SIGKILL);
    EXPECT_EQ(host.wait(10), 128 + SIGKILL);
    // It is given 20 seconds to come back, as after any drop of the network: not less
    // (it last heard the host just before the kill), and not much more, though a busy
    // machine may take a few seconds longer to notice and say so.
    EXPECT_TRUE(wait_for([&] { return guest.err().find("Blue has left") != std::string::npos; }, 40)) << guest.err();
    double took = std::chrono::duration<double>(Clock::now() - sent).count();
    std::printf("the guest gave the killed host up after %.2f s\n", took);
    EXPECT_GT(took, 19.5);
    EXPECT_LT(took, 30.0);
    guest.signal(SIGTERM);
    EXPECT_EQ(guest.wait(10), 0) << guest.err();
}

}  // namespace
