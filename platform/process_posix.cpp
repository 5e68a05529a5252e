#include "platform/process.h"

#include <malloc.h>
#include <signal.h>

#include <cstdio>

namespace {

// A closed terminal (SIGHUP) ends the game as SIGTERM does, through whatever handles
// SIGTERM: SDL's close request once it runs, the default before.
void on_hangup(int) { raise(SIGTERM); }

void forward_hangup() {
    struct sigaction before {};
    sigaction(SIGHUP, nullptr, &before);
    if (before.sa_handler == SIG_IGN) return;  // started with nohup: it stays ignored
    struct sigaction action {};
    action.sa_handler = on_hangup;
    sigemptyset(&action.sa_mask);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

void ProcessStart() {
    // Before the renderer's and the sound's threads start: each thread that allocates
    // would otherwise get a heap of its own, which keeps what it once held (megabytes of
    // resident memory for a thread that decoded a sound at start-up).
    mallopt(M_ARENA_MAX, 2);
    // Blocks of 512 KB and more (decoded pictures and sounds, the loaders' buffers) get
    // pages of their own that go back to the system when freed. Left to itself the
    // threshold climbs after the first large free, and start-up's large temporaries then
    // stay behind in the heap for good (4 MB in some runs). Lower, the software
    // renderer's buffers of a few hundred KB would be mapped and unmapped at every draw.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);
    forward_hangup();
}

void FatalError(const std::string& line, bool) { std::fprintf(stderr, "rc-whirlbat: %s\n", line.c_str()); }
