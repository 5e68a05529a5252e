// What watchers cost the host: the same match (seed 21, both computers flying, on
// 127.0.0.1) played with no watcher, one and four, and the host's upload in each (UDP
// payload, ENet's own bytes included). A watcher's share is the difference from the
// match with none, beside the input stream the host sends its guest.
// With four, the fourth comes in 15 s late: how fast it catches up.
// Usage: whirlbat_watch_bench [FRAMES]   (the match's length; 1800)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

using namespace test_support;

namespace {

int port_base() { return 52000 + int(getpid() % 1000) * 4; }

// A number after "key=" in the host's closing line ("summary ..."); -1 if none.
double figure(const std::string& log, const std::string& key) {
    std::ifstream in(log);
    std::string line, found = "-1";
    while (std::getline(in, line)) {
        if (line.rfind("summary ", 0) != 0) continue;
        size_t at = line.find(" " + key + "=");
        if (at != std::string::npos) found = line.substr(at + key.size() + 2);
    }
    return std::atof(found.c_str());
}

struct Upload {
    double host_bytes = -1, guest_bytes = -1, seconds = 0;
};

Upload play(int frames, int watchers, int port) {
    const std::string at = "127.0.0.1:" + std::to_string(port);
    std::string host_log = OutputPath("watch_bench_host.log"), guest_log = OutputPath("watch_bench_guest.log");
    std::string start = WriteOutput("watch_bench_start.txt", "f120 mouse move 320 250\nf120 mouse left down\nf121 mouse left up\n");
    std::thread host([&] {
        RunGame({"--headless", "--seed", "21", "--host", std::to_string(port), "--blue", "computer:normal", "--frames",
                 std::to_string(frames), "--script", start, "--net-log", host_log});
    });
    usleep(300 * 1000);
    std::thread guest([&] {
        RunGame({"--headless", "--join", at, "--red", "computer:hard", "--frames", std::to_string(frames), "--net-log",
                 guest_log});
    });
    usleep(700 * 1000);
    std::vector<std::thread> watching;
    // With four, the last comes in some 15 s late and catches up.
    std::string late_log = OutputPath("watch_bench_late.log");
    std::remove(late_log.c_str());
    for (int i = 0; i < watchers; ++i)
        watching.emplace_back([&, i] {
            bool late = i == 3;
            if (late) usleep(15 * 1000 * 1000);
            std::vector<std::string> args = {"--headless", "--watch", at, "--frames", std::to_string(frames + 900),
                                             "--record", OutputPath("watch_bench_" + std::to_string(i) + ".wbreplay")};
            if (late) args.insert(args.end(), {"--net-log", late_log});
            RunGame(args);
        });
    host.join();
    guest.join();
    for (std::thread& t : watching) t.join();
    if (watchers > 3) {
        std::ifstream in(late_log);
        std::string line;
        while (std::getline(in, line)) {
            long caught = 0, ms = 0;
            if (std::sscanf(line.c_str(), "caught_up frames=%ld ms=%ld", &caught, &ms) == 2)
                std::printf("the late watcher caught up %ld frames in %ld ms (%.0f frames a second, %.1f times the match's pace)\n",
                            caught, ms, ms > 0 ? caught * 1000.0 / ms : 0.0, ms > 0 ? caught * 1000.0 / ms / 60.0 : 0.0);
        }
    }
    return {figure(host_log, "bytes_sent"), figure(guest_log, "bytes_sent"), figure(host_log, "seconds")};
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 1800;
    Upload none = play(frames, 0, port_base());
    if (none.host_bytes < 0 || none.seconds <= 0) {
        std::printf("the match without watchers left no figures\n");
        return 1;
    }
    std::printf("%d frames, no watcher: host sends %.0f B/s to its guest, the guest %.0f B/s to the host\n", frames,
                none.host_bytes / none.seconds, none.guest_bytes / none.seconds);
    for (int n : {1, 4}) {
        Upload u = play(frames, n, port_base() + 2);
        if (u.host_bytes < 0 || u.seconds <= 0) {
            std::printf("%d watchers: the match left no figures\n", n);
            return 1;
        }
        double each = (u.host_bytes / u.seconds - none.host_bytes / none.seconds) / n;
        std::printf("%d watcher%s: host sends %.0f B/s in all, %.0f B/s for each watcher (%.2f times the guest's stream)\n",
                    n, n == 1 ? "" : "s", u.host_bytes / u.seconds, each, each / (none.host_bytes / none.seconds));
    }
    return 0;
}
