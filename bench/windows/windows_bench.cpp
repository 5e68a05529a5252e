// The Windows build under Wine beside the Linux build, in the same run, each full screen
// on an X server of its own at 1280 x 800: frames a second and CPU time a frame in play
// (two computer pilots), resident memory, and key to picture through XTest at the title
// (press to the first picture the X server reports on the window), and the Linux build
// again through OpenGL, Windows' present path. Under Wine the game's
// own process is measured, and Wine's other processes of its prefix (the wineserver, the
// desktop) beside it. It reports figures and asserts nothing about them.
// Usage: windows_bench [SECONDS]   (20 unless given; from the repository root)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/app/x11_client.h"
#include "../../tests/support/x_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using test_support::XServer;
const std::string kOut = WHIRLBAT_TEST_OUTPUT;

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& err) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0 || !freopen(err.c_str(), "w", stderr)) _exit(127);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        std::vector<std::string> copy = argv;
        for (std::string& a : copy) args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// CPU seconds (user and system) and resident KB of a process.
double cpu_seconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

long rss_kb(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// Wine's other processes in the prefix (its environment names it), the game's left out.
double wine_cpu_seconds(const std::string& prefix, pid_t game) {
    double total = 0;
    DIR* proc = opendir("/proc");
    for (dirent* e; proc && (e = readdir(proc));) {
        pid_t pid = std::atoi(e->d_name);
        if (pid <= 0 || pid == game) continue;
        std::ifstream f("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
        std::string env((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (env.find(std::string("WINEPREFIX=") + prefix + '\0') != std::string::npos) total += cpu_seconds(pid);
    }
    if (proc) closedir(proc);
    return total;
}

// The trace a running game writes: the game writes it beside its name (NAME.partial-PID)
// and gives it the name only at its end.
std::string trace_being_written(const std::string& path) {
    namespace fs = std::filesystem;
    std::string stem = fs::path(path).filename().string() + ".partial-";
    std::error_code failed;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path(), failed)) {
        if (entry.path().filename().string().rfind(stem, 0) == 0) return entry.path().string();
    }
    return path;
}

// Removes the trace of an earlier run, and what a run cut short left of one.
void remove_trace(const std::string& path) {
    std::string partial = trace_being_written(path);
    if (partial != path) std::remove(partial.c_str());
    std::remove(path.c_str());
}

// Frames the trace holds so far, and whether the last is a frame of play.
long trace_frames(const std::string& path, bool* playing) {
    std::ifstream f(trace_being_written(path));
    long n = 0;
    std::string line, last;
    while (std::getline(f, line)) {
        if (!line.empty() && line.back() == '}') ++n, last = line;
    }
    *playing = last.find("\"game_state\":2,") != std::string::npos;
    return n;
}

struct Build {
    std::string name;
    std::vector<std::string> command;  // the program and the words before the game's own
    std::vector<std::string> env;
    std::string prefix;                 // the Wine prefix, "" for none
};

std::string start_often_script() {
    std::string path = kOut + "/windows_bench_start.txt", script;
    for (int f = 400; f < 100000; f += 60) {
        script += "f" + std::to_string(f) + " mouse move 320 250\nf" + std::to_string(f) + " mouse left down\nf" +
                  std::to_string(f + 1) + " mouse left up\n";
    }
    std::ofstream(path) << script;
    return path;
}

void play(const Build& b, int seconds) {
    XServer x("1280x800");
    if (x.display().empty()) return (void)std::printf("%s: no Xvfb\n", b.name.c_str());
    std::string trace = kOut + "/windows_bench_" + b.name + ".jsonl";
    remove_trace(trace);
    std::vector<std::string> argv = b.command;
    for (const char* a : {"--seed", "4", "--no-lan", "--no-settings", "--blue", "computer", "--red", "computer:hard"})
        argv.push_back(a);
    argv.insert(argv.end(), {"--script", start_often_script(), "--trace", trace});
    std::vector<std::string> env = b.env;
    env.push_back("DISPLAY=" + x.display());
    pid_t pid = spawn(argv, env, kOut + "/windows_bench_" + b.name + ".err");
    bool playing = false;
    auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && (trace_frames(trace, &playing) < 500 || !playing))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!playing) {
        stop(pid);
        return (void)std::printf("%s: no play within a minute (see %s)\n", b.name.c_str(), trace.c_str());
    }
    auto t0 = Clock::now();
    long f0 = trace_frames(trace, &playing);
    double c0 = cpu_seconds(pid), w0 = b.prefix.empty() ? 0 : wine_cpu_seconds(b.prefix, pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    long f1 = trace_frames(trace, &playing);
    double c1 = cpu_seconds(pid), w1 = b.prefix.empty() ? 0 : wine_cpu_seconds(b.prefix, pid);
    double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    long rss = rss_kb(pid);
    stop(pid);
    long frames = std::max(f1 - f0, 1L);
    std::printf("%-8s in play at 1280x800: %.1f frames/s, CPU %.2f ms a frame (%.0f%% of a core)", b.name.c_str(),
                double(frames) / wall, (c1 - c0) * 1000 / double(frames), (c1 - c0) * 100 / wall);
    if (!b.prefix.empty()) std::printf(" + Wine's own processes %.2f ms a frame", (w1 - w0) * 1000 / double(frames));
    std::printf(", resident %.1f MB\n", double(rss) / 1024);
}

void key_to_picture(const Build& b) {
    XServer x("1280x800");
    if (x.display().empty()) return;
    std::string trace = kOut + "/windows_bench_keys_" + b.name + ".jsonl";
    remove_trace(trace);
    std::vector<std::string> argv = b.command;
    for (const char* a : {"--seed", "3", "--no-lan", "--no-settings"}) argv.push_back(a);
    argv.insert(argv.end(), {"--trace", trace});
    std::vector<std::string> env = b.env;
    env.push_back("DISPLAY=" + x.display());
    pid_t pid = spawn(argv, env, kOut + "/windows_bench_keys_" + b.name + ".err");
    bool playing = false;
    auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && trace_frames(trace, &playing) < 450)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<std::string> keys;
    for (int i = 0; i < 40; ++i) keys.push_back(i % 2 ? "Up" : "Down");
    std::string error;
    std::vector<double> ms = KeyToPictureMs(x.display(), "RC Whirlbat", keys, 150, &error);
    stop(pid);
    if (ms.empty()) return (void)std::printf("%-8s key to picture: %s\n", b.name.c_str(), error.c_str());
    std::sort(ms.begin(), ms.end());
    std::printf("%-8s key to picture at the title (XTest, %zu presses): p50 %.1f ms, p90 %.1f ms, slowest %.1f ms\n",
                b.name.c_str(), ms.size(), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    std::string prefix = kOut + "/wine-bench";
    // The Linux build records its games in a folder of the benchmark's own, the Windows
    // build in its Wine prefix.
    std::string home = kOut + "/windows-bench-home";
    std::filesystem::create_directories(home);
    Build linux_build{"Linux",
                      {WHIRLBAT_BINARY},
                      {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "HOME=" + home, "XDG_DATA_HOME=" + home,
                       "XDG_STATE_HOME=" + home, "XDG_CONFIG_HOME=" + home},
                      ""};
    // Linux presents through MIT-SHM where OpenGL is Mesa's software renderer; Windows
    // always through OpenGL. The Linux build through OpenGL tells the present path's
    // share from Wine's.
    Build linux_gl_build = linux_build;
    linux_gl_build.name = "Linux-GL";
    linux_gl_build.env.push_back("WHIRLBAT_PRESENT=gl");
    Build windows_build{"Windows", {WHIRLBAT_WINE_RUN, prefix, WHIRLBAT_WINDOWS_BINARY},
                        {"SDL_VIDEODRIVER=", "SDL_AUDIODRIVER=dummy"}, prefix};
    if (!std::filesystem::exists(WHIRLBAT_WINDOWS_BINARY)) {
        std::printf("no Windows build at %s\n", WHIRLBAT_WINDOWS_BINARY);
        return 1;
    }
    std::system(("'" + std::string(WHIRLBAT_WINE_RUN) + "' '" + prefix + "'").c_str());
    for (const Build& b : {linux_build, linux_gl_build, windows_build}) {
        play(b, seconds);
        key_to_picture(b);
        if (!b.prefix.empty()) std::system(("WINEPREFIX='" + b.prefix + "' wineserver -k 2>/dev/null").c_str());
    }
    return 0;
}
