// Sounds under rollback: a frame's sounds start once however often it is run, sounds
// of frames a rollback undid stop, sounds a rollback brought start late, and the music
// follows the frames as they now stand.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "present/sound.h"
#include "session/net/sound_ledger.h"

namespace {

class Record : public SoundOutput {
public:
    std::vector<std::string> log;
    std::set<long> playing;
    long next = 1;

    long start_sfx(Sfx s) override {
        log.push_back(std::string("start ") + sfx_name(s));
        playing.insert(next);
        return next++;
    }
    void stop_sfx(long handle) override {
        log.push_back("stop " + std::to_string(handle));
        playing.erase(handle);
    }
    void start_music(int track) override { log.push_back("music " + std::to_string(track)); }
    void stop_music() override { log.push_back("music off"); }
    void wait(int ms) override { log.push_back("wait " + std::to_string(ms)); }
    std::vector<std::string> take() { return std::exchange(log, {}); }
};

FrameEvents events(std::initializer_list<Sfx> sfx, int music = -1) {
    FrameEvents ev;
    for (Sfx s : sfx) ev.play(s);
    if (music == 0) ev.add(FrameEvent::Kind::music_stop);
    if (music > 0) ev.add(FrameEvent::Kind::music, music);
    return ev;
}

using Log = std::vector<std::string>;

TEST(SoundLedger, AFrameRunAgainStartsNothingAgain) {
    Record out;
    SoundLedger ledger(out);
    ledger.frame_events(1, events({Sfx::brocket, Sfx::death, Sfx::death}));
    EXPECT_EQ(out.take(), (Log{"start brocket", "start death", "start death"}));
    for (int again = 0; again < 3; ++again) ledger.frame_events(1, events({Sfx::brocket, Sfx::death, Sfx::death}));
    EXPECT_TRUE(out.take().empty());
    EXPECT_EQ(ledger.started, 3);
}

TEST(SoundLedger, ASoundARollbackUndidStopsAndOneItBroughtStartsLate) {
    Record out;
    SoundLedger ledger(out);
    ledger.frame_events(5, events({Sfx::rrocket, Sfx::explode}));
    out.take();
    // Run again: Red did not fire after all, but Blue's helicopter crashed.
    ledger.frame_events(5, events({Sfx::explode, Sfx::death}));
    EXPECT_EQ(out.take(), (Log{"stop 1", "start death"}));
    EXPECT_EQ(out.playing, (std::set<long>{2, 3}));
    EXPECT_EQ(ledger.started_late, 1);
    EXPECT_EQ(ledger.stopped, 1);
    // One of two equal sounds goes: the other plays on.
    ledger.frame_events(6, events({Sfx::death, Sfx::death}));
    ledger.frame_events(6, events({Sfx::death}));
    EXPECT_EQ(out.take(), (Log{"start death", "start death", "stop 5"}));
}

TEST(SoundLedger, TheMusicFollowsTheLatestChangeAsTheFramesNowStand) {
    Record out;
    SoundLedger ledger(out);
    ledger.frame_events(1, events({}, 1));
    ledger.update_music();
    EXPECT_EQ(out.take(), (Log{"music 1"}));
    // The same change seen again does not start the track again.
    ledger.frame_events(1, events({}, 1));
    ledger.update_music();
    EXPECT_TRUE(out.take().empty());
    // A pause guessed at frame 10 plays the title track; the guess was wrong: the play
    // track the game had comes back.
    ledger.frame_events(3, events({}, 2));
    ledger.update_music();
    ledger.frame_events(10, events({}, 1));
    ledger.update_music();
    EXPECT_EQ(out.take(), (Log{"music 2", "music 1"}));
    ledger.frame_events(10, events({}));
    ledger.update_music();
    EXPECT_EQ(out.take(), (Log{"music 2"}));
    // Frames forgotten keep their last change for good.
    ledger.forget_through(10);
    ledger.update_music();
    EXPECT_TRUE(out.take().empty());
    ledger.frame_events(11, events({}, 0));
    ledger.update_music();
    ledger.frame_events(11, events({}));
    ledger.update_music();
    EXPECT_EQ(out.take(), (Log{"music off", "music 2"}));
}

TEST(SoundLedger, AFramesFirstRunKeepsTheOrderOfItsSoundsAndWaits) {
    Record out;
    SoundLedger ledger(out);
    ledger.frame_events(1, events({}, 2));
    ledger.update_music();
    out.take();
    // A round's end: the music stops, a wait, the announcement, a wait.
    FrameEvents end;
    end.add(FrameEvent::Kind::music_stop);
    end.add(FrameEvent::Kind::wait, 500);
    end.play(Sfx::blulead);
    end.add(FrameEvent::Kind::wait, 500);
    ledger.frame_events(2, end);
    ledger.update_music();
    EXPECT_EQ(out.take(), (Log{"music off", "wait 500", "start blulead", "wait 500"}));
    // Run again, it waits no more and says nothing again.
    ledger.frame_events(2, end);
    ledger.update_music();
    EXPECT_TRUE(out.take().empty());
    // A round's end that only a rollback revealed waits then, late.
    ledger.frame_events(3, events({}));
    ledger.frame_events(3, end);
    ledger.update_music();
    EXPECT_EQ(out.take(), (Log{"music off", "wait 500", "wait 500", "start blulead"}));
}

TEST(SoundLedger, ForgottenFramesAreNotPutRight) {
    Record out;
    SoundLedger ledger(out);
    ledger.frame_events(1, events({Sfx::land}));
    ledger.forget_through(1);
    out.take();
    // Were frame 1 ever reported again, it would be a new frame: nothing to stop.
    ledger.frame_events(2, events({}));
    EXPECT_TRUE(out.take().empty());
}

}  // namespace
