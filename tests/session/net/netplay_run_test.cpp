// Online play between two processes on 127.0.0.1 through a bad network (a relay that
// delays every datagram by 50 to 100 ms with 20 ms of jitter, drops 5 % and so
// reorders them): a whole game to game over, the same game on both machines frame by
// frame, and each player's own helicopter answering after the input delay alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/pixmap.h"
#include "session/replay.h"
#include "net_relay.h"
#include "support.h"

using namespace test_support;

namespace {

int port_base() { return 40000 + int(getpid() % 5000) * 4; }

struct NetLog {
    std::map<long, std::string> hashes;
    std::vector<long> stalls;  // the frames a tick could not move on from
    std::map<std::string, std::string> summary;
};

NetLog read_log(const std::string& path) {
    NetLog log;
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
        } else if (kind == "stall") {
            long tick, frame;
            words >> tick >> frame;
            if (tick > 120) log.stalls.push_back(frame);  // the clocks settle in the first two seconds
        } else if (kind == "summary") {
            std::string field;
            while (words >> field) {
                size_t eq = field.find('=');
                log.summary[field.substr(0, eq)] = field.substr(eq + 1);
            }
        }
    }
    return log;
}

long number(const NetLog& log, const std::string& key) {
    auto it = log.summary.find(key);
    return it == log.summary.end() ? -1 : std::stol(it->second);
}

bool reached(const std::string& trace, int game_state) {
    for (const Json& line : ReadTrace(trace)) {
        if (line["game_state"].i() == game_state) return true;
    }
    return false;
}

struct Process {
    int code = -1;
    std::string err;
};

