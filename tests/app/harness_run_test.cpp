// The harness's own outputs and numbers: a trace or screenshot that cannot be written
// is one line and a failing status, a good file is never replaced by a cut one, and a
// number out of range is refused instead of wrapped.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "support.h"

namespace {

using test_support::OutputPath;
using test_support::RunGame;

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Runs the game with files limited to a few kilobytes: writes beyond fail as on a full disk.
int run_with_small_files(const std::vector<std::string>& args, std::string* err) {
    std::vector<std::string> sh = {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", WHIRLBAT_BINARY};
    sh.insert(sh.end(), args.begin(), args.end());
    return test_support::RunBinary("/bin/sh", sh, err);
}

TEST(HarnessOutputs, ATraceThatCannotBeWrittenFailsWithOneLine) {
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--frames", "50", "--trace", "/dev/full"}, &err), 1);
    EXPECT_NE(err.find("cannot write /dev/full: No space left on device"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // A full disk halfway: the good trace that was there stays whole.
    std::string path = OutputPath("kept-trace.jsonl");
    std::ofstream(path) << "{\"frame\":1}\n";
    EXPECT_EQ(run_with_small_files({"--headless", "--frames", "200", "--trace", path}, &err), 1);
    EXPECT_NE(err.find("cannot write " + path), std::string::npos) << err;
    EXPECT_EQ(slurp(path), "{\"frame\":1}\n");
}

TEST(HarnessOutputs, AScreenshotThatCannotBeWrittenLeavesTheOldPictureAndFails) {
    std::string path = OutputPath("kept-shot.png");
    std::string err;
    ASSERT_EQ(RunGame({"--headless", "--frames", "3", "--shot", "1:" + path}, &err), 0) << err;
    std::string good = slurp(path);
    ASSERT_GT(good.size(), 9000u);
    EXPECT_EQ(run_with_small_files({"--headless", "--frames", "3", "--shot", "2:" + path}, &err), 1);
    EXPECT_NE(err.find("cannot write screenshot " + path), std::string::npos) << err;
    EXPECT_EQ(slurp(path), good);
    EXPECT_EQ(RunGame({"--headless", "--frames", "3", "--shot", "2:/no/such/folder/x.png"}, &err), 1);
    EXPECT_NE(err.find("cannot write screenshot /no/such/folder/x.png"), std::string::npos) << err;
}

TEST(HarnessOutputs, AScreenshotAfterTheLastFrameIsRefusedUpFront) {
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--shot", "9:" + OutputPath("never.png"), "--frames", "5"}, &err), 2);
    EXPECT_NE(err.find("--shot 9:"), std::string::npos) << err;
    EXPECT_NE(err.find("after the last frame (--frames 5)"), std::string::npos) << err;
}

TEST(HarnessNumbers, NumbersOutOfRangeAreRefusedNotWrapped) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--seed", "4294967303"}, {"--frames", "4294967297"}, {"--frames", "0"},
             {"--shot", "4294967297:x.png"}, {"--seed", "7x"}, {"--sync-test", "601"}}) {
        std::string err;
        args.insert(args.begin(), "--headless");
        EXPECT_EQ(RunGame(args, &err), 2) << args[1] << " " << args[2];
        EXPECT_EQ(err.rfind("rc-whirlbat: " + args[1] + " ", 0), 0u) << err;
        EXPECT_NE(err.find("; see --help\n"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--seed", "-2147483648", "--frames", "1"}, &err), 0) << err;
}

// ---- the command line's help and the manual page ----

// The long options the command line takes, as its reader spells them.
std::set<std::string> options_read() {
    std::string source = slurp(std::string(WHIRLBAT_SOURCE_DIR) + "/app/harness.cpp");
    std::set<std::string> names;
    std::regex compared("arg == \"(--[a-z-]+)\"");
    for (std::sregex_iterator it(source.begin(), source.end(), compared), end; it != end; ++it) names.insert((*it)[1]);
    return names;
}

std::string help_text() {
    std::string out = test_support::OutputPath("help.txt");
    std::string err;
    EXPECT_EQ(test_support::RunBinary("/bin/sh", {"-c", "exec \"$0\" --help > \"$1\"", WHIRLBAT_BINARY, out}, &err), 0)
        << err;
    return slurp(out);
}

TEST(HarnessHelp, ABadOptionIsOneLineThatNamesItAndPointsToHelp) {
    std::string err;
    EXPECT_EQ(RunGame({"--window", "--fly-upside-down"}, &err), 2);
    EXPECT_EQ(err, "rc-whirlbat: unknown option --fly-upside-down; see --help\n");
    EXPECT_EQ(RunGame({"--trace"}, &err), 2);
    EXPECT_EQ(err, "rc-whirlbat: --trace needs a value; see --help\n");
}

// Every option the command line takes is in the help's synopsis and has a line of its own.
TEST(HarnessHelp, TheHelpShowsEveryOptionTheCommandLineTakes) {
    std::set<std::string> names = options_read();
    ASSERT_GT(names.size(), 20u) << "the options could not be read from app/harness.cpp";
    std::string help = help_text();
    size_t list = help.find("\n  -");
    ASSERT_NE(list, std::string::npos) << help;
    std::string synopsis = help.substr(0, list), lines = help.substr(list);
    for (const std::string& name : names) {
        EXPECT_TRUE(std::regex_search(synopsis, std::regex("[\\[ |]" + name + "[\\] ]"))) << name << " not in\n" << synopsis;
        EXPECT_TRUE(std::regex_search(lines, std::regex("\n  " + name + "[ ,]"))) << name << " has no line of its own";
    }
}

}  // namespace
