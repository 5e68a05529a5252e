// The committed replays (tests/replays): whole games that must play back to every state
// hash they hold and to the final hash listed with them. A rule changed, even slightly,
// makes every one of them fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "session/replay.h"
#include "session/replay_check.h"
#include "support.h"

namespace {

struct Listed {
    std::string name;
    long frames = 0;
    uint64_t final_hash = 0;
};

std::vector<Listed> listed() {
    std::vector<Listed> out;
    std::ifstream file(test_support::SourcePath("tests/replays/replays.txt"));
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        Listed l;
        std::string hash;
        words >> l.name >> l.frames >> hash;
        l.final_hash = std::stoull(hash, nullptr, 16);
        out.push_back(l);
    }
    return out;
}

Replay load(const Listed& l) {
    Replay r;
    std::string error;
    EXPECT_TRUE(load_replay(test_support::SourcePath("tests/replays/" + l.name + REPLAY_EXTENSION), r, &error))
        << l.name << ": " << error;
    return r;
}

void PrintTo(const Listed& l, std::ostream* os) { *os << l.name; }

class RegressionReplays : public ::testing::TestWithParam<Listed> {};

TEST_P(RegressionReplays, PlayBackToEveryRecordedStateHash) {
    const Listed& l = GetParam();
    Replay r = load(l);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.damage, "");
    EXPECT_EQ(r.frames, l.frames);
    EXPECT_EQ(r.final_hash, l.final_hash);
    ReplayCheck c = check_replay(r);
    EXPECT_TRUE(c.ok) << l.name << ": " << c.problem;
    EXPECT_EQ(c.final_hash, l.final_hash);
}

// Changed rules, each a step that differs from the game's in one small way.
// A rocket's cool-down one frame shorter.
void shorter_cooldown(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    for (player_tag& p : w.player) {
        if (p.rocket_ctr == ROCKET_COOLDOWN) p.rocket_ctr -= 1;
    }
}
// Rockets drift a tenth of a pixel up every frame.
void drifting_rockets(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    for (rocket_tag& r : w.rocket_list) r.y = float(r.y - 0.1);
}
// The main rotor turns a degree further every frame in flight.
void faster_rotors(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    for (player_tag& p : w.player) {
        if (p.rotspd == ROTOR_SPIN) p.bladerot = float(p.bladerot + 1.0);
    }
}
// The damping leaves no remainder: QUIRK(damping-remainders) "fixed".
void no_remainders(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    for (player_tag& p : w.player) {
        if (p.rstp > -TURN_DAMPING && p.rstp < TURN_DAMPING) p.rstp = 0;
        if (p.elv > -SPEED_DAMPING && p.elv < SPEED_DAMPING) p.elv = 0;
    }
}

TEST_P(RegressionReplays, FailWhenARuleChanges) {
    const Listed& l = GetParam();
    Replay r = load(l);
    for (StepFn changed : {shorter_cooldown, drifting_rockets, faster_rotors}) {
        ReplayCheck c = check_replay(r, changed);
        EXPECT_FALSE(c.ok) << l.name;
        EXPECT_NE(c.problem.find("the game differs from the recording"), std::string::npos) << c.problem;
        EXPECT_LT(c.trusted, r.frames);
    }
}

// Only a game that leaves a remainder can show this one; the replays together must.
TEST(RegressionReplayList, FixingAQuirkIsCaught) {
    int caught = 0;
    for (const Listed& l : listed()) caught += !check_replay(load(l), no_remainders).ok;
    EXPECT_GE(caught, 3);
}

INSTANTIATE_TEST_SUITE_P(Replays, RegressionReplays, ::testing::ValuesIn(listed()),
                         [](const ::testing::TestParamInfo<Listed>& info) { return info.param.name; });

TEST(RegressionReplayList, NamesEveryCommittedReplay) {
    std::vector<Listed> all = listed();
    EXPECT_GE(all.size(), 5u);
    long frames = 0;
    for (const Listed& l : all) frames += l.frames;
    EXPECT_GT(frames, 60 * 60 * 5);  // more than five minutes of play
    for (const auto& e : std::filesystem::directory_iterator(test_support::SourcePath("tests/replays"))) {
        if (e.path().extension() != REPLAY_EXTENSION) continue;
        std::string name = e.path().stem().string();
        EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const Listed& l) { return l.name == name; }))
            << name << " is not in replays.txt";
    }
}

}  // namespace
