// The README's commands as a newcomer types them: the play command builds the game
// alone, the test command the tests too, and CI runs the test command as written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "support.h"

namespace {

using test_support::OutputPath;
using test_support::ReadWhole;

// Runs a shell command; its exit code and everything it printed.
int run(const std::string& command, std::string* out) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    out->clear();
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The README's indented command line holding `marker` ("" if there is none).
std::string command_line(const std::string& readme, const std::string& marker) {
    size_t at = readme.find(marker);
    if (at == std::string::npos) return "";
    size_t begin = readme.rfind('\n', at) + 1, end = readme.find('\n', at);
    std::string line = readme.substr(begin, end - begin);
    return line.substr(line.find_first_not_of(' '));
}

// The configure step of a command line ("cmake -S . -B DIR ..." up to the next &&),
// with its build folder moved to `folder`.
std::string configure_step(const std::string& line, const std::string& folder) {
    size_t begin = line.find("cmake -S ");
    size_t end = line.find(" &&", begin);
    std::string step = line.substr(begin, end - begin);
    size_t b = step.find(" -B ") + 4;
    size_t e = step.find(' ', b);
    return step.substr(0, b) + folder + (e == std::string::npos ? "" : step.substr(e));
}

// The targets a configured build folder would build.
std::string targets_of(const std::string& configure, const std::string& folder) {
    std::string out;
    std::string command = "cd '" WHIRLBAT_SOURCE_DIR "' && rm -rf '" + folder + "' && " + configure +
                          " >/dev/null && '" WHIRLBAT_CMAKE "' --build '" + folder + "' --target help";
    EXPECT_EQ(run(command, &out), 0) << command << "\n" << out;
    return out;
}

TEST(ReadmeCommands, ThePlayCommandBuildsTheGameAloneAndTheTestCommandTheTests) {
    std::string readme = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/README.md");
    std::string play = command_line(readme, "&& ./build/rc-whirlbat");
    std::string tests = command_line(readme, "ctest --test-dir build-tests");
    ASSERT_NE(play, "") << "no play command in the README";
    ASSERT_NE(tests, "") << "no test command in the README";

    std::string folder = OutputPath("readme-play-build");
    std::string targets = targets_of(configure_step(play, folder), folder);
    EXPECT_NE(targets.find("rc-whirlbat"), std::string::npos) << targets;
    EXPECT_EQ(targets.find("_tests"), std::string::npos) << "the play command builds tests:\n" << targets;
    EXPECT_EQ(targets.find("gtest"), std::string::npos) << targets;

    folder = OutputPath("readme-tests-build");
    targets = targets_of(configure_step(tests, folder), folder);
    for (const char* suite : {"app_tests", "app_run_tests", "platform_tests", "sim_tests"}) {
        EXPECT_NE(targets.find(std::string("... ") + suite + "\n"), std::string::npos) << suite << " in\n" << targets;
    }
    run("rm -rf '" + OutputPath("readme-play-build") + "' '" + folder + "'", &targets);

    // CI runs the README's test command as it stands.
    std::string ci = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/.ci/run");
    EXPECT_NE(ci.find(tests + "\n"), std::string::npos) << "not in .ci/run: " << tests;
}

// A machine with root alone has no sudo: every command the README gives works as root,
// and says "as root, or with sudo" where it needs the rights.
TEST(ReadmeCommands, NoCommandNeedsSudo) {
    std::string readme = ReadWhole(std::string(WHIRLBAT_SOURCE_DIR) + "/README.md");
    size_t commands = 0;
    for (size_t at = 0; (at = readme.find("\n    ", at)) != std::string::npos; ++at) {
        std::string line = readme.substr(at + 5, readme.find('\n', at + 1) - at - 5);
        ++commands;
        EXPECT_EQ(line.find("sudo "), std::string::npos) << line;
        if (line.rfind("apt ", 0) == 0 || line.find("&& apt ") != std::string::npos) {
            EXPECT_NE(line.find("as root, or with sudo"), std::string::npos) << line;
        }
    }
    EXPECT_GT(commands, 5u);
}

}  // namespace
