// Golden traces: recorded runs of the program (a seed, an input script, a frame count)
// must give the same state, every field of every frame, as the build that recorded
// them. Each run is also checked by re-running every frame from a snapshot eight frames
// back (--sync-test 8).
//
// A golden file keeps a chained hash of the trace every 30 frames and a whole trace line
// every 1000 frames and at the end; the "hash" field is left out, so traces of builds
// that print no state hash can be recorded too. To record the files again from another
// build: WHIRLBAT_GOLDEN_RECORD=/path/to/rc-whirlbat ./app_run_tests --gtest_filter='Golden*'
//
// To check another build of the program against the same files (an arm64 build under
// qemu): WHIRLBAT_GOLDEN_BINARY=/path/to/rc-whirlbat, and WHIRLBAT_GOLDEN_WRAPPER names
// the program that runs it and its first arguments (words split at spaces), e.g.
// "/usr/bin/qemu-aarch64-static". Both are absolute paths: the runs start in the
// repository root.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace {

using test_support::OutputPath;
using test_support::SourcePath;

struct GoldenRun {
    std::string name;
    std::vector<std::string> args;
};

// tests/golden/runs.txt: one run a line, "NAME ARGS...", '#' comments.
std::vector<GoldenRun> read_runs() {
    std::vector<GoldenRun> runs;
    std::ifstream file(SourcePath("tests/golden/runs.txt"));
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        GoldenRun run;
        words >> run.name;
        for (std::string w; words >> w;) run.args.push_back(w);
        runs.push_back(run);
    }
    return runs;
}

constexpr int kChainEvery = 30;
constexpr int kLineEvery = 1000;

// A trace line without the fields that only newer builds print.
std::string comparable(std::string line) {
    size_t at = line.find(",\"hash\":\"");
    if (at != std::string::npos) line.erase(at, line.find('"', at + 9) + 1 - at);
    return line;
}

// The checkpoints of a trace, as a golden file holds them.
std::vector<std::string> checkpoints(const std::string& trace_path) {
    std::vector<std::string> out;
    std::ifstream trace(trace_path);
    uint64_t chain = 0;
    int frame = 0;
    std::string line, last;
    while (std::getline(trace, line)) {
        ++frame;
        last = comparable(line);
        chain = XXH3_64bits_withSeed(last.data(), last.size(), chain);
        char buf[64];
        if (frame % kChainEvery == 0) {
            std::snprintf(buf, sizeof buf, "chain %d %016" PRIx64, frame, chain);
            out.push_back(buf);
        }
        if (frame % kLineEvery == 0) out.push_back("line " + std::to_string(frame) + " " + last);
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "end %d %016" PRIx64, frame, chain);
    out.push_back(buf);
    out.push_back("line " + std::to_string(frame) + " " + last);
    return out;
}

// Runs the build under test: this build's program, or the one named by the environment.
int run_checked_build(const std::vector<std::string>& args, std::string* err) {
    const char* binary = std::getenv("WHIRLBAT_GOLDEN_BINARY");
    if (!binary || !*binary) return test_support::RunGame(args, err);
    const char* wrapped_by = std::getenv("WHIRLBAT_GOLDEN_WRAPPER");
    std::vector<std::string> command;
    std::istringstream wrapper(wrapped_by ? wrapped_by : "");
    for (std::string w; wrapper >> w;) command.push_back(w);
    if (command.empty()) return test_support::RunBinary(binary, args, err);
    command.push_back(binary);
    command.insert(command.end(), args.begin(), args.end());
    std::string program = command.front();
    command.erase(command.begin());
    return test_support::RunBinary(program, command, err);
}

void PrintTo(const GoldenRun& run, std::ostream* os) { *os << run.name; }

class Golden : public ::testing::TestWithParam<GoldenRun> {};

TEST_P(Golden, EveryFrameMatchesTheRecordedRun) {
    const GoldenRun& run = GetParam();
    std::string golden_path = SourcePath("tests/golden/" + run.name + ".golden");
    std::string trace = OutputPath("golden-" + run.name + ".jsonl");
    std::vector<std::string> args = {"--headless", "--trace", trace};
    args.insert(args.end(), run.args.begin(), run.args.end());
    std::string err;

    if (const char* recorder = std::getenv("WHIRLBAT_GOLDEN_RECORD")) {
        ASSERT_EQ(test_support::RunBinary(recorder, args, &err), 0) << err;
        std::ofstream out(golden_path);
        out << "# " << run.name << ":";
        for (const std::string& a : run.args) out << " " << a;
        out << "\n";
        for (const std::string& c : checkpoints(trace)) out << c << "\n";
    }

    args.push_back("--sync-test");
    args.push_back("8");
    ASSERT_EQ(run_checked_build(args, &err), 0) << err;
    std::vector<std::string> now = checkpoints(trace);
    std::ifstream file(golden_path);
    ASSERT_TRUE(file) << "no golden file " << golden_path;
    std::vector<std::string> want;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#') want.push_back(line);
    }
    for (size_t i = 0; i < want.size() && i < now.size(); ++i) {
        ASSERT_EQ(now[i], want[i]) << run.name << ": the trace differs from the recorded run "
                                   << (want[i].rfind("chain", 0) == 0 ? "within the 30 frames before this checkpoint"
                                                                      : "here");
    }
    ASSERT_EQ(now.size(), want.size()) << run.name << ": the run has another length";
    std::remove(trace.c_str());
}

INSTANTIATE_TEST_SUITE_P(Runs, Golden, ::testing::ValuesIn(read_runs()),
                         [](const ::testing::TestParamInfo<GoldenRun>& info) { return info.param.name; });

}  // namespace
