#include "platform/script.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "platform/input.h"
#include "platform/clock.h"
#include "platform/pacer.h"
#include "platform/events.h"
#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;
using test_support::OutputPath;

std::string write_script(const std::string& name, const std::string& text) {
    std::string path = OutputPath(name);
    std::ofstream(path) << text;
    return path;
}

std::string load_error(const std::string& text) {
    std::string error;
    EXPECT_FALSE(ScriptLoad(write_script("bad.txt", text), &error));
    return error;
}

TEST(Script, BadLinesAreNamedWithTheirLineNumber) {
    EXPECT_NE(load_error("pads 1\n\nf10 pad0 q 1.0\n").find("bad.txt:3: unknown pad control"), std::string::npos);
    EXPECT_NE(load_error("f1 key space sideways\n").find(":1: expected down or up"), std::string::npos);
    EXPECT_NE(load_error("f1 pad0 x 1.0\n").find("pad 0 is not attached"), std::string::npos);
    EXPECT_NE(load_error("pads 1\nf1 pad0 x 1.5\n").find("-1.0 .. 1.0"), std::string::npos);
    EXPECT_NE(load_error("f1 key space down\npads 2\n").find(":2:"), std::string::npos);
    EXPECT_NE(load_error("x5 key space down\n").find("expected 'fN' or 'tMS'"), std::string::npos);
    EXPECT_NE(load_error("f1 joystick fire\n").find("unknown device"), std::string::npos);
    // Numbers beyond an int are refused, not wrapped round.
    EXPECT_NE(load_error("pads 1\nf1 pad4294967296 x 1\n").find("bad pad number"), std::string::npos);
    EXPECT_NE(load_error("f4294967297 key space down\n").find("expected 'fN'"), std::string::npos);
    std::string error;
    EXPECT_FALSE(ScriptLoad(OutputPath("no-such-script.txt"), &error));
    EXPECT_NE(error.find("cannot read script"), std::string::npos);
}

// Frames and times in a script are the program's own: these tests write theirs from
// where the clock and the flip count stand.
std::string at(const char* what, int n) { return what + std::to_string(n); }

TEST(Script, ActionsComeAtTheirFrameOrTime) {
    OpenHeadlessGraphics();
    int f0 = FlipCount(), t0 = MilliSecs();
    std::string error;
    ASSERT_TRUE(ScriptLoad(write_script("keys.txt",
                                        "# comments and blank lines are fine\n"
                                        "pads 1\n" +
                                            at("f", f0 + 2) + " key space down   # after the second flip\n" +
                                            at("f", f0 + 3) + " key space up\n" + at("t", t0 + 100) +
                                            " mouse move 40 50\n" + at("f", f0 + 4) + " pad0 x -1.0\n" +
                                            at("f", f0 + 4) + " pad0 b0 down\n"),
                           &error))
        << error;
    ScriptAttachPads();
    EXPECT_EQ(JoyCount(), 1);
    auto poll = [] {
        PumpEvents();
        SamplePads();
    };
    Flip(-1);
    poll();
    EXPECT_EQ(KeyHit(32), 0);
    Flip(-1);
    poll();
    EXPECT_EQ(KeyHit(32), 1);
    EXPECT_EQ(KeyDown(32), 1);
    Flip(-1);
    poll();
    EXPECT_EQ(KeyDown(32), 0);
    EXPECT_TRUE(ScriptHasTimedActions());
    Flip(-1);
    poll();
    EXPECT_EQ(JoyX(0), -1.0f);
    EXPECT_EQ(JoyHit(0, 0), 1);
    while (MilliSecs() < t0 + 100) Flip(-1);
    poll();
    EXPECT_EQ(MouseX(), 40);
    EXPECT_EQ(MouseY(), 50);
    EXPECT_FALSE(ScriptHasTimedActions());
    ScriptShutdown();
}