TEST(NetplayRun, AWholeGameOverABadNetworkIsTheSameGameOnBothMachines) {
    int host_port = port_base(), relay_port = port_base() + 1;
    NetRelay relay;
    RelaySettings bad;
    ASSERT_TRUE(relay.start(relay_port, host_port, bad));
    // The host starts the game from its title once the guest is in.
    std::string script = WriteOutput("net_start.txt", "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    std::string logs[2] = {OutputPath("net_blue.log"), OutputPath("net_red.log")};
    std::string traces[2] = {OutputPath("net_blue.jsonl"), OutputPath("net_red.jsonl")};
    Process host, guest;
    std::thread blue([&] {
        host.code = RunGame({"--headless", "--seed", "12", "--host", std::to_string(host_port), "--blue", "computer:easy",
                             "--frames", "2400", "--delay", "1", "--script", script, "--net-log", logs[0], "--trace", traces[0]},
                            &host.err);
    });
    usleep(300 * 1000);
    guest.code = RunGame({"--headless", "--join", "127.0.0.1:" + std::to_string(relay_port), "--red", "computer:hard",
                          "--frames", "2400", "--delay", "1", "--net-log", logs[1], "--trace", traces[1]},
                         &guest.err);
    blue.join();
    relay.stop();
    ASSERT_EQ(host.code, 0) << host.err;
    ASSERT_EQ(guest.code, 0) << guest.err;
    EXPECT_NE(host.err.find("playing online as Blue, input delay 1"), std::string::npos) << host.err;
    EXPECT_NE(guest.err.find("playing online as Red, input delay 1"), std::string::npos) << "[" << guest.err << "]";

    NetLog side[2] = {read_log(logs[0]), read_log(logs[1])};
    // The same game on both machines, every frame both confirmed.
    long compared = 0;
    for (const auto& [f, h] : side[0].hashes) {
        auto other = side[1].hashes.find(f);
        if (other == side[1].hashes.end()) continue;
        ASSERT_EQ(other->second, h) << "frame " << f;
        ++compared;
    }
    EXPECT_GT(compared, 1800);
    // A whole game: played to game over on both.
    EXPECT_TRUE(reached(traces[0], 5));
    EXPECT_TRUE(reached(traces[1], 5));
    for (const NetLog& log : side) {
        // Guesses were wrong and put right, and each side's own helicopter answered
        // after the input delay alone.
        EXPECT_GT(number(log, "rollbacks"), 10);
        EXPECT_LE(number(log, "max_rollback"), 8);
        EXPECT_EQ(number(log, "min_response"), 1);
        EXPECT_EQ(number(log, "max_response"), 1);
        // No frame waited for the other machine while both played (the one that stops
        // first leaves the other waiting until its goodbye comes).
        long both_played = std::min(number(side[0], "frames"), number(side[1], "frames")) - 10;
        for (long f : log.stalls) EXPECT_GE(f, both_played) << "a stall at frame " << f;
        EXPECT_EQ(number(log, "malformed"), 0);
    }
    // The network was as bad as it should be.
    EXPECT_GT(relay.dropped.load(), 20);
    EXPECT_GT(relay.reordered.load(), 20);
    std::printf("relay: %ld and %ld datagrams, %ld dropped, %ld overtaken\n", relay.datagrams_to_host.load(),
                relay.datagrams_to_guest.load(), relay.dropped.load(), relay.reordered.load());
    for (const NetLog& log : side) {
        std::string line;
        for (const auto& [k, v] : log.summary) line += k + "=" + v + " ";
        std::printf("%s\n", line.c_str());
    }
}

// A build whose rules differ in one number (the rocket cool-down 49 frames instead of
// 50) is refused at the handshake, whichever side runs it: one line on each side names
// both builds, and the guest ends with status 1 before a frame is played.
TEST(NetplayRun, ABuildWithOtherRulesIsRefusedAtTheHandshakeOnBothSides) {
    for (bool other_hosts : {false, true}) {
        SCOPED_TRACE(other_hosts ? "the other rules host" : "the other rules join");
        int port = port_base() + 2;
        std::string host_log = OutputPath("net_rules_host.log"), guest_log = OutputPath("net_rules_guest.log");
        std::remove(host_log.c_str());
        std::remove(guest_log.c_str());
        std::vector<std::string> host_args = {"--headless", "--seed", "5", "--host", std::to_string(port), "--frames",
                                              "120", "--net-log", host_log};
        std::vector<std::string> guest_args = {"--headless", "--join", "127.0.0.1:" + std::to_string(port), "--frames",
                                               "120", "--net-log", guest_log};
        Process host, guest;
        std::thread blue([&] {
            host.code = other_hosts ? RunBinary(WHIRLBAT_OTHER_RULES_BINARY, host_args, &host.err)
                                    : RunGame(host_args, &host.err);
        });
        usleep(300 * 1000);
        guest.code = other_hosts ? RunGame(guest_args, &guest.err)
                                 : RunBinary(WHIRLBAT_OTHER_RULES_BINARY, guest_args, &guest.err);
        blue.join();
        EXPECT_EQ(guest.code, 1) << guest.err;
        // rc-whirlbat: the host runs version 1.3 (rules 7e4debce), this is version 1.3 (rules ...): ...
        auto fingerprints = [](const std::string& err, const std::string& before) {
            std::vector<std::string> out;
            size_t at = err.find(before);
            for (int i = 0; i < 2 && at != std::string::npos; ++i) {
                at = err.find("(rules ", at);
                if (at == std::string::npos) break;
                out.push_back(err.substr(at + 7, 8));
                at += 7;
            }
            return out;
        };
        std::vector<std::string> told_guest = fingerprints(guest.err, "rc-whirlbat: the host runs version");
        std::vector<std::string> told_host = fingerprints(host.err, "rc-whirlbat: a guest with version");
        ASSERT_EQ(told_guest.size(), 2u) << guest.err;
        ASSERT_EQ(told_host.size(), 2u) << host.err;
        EXPECT_NE(told_guest[0], told_guest[1]);
        EXPECT_NE(guest.err.find("both need the same rules"), std::string::npos) << guest.err;
        EXPECT_NE(host.err.find("both need the same rules"), std::string::npos) << host.err;
        // Each names the other's build as the other names itself.
        EXPECT_EQ(told_guest[0], told_host[1]);
        EXPECT_EQ(told_guest[1], told_host[0]);
        // No frame was played online.
        EXPECT_EQ(host.err.find("playing online"), std::string::npos) << host.err;
        EXPECT_EQ(guest.err.find("playing online"), std::string::npos) << guest.err;
    }
}

// Pixels of a colour (within 40 of each channel) in a rectangle of a screenshot.
int pixels_like(const Pixmap& pic, int x0, int y0, int x1, int y1, int r, int g, int b) {
    int n = 0;
    for (int y = y0; y < y1 && y < pic.height; ++y) {
        for (int x = x0; x < x1 && x < pic.width; ++x) {
            const uint8_t* px = pic.at(x, y);
            if (std::abs(px[0] - r) < 40 && std::abs(px[1] - g) < 40 && std::abs(px[2] - b) < 40) ++n;
        }
    }
    return n;
}
// The round trip under the scores, on its dark backing: the longest run of dark pixels
// across a row there (the arena has none so long); online play's notices in their place
// under the logo.
int overlay_pixels(const Pixmap& pic) {
    int longest = 0;
    for (int y = 38; y < 54 && y < pic.height; ++y) {
        int run = 0;
        for (int x = 160; x < 480 && x < pic.width; ++x) {
            const uint8_t* px = pic.at(x, y);
            run = px[0] < 70 && px[1] < 70 && px[2] < 90 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest > 80 ? longest : 0;
}
int notice_pixels(const Pixmap& pic) { return pixels_like(pic, 160, 198, 480, 228, 255, 220, 140); }

// The network drops for 10 seconds mid-round: both machines wait (a notice with a
// countdown says for whom), and when it comes back the match goes on where it was, to
// the same game on both. The round trip shows for the first 5 seconds only.
TEST(NetplayRun, ATenSecondOutageMidRoundIsWaitedOutAndTheMatchGoesOn) {
    int host_port = port_base(), relay_port = port_base() + 1;
    NetRelay relay;
    RelaySettings fair;
    fair.min_ms = fair.max_ms = 20;
    fair.jitter_ms = 5;
    fair.loss_percent = 1;
    ASSERT_TRUE(relay.start(relay_port, host_port, fair));
    std::string script = WriteOutput("net_outage.txt", "f100 mouse move 320 250\nf100 mouse left down\nf101 mouse left up\n");
    std::string logs[2] = {OutputPath("net_outage_blue.log"), OutputPath("net_outage_red.log")};
    std::string shots[3] = {OutputPath("net_outage_200.png"), OutputPath("net_outage_420.png"),
                            OutputPath("net_outage_780.png")};
    for (const std::string& f : shots) std::remove(f.c_str());
    Process host, guest;
    std::thread blue([&] {
        host.code = RunGame({"--headless", "--seed", "21", "--host", std::to_string(host_port), "--blue",
                             "computer:hard", "--frames", "1800", "--script", script, "--net-log", logs[0], "--shot",
                             "200:" + shots[0], "--shot", "420:" + shots[1], "--shot", "780:" + shots[2]},
                            &host.err);
    });
    std::thread red([&] {
        usleep(300 * 1000);
        guest.code = RunGame({"--headless", "--join", "127.0.0.1:" + std::to_string(relay_port), "--red",
                              "computer:hard", "--frames", "1800", "--net-log", logs[1]},
                             &guest.err);
    });
    std::this_thread::sleep_for(std::chrono::seconds(8));
    relay.cut = true;
    std::this_thread::sleep_for(std::chrono::seconds(10));
    relay.cut = false;
    blue.join();
    red.join();
    relay.stop();
    ASSERT_EQ(host.code, 0) << host.err;
    ASSERT_EQ(guest.code, 0) << guest.err;
    EXPECT_GT(relay.cut_off.load(), 100) << "the outage cut nothing";
    for (const Process* p : {&host, &guest}) {
        EXPECT_EQ(p->err.find("no word"), std::string::npos) << p->err;
        EXPECT_EQ(p->err.find("went apart"), std::string::npos) << p->err;
    }
    NetLog side[2] = {read_log(logs[0]), read_log(logs[1])};
    long compared = 0;
    for (const auto& [f, h] : side[0].hashes) {
        auto other = side[1].hashes.find(f);
        if (other == side[1].hashes.end()) continue;
        ASSERT_EQ(other->second, h) << "frame " << f;
        ++compared;
    }
    // The outage: a long run of stalls at one frame; the match went on well past it.
    std::map<long, int> stalls_at;
    for (long f : side[0].stalls) ++stalls_at[f];
    long outage_frame = 0;
    int longest = 0;
    for (const auto& [f, n] : stalls_at) {
        if (n > longest) {
            longest = n;
            outage_frame = f;
        }
    }
    EXPECT_GT(longest, 400) << "no outage seen at the host";
    ASSERT_FALSE(side[0].hashes.empty());
    EXPECT_GT(side[0].hashes.rbegin()->first, outage_frame + 300) << "the match did not go on after the outage";
    EXPECT_GT(compared, outage_frame + 300);
    std::printf("outage at frame %ld (%d stalled ticks); %ld frames compared\n", outage_frame, longest, compared);
    for (const NetLog& log : side) {
        std::string line;
        for (const auto& [k, v] : log.summary) line += k + "=" + v + " ";
        std::printf("%s\n", line.c_str());
    }
    // On the host's screen: the round trip at first, gone after 5 seconds; the notice
    // during the outage.
    Pixmap at[3];
    for (int i = 0; i < 3; ++i) {
        at[i] = LoadPixmap(shots[i]);
        ASSERT_FALSE(at[i].empty()) << shots[i];
    }
    EXPECT_GT(overlay_pixels(at[0]), 20);
    EXPECT_EQ(overlay_pixels(at[1]), 0);
    EXPECT_EQ(notice_pixels(at[0]), 0);
    EXPECT_GT(notice_pixels(at[2]), 50);
}

// After the drop the guest's router gives it another port: the host hears the guest
// from a new address, which names the session it comes back to, and the match goes on.
TEST(NetplayRun, AGuestThatComesBackFromAnotherAddressResumesTheSession) {
    int host_port = port_base(), relay_port = port_base() + 1;
    NetRelay relay;
    RelaySettings fair;
    fair.min_ms = fair.max_ms = 20;
    fair.jitter_ms = 5;
    fair.loss_percent = 1;
    ASSERT_TRUE(relay.start(relay_port, host_port, fair));
    std::string script = WriteOutput("net_rejoin.txt", "f100 mouse move 320 250\nf100 mouse left down\nf101 mouse left up\n");
    std::string logs[2] = {OutputPath("net_rejoin_blue.log"), OutputPath("net_rejoin_red.log")};
    Process host, guest;
    std::thread blue([&] {
        host.code = RunGame({"--headless", "--seed", "23", "--host", std::to_string(host_port), "--blue",
                             "computer:hard", "--frames", "1500", "--script", script, "--net-log", logs[0]},
                            &host.err);
    });
    std::thread red([&] {
        usleep(300 * 1000);
        guest.code = RunGame({"--headless", "--join", "127.0.0.1:" + std::to_string(relay_port), "--red",
                              "computer:hard", "--frames", "1500", "--net-log", logs[1]},
                             &guest.err);
    });
    std::this_thread::sleep_for(std::chrono::seconds(6));
    relay.cut = true;
    std::this_thread::sleep_for(std::chrono::seconds(5));
    relay.rebind = true;
    relay.cut = false;
    blue.join();
    red.join();
    relay.stop();
    ASSERT_EQ(host.code, 0) << host.err;
    ASSERT_EQ(guest.code, 0) << guest.err;
    for (const Process* p : {&host, &guest}) {
        EXPECT_EQ(p->err.find("no word"), std::string::npos) << p->err;
        EXPECT_EQ(p->err.find("went apart"), std::string::npos) << p->err;
    }
    NetLog side[2] = {read_log(logs[0]), read_log(logs[1])};
    EXPECT_GE(number(side[0], "rejoins"), 1);
    EXPECT_GE(number(side[1], "rejoins"), 1);
    long compared = 0;
    for (const auto& [f, h] : side[0].hashes) {
        auto other = side[1].hashes.find(f);
        if (other == side[1].hashes.end()) continue;
        ASSERT_EQ(other->second, h) << "frame " << f;
        ++compared;
    }
    std::map<long, int> stalls_at;
    for (long f : side[0].stalls) ++stalls_at[f];
    long outage_frame = 0;
    int longest = 0;
    for (const auto& [f, n] : stalls_at) {
        if (n > longest) {
            longest = n;
            outage_frame = f;
        }
    }
    EXPECT_GT(longest, 200) << "no outage seen at the host";
    EXPECT_GT(compared, outage_frame + 300) << "the match did not go on after the outage";
    std::printf("outage at frame %ld (%d stalled ticks); %ld frames compared\n", outage_frame, longest, compared);
}

// The network drops for good: after 20 seconds both machines give up, each with one
// line, and go on offline.
TEST(NetplayRun, AnOutageLongerThanTwentySecondsEndsTheSessionWithOneLine) {
    int host_port = port_base() + 2, relay_port = port_base() + 3;
    NetRelay relay;
    RelaySettings fair;
    fair.min_ms = fair.max_ms = 20;
    fair.jitter_ms = 0;
    fair.loss_percent = 0;
    ASSERT_TRUE(relay.start(relay_port, host_port, fair));
    Process host, guest;
    std::thread blue([&] {
        host.code = RunGame({"--headless", "--seed", "22", "--host", std::to_string(host_port), "--blue",
                             "computer:hard", "--frames", "1680"},
                            &host.err);
    });
    std::thread red([&] {
        usleep(300 * 1000);
        guest.code = RunGame({"--headless", "--join", "127.0.0.1:" + std::to_string(relay_port), "--red",
                              "computer:hard", "--frames", "1680"},
                             &guest.err);
    });
    std::this_thread::sleep_for(std::chrono::seconds(3));
    relay.cut = true;  // and never again
    blue.join();
    red.join();
    relay.stop();
    ASSERT_EQ(host.code, 0) << host.err;
    ASSERT_EQ(guest.code, 0) << guest.err;
    EXPECT_NE(host.err.find("rc-whirlbat: Red has left (no word for 20 seconds)\n"), std::string::npos) << host.err;
    EXPECT_NE(guest.err.find("rc-whirlbat: Blue has left (no word for 20 seconds)\n"), std::string::npos) << guest.err;
}

// When the other player leaves, each helicopter goes back to its own pilot for an
// offline game: no key flies both. Here neither machine has a pad, so Blue flies on the
// left half of the keyboard (W climbs) and Red on the right (I climbs), on the host
// after the guest left and on the guest after the host left.
TEST(NetplayRun, AfterTheOtherLeavesEachHalfOfTheKeyboardFliesOneHelicopter) {
    for (bool host_stays : {true, false}) {
        SCOPED_TRACE(host_stays ? "the guest leaves" : "the host leaves");
        int port = port_base() + 2 + int(host_stays);
        // Long after the other has gone: start a game, then hold I, then W.
        std::string script = WriteOutput("net_left.txt",
                                         "f600 mouse move 320 250\nf601 mouse left down\nf602 mouse left up\n"
                                         "f700 key 73 down\nf740 key 73 up\nf760 key 87 down\nf800 key 87 up\n");
        std::string trace = OutputPath("net_left.jsonl");
        std::vector<std::string> host_args = {"--headless", "--seed", "9", "--host", std::to_string(port)};
        std::vector<std::string> guest_args = {"--headless", "--join", "127.0.0.1:" + std::to_string(port)};
        std::vector<std::string>& stays = host_stays ? host_args : guest_args;
        std::vector<std::string>& leaves = host_stays ? guest_args : host_args;
        stays.insert(stays.end(), {"--frames", "820", "--script", script, "--trace", trace});
        leaves.insert(leaves.end(), {"--frames", "90"});
        Process host, guest;
        std::thread blue([&] { host.code = RunGame(host_args, &host.err); });
        usleep(300 * 1000);
        guest.code = RunGame(guest_args, &guest.err);
        blue.join();
        ASSERT_EQ(host.code, 0) << host.err;
        ASSERT_EQ(guest.code, 0) << guest.err;
        const Process& stayed = host_stays ? host : guest;
        ASSERT_NE(stayed.err.find(host_stays ? "Red has left" : "Blue has left"), std::string::npos) << stayed.err;
        std::vector<Json> frames = ReadTrace(trace);
        ASSERT_EQ(frames.size(), 820u);
        auto alt = [&](int frame, int side) { return frames[size_t(frame - 1)]["player"][size_t(side)]["alt"].num(); };
        ASSERT_EQ(frames[699]["game_state"].i(), 2) << "the offline game is not under way at frame 700";
        // I lifts Red alone, W Blue alone.
        EXPECT_GT(alt(745, 1), alt(700, 1));
        EXPECT_EQ(alt(745, 0), alt(700, 0)) << "I lifted Blue too";
        EXPECT_GT(alt(805, 0), alt(760, 0));
        EXPECT_LE(alt(805, 1), alt(760, 1)) << "W lifted Red too";
    }
}

// Each side keeps the online game as a replay, like any other game: the frames both
// machines confirmed, which play back to their state hashes, with both pilots named.
TEST(NetplayRun, EachSideKeepsTheOnlineGameAsAReplay) {
    int port = port_base() + 2;
    std::string script = WriteOutput("net_record.txt", "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    std::string files[2] = {OutputPath("net_blue.wbreplay"), OutputPath("net_red.wbreplay")};
    for (const std::string& f : files) std::remove(f.c_str());
    Process host, guest;
    std::thread blue([&] {
        host.code = RunGame({"--headless", "--seed", "12", "--host", std::to_string(port), "--blue", "computer:easy",
                             "--frames", "700", "--script", script, "--record", files[0]},
                            &host.err);
    });
    usleep(300 * 1000);
    guest.code = RunGame({"--headless", "--join", "127.0.0.1:" + std::to_string(port), "--red", "computer:hard",
                          "--frames", "700", "--record", files[1]},
                         &guest.err);
    blue.join();
    ASSERT_EQ(host.code, 0) << host.err;
    ASSERT_EQ(guest.code, 0) << guest.err;
    Replay kept[2];
    for (int side = 0; side < 2; ++side) {
        std::string why;
        ASSERT_TRUE(load_replay(files[side], kept[side], &why)) << files[side] << ": " << why;
        EXPECT_TRUE(kept[side].finished) << files[side];
        EXPECT_GT(kept[side].frames, 300) << files[side];
        EXPECT_EQ(kept[side].header.seed, 12);
        std::string err;
        EXPECT_EQ(RunGame({"--verify", files[side]}, &err), 0) << files[side] << "\n" << err;
    }
    EXPECT_EQ(kept[0].header.pilots, "Blue: computer:easy, on this machine; Red: online, on the guest's machine");
    EXPECT_EQ(kept[1].header.pilots, "Blue: online, on the host's machine; Red: computer:hard, on this machine");
    // The same game on both sides, as far as both kept it.
    size_t both = std::min(kept[0].hashes.size(), kept[1].hashes.size());
    EXPECT_GE(both, 5u);
    for (size_t i = 0; i < both; ++i) EXPECT_EQ(kept[0].hashes[i], kept[1].hashes[i]) << "after frame " << (i + 1) * 60;
}

}  // namespace
