#include <cstdio>
#include <string>

#include "app/globals.h"
#include "app/harness.h"

int main(int argc, char** argv) {
    std::string error;
    if (!parse_options(argc, argv, &error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n%s", error.c_str(), usage_text());
        return 2;
    }
    if (harness.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    if (!start_harness(&error)) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", error.c_str());
        return 2;
    }
    run_game();
}
