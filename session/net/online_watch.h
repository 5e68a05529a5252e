#pragma once
// Watching a match live, a mode of the frame runner. The host feeds a watcher the frames
// both players confirmed (never the guesses) with a state hash every 30 frames; the
// watcher comes in mid-match, catches up headless as fast as the machine allows, then
// plays about a second behind the match with a "LIVE" mark saying how far. Space pauses
// (the match goes on; the watcher falls behind), C catches up again, Escape leaves. A
// state hash that differs from the host's stops the watch with one line, as a desync
// does. When the match ends or the host leaves, the watcher sees the end, keeps the whole
// match as a replay, and goes back to its own title. The watcher sends nothing into the
// match.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "net/net_packets.h"
#include "session/net/netplay.h"

// What a watcher hears of a match, wherever it comes from (the host over the network,
// or a test).
class WatchFeed {
public:
    virtual ~WatchFeed() = default;
    // Takes in what arrived; `until_ms` milliseconds may be spent waiting for it.
    virtual void service(int until_ms) = 0;
    // Once the host's welcome came: the match's seed and who flies each side.
    virtual bool started() const = 0;
    virtual int seed() const = 0;
    virtual std::string pilots() const = 0;
    // The confirmed frames heard so far, frame 1 first (index 0).
    virtual long frames() const = 0;
    virtual const std::pair<NetInput, NetInput>& frame(long index) const = 0;
    // The host's state hash after a frame (every 30th), if it has come.
    virtual std::optional<uint64_t> hash(long frame) const = 0;
    // The match ended or the host left (the feed says no more), with the line why.
    virtual bool over() const = 0;
    virtual std::string message() const = 0;
    // The watcher leaves.
    virtual void leave() = 0;
};

// About a second behind the match.
constexpr long WATCH_BEHIND_FRAMES = 60;

// Watching from local play `back`, which this machine comes back to (the outcome says
// how the watch went; none from the command line, where the watch ending ends the
// program with status 0, or 1 if the games went apart).
// `log`: a file to write each watched frame's state hash to ("watched FRAME HASH", for
// tests), or "".
std::unique_ptr<Mode> watch_match(std::unique_ptr<WatchFeed> feed, std::unique_ptr<LocalPlay> back,
                                  std::shared_ptr<OnlineOutcome> outcome, const std::string& log = "");