TEST(Script, WindowEventsAndUnplugging) {
    OpenHeadlessGraphics();
    int f0 = FlipCount(), t0 = MilliSecs();
    std::string error;
    ASSERT_TRUE(ScriptLoad(write_script("window.txt", "pads 2\n" + at("f", f0) + " pad1 y 1.0\n" + at("f", f0 + 1) +
                                                          " window focus lost\n" + at("t", t0 + 40) +
                                                          " window focus gained\n" + at("f", f0 + 2) +
                                                          " pad1 unplug\n" + at("f", f0 + 3) + " pad1 plug\n" +
                                                          at("f", f0 + 3) + " window close\n"),
                           &error))
        << error;
    ScriptAttachPads();
    auto poll = [] {
        PumpEvents();
        SamplePads();
    };
    EXPECT_EQ(JoyCount(), 2);
    poll();
    EXPECT_EQ(JoyY(1), 1.0f);
    Flip(-1);
    poll();
    EXPECT_EQ(AppSuspended(), 1);
    int waited = 0;
    while (AppSuspended()) Delay(1), PumpEvents(), ++waited;
    EXPECT_GT(waited, 0);
    EXPECT_GE(MilliSecs(), t0 + 40);
    Flip(-1);
    poll();
    EXPECT_EQ(JoyY(1), 1.0f);  // pulled out: last values
    Flip(-1);
    EXPECT_EQ(JoyCount(), 2);  // back in
    EXPECT_EQ(AppTerminate(), 1);
    ScriptShutdown();
}

TEST(Script, AHugeTokenIsCutInTheMessage) {
    const std::string huge(8 << 20, 'q');
    for (const std::string& text : {"f1 " + huge + " fire\n", "pads 1\nf1 pad0 " + huge + " 1\n",
                                    "f1 key " + huge + " down\n", "f1 pad" + huge + " x 1\n"}) {
        std::string error = load_error(text);
        EXPECT_LT(error.size(), 200u) << error.substr(0, 300);
        EXPECT_NE(error.find("qqqqqqqq"), std::string::npos) << "the start of the token is shown";
        EXPECT_NE(error.find("..."), std::string::npos) << "and that it was cut";
    }
    // Short tokens are shown whole.
    EXPECT_NE(load_error("f1 joystick fire\n").find("'joystick'"), std::string::npos);
}

// Actions that are due together are applied in the order of the script, whether they
// are timed by frame or by clock and however the file sorts them.
TEST(Script, ActionsDueTogetherKeepTheOrderOfTheScript) {
    OpenHeadlessGraphics();
    const std::string f = 'f' + std::to_string(FlipCount()), t = 't' + std::to_string(MilliSecs());
    auto last_applied = [](const std::string& text) {
        std::string error;
        EXPECT_TRUE(ScriptLoad(write_script("order.txt", text), &error)) << error;
        PumpEvents();
        return MouseX();
    };
    EXPECT_EQ(last_applied(t + " mouse move 10 0\n" + f + " mouse move 20 0\n" + t + " mouse move 30 0\n" + f +
                           " mouse move 40 0\n"),
              40);
    EXPECT_EQ(last_applied(f + " mouse move 10 0\n" + t + " mouse move 20 0\n" + f + " mouse move 30 0\n" + t +
                           " mouse move 50 0\n"),
              50);
    EXPECT_EQ(last_applied("f0 mouse move 60 0\nt0 mouse move 70 0\n" + f + " mouse move 80 0\n"), 80);

    // Lines out of order each come at their own frame; lines of one frame in file order.
    const int next = FlipCount() + 1;
    EXPECT_EQ(last_applied('f' + std::to_string(next + 1) + " mouse move 90 0\n" + 'f' + std::to_string(next) +
                           " mouse move 100 0\n" + 'f' + std::to_string(next) + " mouse move 110 0\n"),
              80);
    Flip(-1);
    PumpEvents();
    EXPECT_EQ(MouseX(), 110);
    Flip(-1);
    PumpEvents();
    EXPECT_EQ(MouseX(), 90);
    ScriptShutdown();
}

// A long script costs its reading once; each poll costs what is due, not what waits.
TEST(Script, PollingALongScriptDoesNotWalkWhatIsStillToCome) {
    std::string text = "pads 1\n";
    text.reserve(16u << 20);
    for (int i = 0; i < 600000; ++i) {  // about 13 MB, under the cap of 16
        text += i % 2 ? "f900000 pad0 x 0.5\n" : "t9000000 key space down\n";
    }
    std::string error;
    ASSERT_TRUE(ScriptLoad(write_script("long.txt", text), &error)) << error;
    EXPECT_TRUE(ScriptHasTimedActions());
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 2000; ++i) {
        ScriptPoll(FlipCount(), MilliSecs());
        ASSERT_TRUE(ScriptHasTimedActions());
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    // Walking 600,000 waiting actions (some 20 MB) on every poll reads 40 GB in all,
    // seconds on any machine; a poll that looks only at what is due takes microseconds,
    // milliseconds in all under the sanitizer on a busy machine. A second lies between.
    EXPECT_LT(seconds, 1.0);
    ScriptShutdown();
}

}  // namespace
