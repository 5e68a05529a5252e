// The harness's own outputs and numbers: a trace or screenshot that cannot be written
// is one line and a failing status, a good file is never replaced by a cut one, and a
// number out of range is refused instead of wrapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
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
        EXPECT_NE(err.find("usage:"), std::string::npos) << err;
    }
    std::string err;
    EXPECT_EQ(RunGame({"--headless", "--seed", "-2147483648", "--frames", "1"}, &err), 0) << err;
}

}  // namespace

namespace {

// A script that is a folder, a device that never ends, or a file past the cap is one
// line and status 2, before the game starts.
TEST(HarnessInputs, AScriptThatIsAFolderEndlessOrHugeIsOneLineAndStatusTwo) {
    std::string folder = test_support::OutputPath("script-folder");
    std::filesystem::create_directories(folder);
    std::string huge = test_support::OutputPath("script-huge.txt");
    {
        std::ofstream out(huge);
        std::string comment(1023, '#');
        for (int i = 0; i < 17 * 1024; ++i) out << comment << '\n';
    }
    for (const std::string& script : {folder, huge, std::string("/dev/zero")}) {
        std::string err;
        int code = test_support::RunGame({"--headless", "--frames", "5", "--script", script}, &err);
        EXPECT_EQ(code, 2) << script << "\n" << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("rc-whirlbat: cannot read script " + script + ": ", 0), 0u) << err;
    }
    std::remove(huge.c_str());
}

}  // namespace
