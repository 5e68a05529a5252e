#include "platform/terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

constexpr size_t kLongestLine = 4096;
constexpr int kMostFds = 1024;
// Five seconds at most: a reader that a busy machine has not let run for a second still
// says the program's last lines before the program is gone.
constexpr int kWaitSteps = 500, kWaitStepMicroseconds = 10000;

int kept_stderr = -1;
pid_t reader = -1;

void write_all(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nowhere to say it: the lines are dropped, the program goes on
        done += size_t(n);
    }
}

// The reader's life: lines from the pipe until every writer has closed it.
[[noreturn]] void read_lines(int from, int to, const std::string& prefix) {
    // Ctrl+C and a closed terminal end the program; the reader ends when the program has.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    // Nothing of the program's but the two ends: its input and output stay its own.
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
    }
    for (int fd = 3; fd < kMostFds; ++fd) {
        if (fd != from && fd != to) ::close(fd);
    }
    std::set<std::string> said;
    std::string line;
    auto say = [&] {
        if (line.rfind(prefix, 0) == 0) {
            write_all(to, line + "\n");
        } else if (!line.empty() && said.insert(line).second) {
            write_all(to, prefix + line + "\n");
        }
        line.clear();
    };
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(from, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') say();
            else if ((line += buf[i]).size() >= kLongestLine) say();
        }
    }
    if (!line.empty()) say();
    _exit(0);
}

}  // namespace

void StartTerminalLines(const std::string& prefix) {
    if (reader > 0) return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    int original = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (original < 0) {
        close(fds[0]);
        close(fds[1]);
        return;
    }
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[1]);
        read_lines(fds[0], original, prefix);
    }
    close(fds[0]);
    if (pid < 0 || dup2(fds[1], STDERR_FILENO) < 0) {
        close(fds[1]);
        close(original);
        return;
    }
    close(fds[1]);
    kept_stderr = original;
    reader = pid;
    std::atexit(FinishTerminalLines);
}

void FinishTerminalLines() {
    if (reader <= 0) return;
    std::fflush(stderr);
    dup2(kept_stderr, STDERR_FILENO);
    close(kept_stderr);
    kept_stderr = -1;
    // A process the program started may still hold the pipe; the reader is not waited
    // for beyond five seconds then.
    for (int i = 0; i < kWaitSteps; ++i) {
        if (waitpid(reader, nullptr, WNOHANG) == reader) break;
        usleep(kWaitStepMicroseconds);
    }
    reader = -1;
}
