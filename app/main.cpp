#include <cstdio>
#include <string>

#include "app/driver.h"
#include "app/harness.h"
#include "app/netplay.h"

int main(int argc, char** argv) {
    HarnessOptions opts;
    std::string error;
    if (!parse_options(argc, argv, opts, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n%s", error.c_str(), usage_text());
        return 2;
    }
    if (opts.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    // The program ends from inside the loop (End), while this frame still stands.
    Program program;
    if (!start_harness(opts, program, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", error.c_str());
        return 2;
    }
    if (opts.host || !opts.join.empty()) run_online_game(program, opts, start_seed(opts));
    run_game(program, start_seed(opts));
}
