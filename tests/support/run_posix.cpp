// Runs of another program, on Linux (support.h).
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "support.h"

namespace test_support {

int RunGame(const std::vector<std::string>& args, std::string* err, const std::vector<std::string>& env,
            const std::string& folder) {
    return RunBinary(WHIRLBAT_BINARY, args, err, env, folder);
}

int RunBinary(const std::string& program, const std::vector<std::string>& args, std::string* err,
              const std::vector<std::string>& env, const std::string& folder) {
    // Runs may go on side by side (online play's two machines): each has its own file.
    static std::atomic<int> runs{0};
    std::string err_file = OutputPath("stderr-" + std::to_string(getpid()) + "-" + std::to_string(runs++) + ".txt");
    std::fflush(nullptr);  // what this process has yet to write is not the child's to write too
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.empty() ? WHIRLBAT_SOURCE_DIR : folder.c_str()) != 0) _exit(127);
        if (!freopen(err_file.c_str(), "w", stderr)) _exit(127);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        std::string binary = program;
        argv.push_back(binary.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (err) {
        std::ifstream f(err_file);
        err->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    std::remove(err_file.c_str());
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

}  // namespace test_support
