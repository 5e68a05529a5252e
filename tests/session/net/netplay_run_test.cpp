// Online play between two processes on 127.0.0.1 through a bad network (a relay that
// delays every datagram by 50 to 100 ms with 20 ms of jitter, drops 5 % and so
// reorders them): a whole game to game over, the same game on both machines frame by
// frame, and each player's own helicopter answering after the input delay alone. How
// often a side waited for the other, and its longest answer, are figures of the
// machine's load: bench_netplay prints them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/pixmap.h"
#include "session/replay.h"
#include "relayed_game.h"
#include "support.h"

using namespace test_support;

namespace {

int port_base() { return 40000 + int(getpid() % 5000) * 4; }

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

// Frames both sides confirmed, none of them differing.
long confirmed_alike(const RelayedSides& r) {
    long split = 0;
    long alike = FramesConfirmedAlike(r.log[0], r.log[1], &split);
    EXPECT_EQ(split, 0) << "the two games went apart at frame " << split;
    return alike;
}

// The host's trace so far (a running game writes it as PATH.partial-PID) and the pid of
// the host that writes it, which must be a child of this test; 0 while there is none.
pid_t partial_trace(const std::string& trace, std::string* text) {
    namespace fs = std::filesystem;
    const fs::path path(trace);
    const std::string stem = path.filename().string() + ".partial-";
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(path.parent_path(), ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(stem, 0) != 0) continue;
        const pid_t pid = pid_t(std::atol(name.c_str() + stem.size()));
        // /proc/PID/stat: "PID (NAME) STATE PPID ...".
        const std::string stat = ReadWhole("/proc/" + std::to_string(pid) + "/stat");
        const size_t paren = stat.rfind(')');
        if (pid <= 0 || paren == std::string::npos || std::atol(stat.c_str() + paren + 4) != long(getpid())) continue;
        *text = ReadWhole(e.path().string());
        return pid;
    }
    return 0;
}

// The most frames in a row that a trace shows game over.
int longest_game_over(const std::string& trace_text) {
    const std::string over = "\"game_state\":5,";
    int longest = 0, in_a_row = 0;
    size_t at = 0;
    for (size_t end; (end = trace_text.find('\n', at)) != std::string::npos; at = end + 1) {
        const bool is_over = trace_text.find(over, at) < end;
        in_a_row = is_over ? in_a_row + 1 : 0;
        longest = std::max(longest, in_a_row);
    }
    return longest;
}

