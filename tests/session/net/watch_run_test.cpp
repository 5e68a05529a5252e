// Watching a match live, between processes on 127.0.0.1: a host and a guest play (their
// computers fly), three watchers watch, one of them coming in long after the match
// began. Every frame every watcher showed is the frame the players confirmed, and each
// watcher keeps the game as a replay that verifies.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "support.h"

using namespace test_support;

namespace {

int port_base() { return 30000 + int(getpid() % 5000) * 2; }

// "confirmed F HASH" (a player's log) or "watched F HASH" (a watcher's), by frame.
std::map<long, std::string> hashes_in(const std::string& path, const std::string& kind) {
    std::map<long, std::string> hashes;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string k, h;
        long f = 0;
        if (words >> k >> f >> h && k == kind) hashes[f] = h;
    }
    return hashes;
}

struct Run {
    int code = -1;
    std::string err;
};

// A match of `frames` host frames with a watcher coming in after `late_ms` of it.
void watch_a_match(int frames, int late_ms) {
    const int port = port_base();
    const std::string at = "127.0.0.1:" + std::to_string(port);
    std::string start = WriteOutput("watch_start.txt", "f120 mouse move 320 250\nf120 mouse left down\nf121 mouse left up\n");
    std::string host_log = OutputPath("watch_host.log"), guest_log = OutputPath("watch_guest.log");
    Run host, guest, watcher[3];
    std::string logs[3], replays[3];
    for (int i = 0; i < 3; ++i) {
        logs[i] = OutputPath("watcher" + std::to_string(i) + ".log");
        replays[i] = OutputPath("watcher" + std::to_string(i) + ".wbreplay");
        std::remove(replays[i].c_str());
    }
    std::thread playing([&] {
        host.code = RunGame({"--headless", "--seed", "21", "--host", std::to_string(port), "--blue", "computer:normal",
                             "--frames", std::to_string(frames), "--script", start, "--net-log", host_log},
                            &host.err);
    });
    usleep(300 * 1000);
    std::thread joining([&] {
        guest.code = RunGame({"--headless", "--join", at, "--red", "computer:hard", "--frames", std::to_string(frames),
                              "--net-log", guest_log},
                             &guest.err);
    });
    auto watch = [&](int i) {
        // Long enough to see the whole match and its end, then the title comes back.
        watcher[i].code = RunGame({"--headless", "--watch", at, "--frames", std::to_string(frames + 900), "--net-log",
                                   logs[i], "--record", replays[i]},
                                  &watcher[i].err);
    };
    usleep(700 * 1000);
    std::thread early0(watch, 0), early1(watch, 1);
    usleep(late_ms * 1000);
    std::thread late(watch, 2);
    playing.join();
    joining.join();
    early0.join();
    early1.join();
    late.join();
    ASSERT_EQ(host.code, 0) << host.err;
    ASSERT_EQ(guest.code, 0) << guest.err;
    std::map<long, std::string> confirmed = hashes_in(host_log, "confirmed");
    ASSERT_GT(confirmed.size(), size_t(frames / 2)) << host.err;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("watcher " + std::to_string(i));
        ASSERT_EQ(watcher[i].code, 0) << watcher[i].err;
        std::map<long, std::string> watched = hashes_in(logs[i], "watched");
        // From the match's first frame on: the late one caught up on all it missed.
        ASSERT_FALSE(watched.empty()) << watcher[i].err;
        EXPECT_EQ(watched.begin()->first, 1);
        EXPECT_GT(watched.size(), confirmed.size() * 9 / 10) << "the watcher did not see the match to its end";
        for (const auto& [f, h] : watched) {
            auto c = confirmed.find(f);
            if (c != confirmed.end()) {
                ASSERT_EQ(h, c->second) << "frame " << f;
            }
        }
        std::string err;
        EXPECT_EQ(RunGame({"--verify", replays[i]}, &err), 0) << err;
    }
    EXPECT_NE(host.err.find("3 watching"), std::string::npos) << host.err;
}

// Three watchers, one coming late: in the default run after some 1,500 frames; in the long
// version (label long) after frame 3,000, a match of over a minute.
TEST(WatchRun, ThreeWatchersOneComingLateSeeTheFramesThePlayersConfirmed) {
    if (LongRuns()) {
        watch_a_match(4200, 54000);
    } else {
        watch_a_match(1500, 8000);
    }
}

}  // namespace
