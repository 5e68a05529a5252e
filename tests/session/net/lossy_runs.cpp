// Many online games between two processes through a lossy relay (50 ms each way with
// 20 ms of jitter, 5 % lost) with no input delay, so that guesses are wrong often and
// re-runs cross round ends: not one of them may end in a desync, and both sides confirm
// the same game frame by frame. Long (minutes): label "bench", out of the default run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "net_relay.h"
#include "support.h"

using namespace test_support;

namespace {

struct Log {
    std::map<long, std::string> hashes;
    std::map<std::string, double> summary;
};

Log read_log(const std::string& path) {
    Log log;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "confirmed") {
            long f;
            std::string h;
            words >> f >> h;
            log.hashes[f] = h;
        } else if (kind == "summary") {
            std::string field;
            while (words >> field) {
                size_t eq = field.find('=');
                std::string value = field.substr(eq + 1);
                if (!value.empty() && (std::isdigit((unsigned char)value[0]) || value[0] == '-'))
                    log.summary[field.substr(0, eq)] = std::stod(value);
            }
        }
    }
    return log;
}

TEST(LossyRuns, TwentyGamesWithoutDelayOverALossyLinkNeverFalselyGoApart) {
    const int runs = 20, frames = 1500;
    int base = 42000 + int(getpid() % 2000) * 2;
    std::string script = WriteOutput("lossy_start.txt", "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    long desyncs = 0;
    double stall_sum = 0, rerun_sum = 0, rollback_sum = 0, bytes_up = 0, bytes_down = 0, seconds = 0;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        NetRelay relay;
        RelaySettings lossy;
        lossy.min_ms = lossy.max_ms = 50;
        lossy.jitter_ms = 20;
        lossy.loss_percent = 5;
        lossy.seed = uint32_t(run + 1);
        ASSERT_TRUE(relay.start(base + 1, base, lossy)) << "the relay cannot have UDP port " << base + 1;
        std::string logs[2] = {OutputPath("lossy_blue.log"), OutputPath("lossy_red.log")};
        std::string err[2];
        int code[2] = {-1, -1};
        std::thread blue([&] {
            code[0] = RunGame({"--headless", "--seed", std::to_string(100 + run), "--host", std::to_string(base),
                               "--delay", "0", "--blue", "computer:hard", "--frames", std::to_string(frames),
                               "--script", script, "--net-log", logs[0]},
                              &err[0]);
        });
        usleep(300 * 1000);
        code[1] = RunGame({"--headless", "--join", "127.0.0.1:" + std::to_string(base + 1), "--delay", "0", "--red",
                           "computer:hard", "--frames", std::to_string(frames), "--net-log", logs[1]},
                          &err[1]);
        blue.join();
        relay.stop();
        ASSERT_EQ(code[0], 0) << err[0];
        ASSERT_EQ(code[1], 0) << err[1];
        for (const std::string& e : err) {
            if (e.find("went apart") != std::string::npos) {
                ++desyncs;
                ADD_FAILURE() << e;
            }
        }
        Log side[2] = {read_log(logs[0]), read_log(logs[1])};
        long compared = 0;
        for (const auto& [f, h] : side[0].hashes) {
            auto other = side[1].hashes.find(f);
            if (other == side[1].hashes.end()) continue;
            ASSERT_EQ(other->second, h) << "frame " << f;
            ++compared;
        }
        EXPECT_GT(compared, frames / 2);
        for (const Log& l : side) {
            stall_sum += l.summary.at("late_stalls");
            rerun_sum += l.summary.at("rerun_frames");
            rollback_sum += l.summary.at("rollbacks");
            seconds += l.summary.at("seconds");
            bytes_up += l.summary.at("bytes_sent");
            bytes_down += l.summary.at("bytes_received");
        }
        std::printf("run %d: %ld frames compared, relay dropped %ld\n", run, compared, relay.dropped.load());
    }
    EXPECT_EQ(desyncs, 0);
    std::printf("%d runs: %ld desyncs; per side and run %.1f late stalls; %.2f frames re-run per rollback; "
                "%.0f bytes a second sent, %.0f received\n",
                runs, desyncs, stall_sum / (2 * runs), rerun_sum / std::max(1.0, rollback_sum), bytes_up / seconds,
                bytes_down / seconds);
}

}  // namespace
