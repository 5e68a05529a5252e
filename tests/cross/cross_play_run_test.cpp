// Online play between the two CPUs: this build hosts, the arm64 build joins under qemu,
// two computer pilots, and every frame both sides confirmed must have the same state
// hash. Once on 127.0.0.1 through the test's lossy link (delays, jitter, losses), at
// least 3600 frames of one session; once from two homes behind symmetric routers, in
// networks of the test's own, through the TURN relay (coturn): the arm64 guest's relay
// module, libnice and all, gathers its relayed address and carries the game.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "net_homes.h"
#include "net_relay.h"
#include "support.h"

using namespace test_support;

namespace {

int port_base() { return 30000 + int(getpid() % 5000) * 2; }


int frames_in_state(const std::string& trace, int game_state) {
    int n = 0;
    for (const Json& line : ReadTrace(trace)) n += line["game_state"].i() == game_state;
    return n;
}

// The host starts a game whenever its title shows: the arm64 guest comes up slowly
// under qemu, and the session begins when both are up.
std::string start_whenever_titled(const std::string& name, int frames) {
    std::string script;
    for (int f = 150; f < frames; f += 60) {
        script += "f" + std::to_string(f) + " mouse move 320 250\nf" + std::to_string(f) + " mouse left down\nf" +
                  std::to_string(f + 1) + " mouse left up\n";
    }
    return WriteOutput(name, script);
}

// The guest plays without sounds: emulated, decoding the two music tracks takes it
// longer than the 5 s of silence after which the host counts it as gone. Sounds are no
// part of the game's state.
std::string no_sounds_folder() {
    std::string folder = OutputPath("cross-no-sounds");
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(CrossPlay, AnArm64GuestUnderQemuPlaysTheSameGameAsTheHost) {
    constexpr int kSession = 3600;
    // Each side counts its frames from its own start; the arm64 build starts slowly
    // under qemu, and the session begins when both are up.
    constexpr int kFrames = kSession + 1200;
    int host_port = port_base(), relay_port = port_base() + 1;
    NetRelay relay;
    RelaySettings network;
    network.max_seconds = 600;
    ASSERT_TRUE(relay.start(relay_port, host_port, network)) << "no UDP port " << relay_port << " on 127.0.0.1";
    std::string script_path = start_whenever_titled("cross_start.txt", kFrames);
    std::string logs[2] = {OutputPath("cross_blue_x86_64.log"), OutputPath("cross_red_arm64.log")};
    std::string traces[2] = {OutputPath("cross_blue_x86_64.jsonl"), OutputPath("cross_red_arm64.jsonl")};
    for (const std::string& f : logs) std::remove(f.c_str());
    int host_code = -1, guest_code = -1;
    std::string host_err, guest_err;
    std::thread host([&] {
        host_code = RunGame({"--headless", "--seed", "31", "--host", std::to_string(host_port), "--blue",
                             "computer:normal", "--frames", std::to_string(kFrames), "--script", script_path,
                             "--net-log", logs[0], "--trace", traces[0]},
                            &host_err);
    });
    usleep(300 * 1000);
    std::string no_sounds = no_sounds_folder();
    guest_code = RunBinary(WHIRLBAT_QEMU, {WHIRLBAT_CROSS_BINARY, "--headless", "--join",
                                           "127.0.0.1:" + std::to_string(relay_port), "--red", "computer:hard",
                                           "--frames", std::to_string(kFrames), "--data", no_sounds, "--net-log",
                                           logs[1], "--trace", traces[1]},
                           &guest_err);
    host.join();
    relay.stop();
    ASSERT_EQ(host_code, 0) << host_err;
    ASSERT_EQ(guest_code, 0) << guest_err;
    EXPECT_NE(guest_err.find("playing online as Red"), std::string::npos) << guest_err;

    std::map<long, std::string> side[2] = {ReadNetLog(logs[0]).hashes, ReadNetLog(logs[1]).hashes};
    long compared = 0;
    for (const auto& [frame, hash] : side[0]) {
        auto other = side[1].find(frame);
        if (other == side[1].end()) continue;
        ASSERT_EQ(other->second, hash) << "frame " << frame << ": x86-64 and arm64 differ";
        ++compared;
    }
    EXPECT_GE(compared, kSession);
    // Both played: most frames of the session were frames of a running round.
    for (const std::string& trace : traces) EXPECT_GT(frames_in_state(trace, 2), kSession / 2) << trace;
    EXPECT_GT(relay.datagrams_to_host.load(), 1000);
    EXPECT_GT(relay.dropped.load(), 0);
    std::printf("cross-play: %ld frames compared, last %ld %s; relay: %ld and %ld datagrams, %ld dropped\n", compared,
                side[0].empty() ? 0 : side[0].rbegin()->first, side[0].empty() ? "" : side[0].rbegin()->second.c_str(),
                relay.datagrams_to_host.load(), relay.datagrams_to_guest.load(), relay.dropped.load());
}

// Both routers give every destination a new port: no punch gets through, and the two
// meet by a code from the meeting server and play ENet over ICE over TURN. Every address
// lives in the test's own namespaces.
TEST(CrossPlay, AnArm64GuestBehindASymmetricRouterPlaysThroughTheRelay) {
    ASSERT_EQ(access("/usr/bin/turnserver", X_OK), 0) << "no /usr/bin/turnserver: install coturn (tools/install-deps.sh)";
    constexpr int kSession = 1200;
    constexpr int kFrames = kSession + 1200;
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_running = true;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    Across game = BetweenHomes("cross_relay", h);

    std::string logs[2] = {OutputPath(w.full("cross_relay_blue_x86_64.log")),
                           OutputPath(w.full("cross_relay_red_arm64.log"))};
    std::string host_err = OutputPath(w.full("cross_relay_blue_x86_64.err"));
    std::vector<std::string> host = {WHIRLBAT_BINARY, "--headless", "--seed", "37", "--host", "--blue",
                                     "computer:normal", "--frames", std::to_string(kFrames), "--script",
                                     start_whenever_titled("cross_relay_start.txt", kFrames), "--net-log", logs[0],
                                     "--lobby", game.lobby};
    host.insert(host.end(), game.host_extra.begin(), game.host_extra.end());
    pid_t host_pid = w.start(game.host_ns, host, host_err);
    ASSERT_GT(host_pid, 0) << w.why();
    std::string code = JoinCodeFrom(host_err);
    if (code.empty()) w.stop(host_pid);
    ASSERT_FALSE(code.empty()) << "the host printed no join code";
    std::vector<std::string> guest = {WHIRLBAT_QEMU, WHIRLBAT_CROSS_BINARY, "--headless", "--red", "computer:hard",
                                      "--frames", std::to_string(kFrames), "--data", no_sounds_folder(), "--net-log",
                                      logs[1]};
    std::vector<std::string> join = game.join;
    join.insert(join.begin() + 1, code);
    guest.insert(guest.end(), join.begin(), join.end());
    PlayedSide side[2];
    side[1].code = w.call(game.guest_ns, guest, &side[1].err);
    side[0].code = w.wait(host_pid, 60000);
    std::ifstream host_text(host_err);
    side[0].err.assign(std::istreambuf_iterator<char>(host_text), std::istreambuf_iterator<char>());
    ASSERT_EQ(side[0].code, 0) << side[0].err;
    ASSERT_EQ(side[1].code, 0) << side[1].err;

    for (int i = 0; i < 2; ++i) {
        side[i].log = ReadNetLog(logs[i]);
        EXPECT_EQ(side[i].log.path, "relayed") << (i ? "arm64 guest" : "x86-64 host");
        EXPECT_NE(side[i].err.find("connected by the relayed path"), std::string::npos) << side[i].err;
    }
    long split = 0;
    long compared = FramesConfirmedAlike(side[0].log, side[1].log, &split);
    ASSERT_EQ(split, 0) << "frame " << split << ": x86-64 and arm64 differ";
    EXPECT_GE(compared, kSession);
    std::printf("cross-play relayed: path %s, the arm64 guest connected in %ld ms; %ld frames compared\n",
                side[1].log.path.c_str(), side[1].log.connect_ms, compared);
}

}  // namespace