// Ends the host (SIGTERM: it says goodbye, and the guest ends too) once its trace has
// shown game over for 30 frames in a row and a second more has passed. A guess that
// shows game over is put right within the rollback window's 8 frames, so 30 in a row
// are a game over that both sides confirmed; the second lets the guest play its frames
// of it too. A host that ends on its own first (its trace under its own name) is left
// to end; `seconds` bounds the wait for a host that never writes one.
void end_after_game_over(const std::string& host_trace, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline && !std::filesystem::exists(host_trace)) {
        std::string text;
        const pid_t host = partial_trace(host_trace, &text);
        if (host != 0 && longest_game_over(text) >= 30) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            kill(host, SIGTERM);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

// The game both sides play over the bad network.
RelayedGame whole_game(int frames) {
    RelayedGame game;
    game.name = "net";
    game.host_port = port_base();
    game.frames = frames;
    // The host starts the game from its title once the guest is in.
    std::string script = WriteOutput("net_start.txt", "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    game.host = {"--seed", "12", "--blue", "computer:easy", "--delay", "1", "--script", script};
    game.guest = {"--red", "computer:hard", "--delay", "1"};
    game.traces = true;
    return game;
}

TEST(NetplayRun, AWholeGameOverABadNetworkIsTheSameGameOnBothMachines) {
    // Each machine's pilot flies by what that machine guesses of the other's, so the game
    // differs from run to run (alike on both machines in every run), and so does its
    // length: game over mostly comes 1,300 to 1,700 frames after the host starts the game
    // at frame 150, but a game of two rounds went on past frame 2,400 with one battery
    // left on each side. So the host is ended once game over has come, and two minutes of
    // play are only the bound for a game that never ends.
    const int frames = 7200;
    RelayedGame game = whole_game(frames);
    for (const char* side : {"net_blue.jsonl", "net_red.jsonl"}) std::remove(OutputPath(side).c_str());
    RelayedSides r;
    auto until_game_over = [&](NetRelay&) { end_after_game_over(OutputPath("net_blue.jsonl"), frames / 60 + 60); };
    ASSERT_TRUE(PlayRelayed(game, &r, until_game_over)) << "the relay cannot have UDP port " << port_base() + 1;
    ASSERT_EQ(r.code[0], 0) << r.err[0];
    ASSERT_EQ(r.code[1], 0) << r.err[1];
    EXPECT_NE(r.err[0].find("playing online as Blue, input delay 1"), std::string::npos) << r.err[0];
    EXPECT_NE(r.err[1].find("playing online as Red, input delay 1"), std::string::npos) << r.err[1];
    // The same game on both machines, every frame both confirmed: all but those before
    // the guest was in and after the first side stopped.
    EXPECT_GT(confirmed_alike(r), r.log[0].Number("frames") * 3 / 4);
    // A whole game: played to game over on both.
    EXPECT_TRUE(reached(r.trace[0], 5));
    EXPECT_TRUE(reached(r.trace[1], 5));
    for (const NetLog& log : r.log) {
        // Guesses were wrong and put right, never further back than the rollback window.
        EXPECT_GT(log.Number("rollbacks"), 10);
        EXPECT_LE(log.Number("max_rollback"), 8);
        // Each side's own helicopter answered after the input delay alone whenever it did
        // not wait for the other side (how long it answered when it did is bench_netplay's).
        EXPECT_EQ(log.Number("min_response"), 1);
        EXPECT_EQ(log.Number("malformed"), 0);
    }
    // The network was as bad as it should be.
    EXPECT_GT(r.dropped, 20);
    EXPECT_GT(r.overtaken, 20);
    std::printf("relay: %ld and %ld datagrams, %ld dropped, %ld overtaken\n", r.to_host, r.to_guest, r.dropped,
                r.overtaken);
    for (const NetLog& log : r.log) std::printf("%s\n", SummaryLine(log).c_str());
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

// A network that plays fair but for 1 % lost, 20 ms each way; `seed` for the host.
RelayedGame fair_game(const std::string& name, int frames, int seed, int host_port) {
    RelayedGame game;
    game.name = name;
    game.network.min_ms = game.network.max_ms = 20;
    game.network.jitter_ms = 5;
    game.network.loss_percent = 1;
    game.host_port = host_port;
    game.frames = frames;
    std::string script = WriteOutput(name + "_start.txt", "f100 mouse move 320 250\nf100 mouse left down\nf101 mouse left up\n");
    game.host = {"--seed", std::to_string(seed), "--blue", "computer:hard", "--script", script};
    game.guest = {"--red", "computer:hard"};
    return game;
}

// The relay drops everything from `after` seconds on for `lasting` seconds, then, if
// asked, moves to another port towards the host as a home router may.
std::function<void(NetRelay&)> outage(int after, int lasting, bool rebind = false) {
    return [=](NetRelay& relay) {
        std::this_thread::sleep_for(std::chrono::seconds(after));
        relay.cut = true;
        std::this_thread::sleep_for(std::chrono::seconds(lasting));
        if (rebind) relay.rebind = true;
        relay.cut = false;
    };
}

// The outage as the host saw it: the frame it stalled at longest, for how many ticks.
// At 60 ticks a second an outage of N seconds is 60 N ticks; a machine whose cores are
// busy runs fewer, so the tests ask for a third of them, far more than any wait for a
// late packet on this network (the rollback window is 8 frames).
long outage_frame(const RelayedSides& r, int seconds) {
    auto [frame, ticks] = r.log[0].LongestStall();
    EXPECT_GT(ticks, 20L * seconds) << "no outage seen at the host";
    std::printf("outage at frame %ld (%ld stalled ticks)\n", frame, ticks);
    return frame;
}

void expect_no_give_up(const RelayedSides& r) {
    for (const std::string& err : r.err) {
        EXPECT_EQ(err.find("no word"), std::string::npos) << err;
        EXPECT_EQ(err.find("went apart"), std::string::npos) << err;
    }
}

// The network drops for 10 seconds mid-round: both machines wait (a notice with a
// countdown says for whom), and when it comes back the match goes on where it was, to
// the same game on both. The round trip shows for the first 5 seconds only.
TEST(NetplayRun, ATenSecondOutageMidRoundIsWaitedOutAndTheMatchGoesOn) {
    RelayedGame game = fair_game("net_outage", 1800, 21, port_base());
    std::string shots[3] = {OutputPath("net_outage_200.png"), OutputPath("net_outage_420.png"),
                            OutputPath("net_outage_780.png")};
    for (const std::string& f : shots) std::remove(f.c_str());
    game.host.insert(game.host.end(),
                     {"--shot", "200:" + shots[0], "--shot", "420:" + shots[1], "--shot", "780:" + shots[2]});
    RelayedSides r;
    ASSERT_TRUE(PlayRelayed(game, &r, outage(8, 10))) << "the relay cannot have UDP port " << game.host_port + 1;
    ASSERT_EQ(r.code[0], 0) << r.err[0];
    ASSERT_EQ(r.code[1], 0) << r.err[1];
    EXPECT_GT(r.cut_off, 100) << "the outage cut nothing";
    expect_no_give_up(r);
    long compared = confirmed_alike(r);
    // The match went on well past the outage.
    long frame = outage_frame(r, 10);
    ASSERT_FALSE(r.log[0].hashes.empty());
    EXPECT_GT(r.log[0].hashes.rbegin()->first, frame + 300) << "the match did not go on after the outage";
    EXPECT_GT(compared, frame + 300);
    std::printf("%ld frames compared\n", compared);
    for (const NetLog& log : r.log) std::printf("%s\n", SummaryLine(log).c_str());
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
    RelayedGame game = fair_game("net_rejoin", 1500, 23, port_base());
    RelayedSides r;
    ASSERT_TRUE(PlayRelayed(game, &r, outage(6, 5, true))) << "the relay cannot have UDP port " << game.host_port + 1;
    ASSERT_EQ(r.code[0], 0) << r.err[0];
    ASSERT_EQ(r.code[1], 0) << r.err[1];
    expect_no_give_up(r);
    EXPECT_GE(r.log[0].Number("rejoins"), 1);
    EXPECT_GE(r.log[1].Number("rejoins"), 1);
    long compared = confirmed_alike(r);
    long frame = outage_frame(r, 5);
    EXPECT_GT(compared, frame + 300) << "the match did not go on after the outage";
    std::printf("%ld frames compared\n", compared);
}

// The network drops for good: after 20 seconds both machines give up, each with one
// line, and go on offline.
TEST(NetplayRun, AnOutageLongerThanTwentySecondsEndsTheSessionWithOneLine) {
    RelayedGame game = fair_game("net_gone", 1680, 22, port_base() + 2);
    game.network.jitter_ms = 0;
    game.network.loss_percent = 0;
    game.host = {"--seed", "22", "--blue", "computer:hard"};
    RelayedSides r;
    auto for_good = [](NetRelay& relay) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        relay.cut = true;
    };
    ASSERT_TRUE(PlayRelayed(game, &r, for_good)) << "the relay cannot have UDP port " << game.host_port + 1;
    ASSERT_EQ(r.code[0], 0) << r.err[0];
    ASSERT_EQ(r.code[1], 0) << r.err[1];
    EXPECT_NE(r.err[0].find("rc-whirlbat: Red has left (no word for 20 seconds)\n"), std::string::npos) << r.err[0];
    EXPECT_NE(r.err[1].find("rc-whirlbat: Blue has left (no word for 20 seconds)\n"), std::string::npos) << r.err[1];
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
