#pragma once
// What the benchmarks that watch the program under a real X server share: starting
// Xvfb on a free display, the monotonic clock the probe library stamps with, and
// options from the environment.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

inline int64_t monotonic_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline std::string env_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Starts Xvfb with a screen of `size` ("1920x1080") on a free display from `first` on;
// returns its pid and the display name, or pid 0 if none would start.
inline pid_t start_xvfb(const std::string& size, std::string* display, int first = 90) {
    for (int n = first; n < first + 40; ++n) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        struct stat st;
        if (stat(lock.c_str(), &st) == 0) continue;
        *display = ":" + std::to_string(n);
        pid_t pid = fork();
        if (pid == 0) {
            if (!std::freopen("/dev/null", "w", stderr)) _exit(127);
            std::string screen = size + "x24";
            execlp("Xvfb", "Xvfb", display->c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        for (int i = 0; i < 100; ++i) {
            usleep(50000);
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) break;  // did not start
            if (stat(socket.c_str(), &st) == 0) return pid;
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return 0;
}

}  // namespace bench
