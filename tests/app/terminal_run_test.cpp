// Lines on the terminal are the game's own: what a library prints there is turned into
// a line of the game's, said once however often the library repeats it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "support.h"

namespace {

// The host with a meeting server, in a network namespace of the test's own with no
// network at all (its loopback down): the router search's library tries its multicast
// and prints "sendto: Network is unreachable" for each try, as on a machine whose
// network is down. Nothing leaves the namespace.
TEST(TerminalLines, WhatALibraryPrintsIsOneLineOfTheGames) {
    ASSERT_EQ(geteuid(), 0u) << "a network namespace of the test's own (unshare -n) needs root, as CI has";
    std::string err;
    int code = test_support::RunBinary("/usr/bin/unshare", {"-n", WHIRLBAT_BINARY, "--headless", "--no-settings",
                                                            "--host", "--lobby", "127.0.0.1", "--frames", "200"},
                                       &err);
    ASSERT_EQ(code, 0) << err;
    std::istringstream lines(err);
    int unreachable = 0, count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_EQ(line.rfind("rc-whirlbat: ", 0), 0u) << "not the game's own line: " << line;
        unreachable += line.find("Network is unreachable") != std::string::npos;
    }
    EXPECT_GT(count, 1) << err;
    EXPECT_EQ(unreachable, 1) << err;
}

}  // namespace
