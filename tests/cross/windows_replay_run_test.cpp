// Recorded games travel between the systems: the same scripted game recorded by the
// Linux build and by the Windows build under Wine; each recording verifies, state hash
// for state hash, with the other system's build, and both reach the same final hash.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support.h"

using namespace test_support;

namespace {

std::vector<std::string> record_args(const std::string& file) {
    return {"--headless", "--seed", "26", "--script", "tests/golden/scripts/game026.txt", "--frames", "1582",
            "--record", file};
}

// The final hash the --verify line (on stdout) names, or "" if it did not verify.
std::string verified_hash(const std::vector<std::string>& command, std::string* said) {
    std::string out = OutputPath("verify-line.txt"), line, err;
    std::string shell;
    for (const std::string& word : command) shell += "'" + word + "' ";
    int code = RunBinary("/bin/sh", {"-c", shell + "> '" + out + "'"}, &err);
    std::ifstream in(out);
    std::getline(in, line);
    *said = line + err;
    std::smatch m;
    if (code != 0 || !std::regex_search(line, m, std::regex("good: [0-9]+ frames .*final one \\(([0-9a-f]{16})\\) match")))
        return "";
    return m[1];
}

int run_windows(const std::vector<std::string>& args, std::string* err) {
    std::vector<std::string> wrapped = {OutputPath("wine-replays"), WHIRLBAT_WINDOWS_BINARY};
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    return RunBinary(WHIRLBAT_WINE_DISPLAY, wrapped, err);
}

TEST(WindowsReplays, AGameRecordedOnEitherSystemVerifiesOnTheOther) {
    ASSERT_TRUE(std::filesystem::exists(WHIRLBAT_WINDOWS_BINARY)) << "no Windows build at " << WHIRLBAT_WINDOWS_BINARY;
    std::string on_linux = OutputPath("recorded-on-linux.wbreplay"), on_windows = OutputPath("recorded-on-windows.wbreplay");
    std::remove(on_linux.c_str());
    std::remove(on_windows.c_str());
    std::string err;
    ASSERT_EQ(RunGame(record_args(on_linux), &err), 0) << err;
    ASSERT_EQ(run_windows(record_args(on_windows), &err), 0) << err;
    ASSERT_TRUE(std::filesystem::exists(on_windows)) << "the Windows build recorded nothing: " << err;

    std::string said;
    std::string linux_on_windows =
        verified_hash({WHIRLBAT_WINE_RUN, OutputPath("wine-replays"), WHIRLBAT_WINDOWS_BINARY, "--verify", on_linux}, &said);
    EXPECT_FALSE(linux_on_windows.empty()) << "the Linux recording did not verify on Windows: " << said;
    std::string windows_on_linux = verified_hash({WHIRLBAT_BINARY, "--verify", on_windows}, &said);
    EXPECT_FALSE(windows_on_linux.empty()) << "the Windows recording did not verify on Linux: " << said;
    EXPECT_EQ(linux_on_windows, windows_on_linux) << "the two recordings of one game end apart";
    std::printf("recorded on Linux, verified on Windows: %s; recorded on Windows, verified on Linux: %s\n",
                linux_on_windows.c_str(), windows_on_linux.c_str());
}

}  // namespace
