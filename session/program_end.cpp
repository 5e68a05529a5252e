#include "session/program_end.h"

#include <utility>
#include <vector>

#include "platform/engine.h"

namespace {

struct Ending {
    std::vector<std::function<void()>> hooks;
    int exit_code = 0;
};

Ending ending;

}  // namespace

void AddEndHook(std::function<void()> hook) { ending.hooks.push_back(std::move(hook)); }

void EndWithCode(int code) { throw ProgramEnd{code}; }

void End() { EndWithCode(0); }

void RunEndHooks() {
    auto hooks = std::move(ending.hooks);
    ending.hooks.clear();
    for (auto& hook : hooks) hook();
}

int FinishProgram(int code) {
    ending.exit_code = code;
    RunEndHooks();
    PlatformShutdown();
    return ending.exit_code;
}

void RaiseExitCode(int code) {
    if (code > ending.exit_code) ending.exit_code = code;
}
