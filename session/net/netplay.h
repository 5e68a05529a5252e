#pragma once
// Online play as the player meets it: --host waits for a guest (the port and this
// machine's addresses on screen), --join connects; then both machines run the same
// game, each flying its own helicopter (the host Blue, the guest Red) with its own
// pilot, pad or keys (either half of the keyboard) or the computer. Two modes of the
// frame runner: waiting for the other machine (session/net/online_wait.h), then the
// match (session/net/online_match.h); when the match is over this machine goes on
// offline from the title (the local play it came from).
//
// What the two machines share: the game, both players' sticks and buttons, and a few
// commands: start a game, pause, resume, leave the pause menu for the title. The menus
// are each machine's own, drawn over the shared screen: the pointer, the volumes and
// "Detect Game Pads" change nothing on the other machine. Either player's pause
// pauses both; game over and the return to the title happen on both.
//
// The frame clock is real time on both machines (headless runs too: the network does
// not wait for a virtual clock). The round's end waits hold the game on both; the
// input flush, which waits for a local button, is left out online.
//
// While the game waits for the other machine, a notice says so; when that machine falls
// silent (a dropped network), a countdown of 20 seconds runs for it to come back, and
// the match goes on where it was if it does. When it leaves, stays silent for 20
// seconds or sends no inputs for 5, or the two games go apart, one line says so on the
// screen and on stderr, and this machine goes on offline from the title. A desync also
// leaves this machine's game as a replay.
#include <memory>
#include <string>

#include "session/local_play.h"
#include "session/mode.h"

class NetSession;

// How this machine plays online (the command line's --host, --join, --delay, --net-log).
struct NetOptions {
    bool host = false;
    int port = 7171;        // --host's port
    std::string join;       // --join HOST[:PORT], or a join code (net/net_reach.h)
    int delay = -1;         // frames between a player's input and its answer (-1: from the round trip)
    std::string net_log;    // every confirmed frame's state hash and the session's figures
    std::string lobby;      // the meeting server, HOST[:PORT] ("" none): --lobby or the settings
    // --join alone: the one game waiting on the local network is joined; several are
    // listed for the player to choose from.
    bool join_lan = false;
    std::string relay;      // --relay USER:PASSWORD@HOST[:PORT]: a TURN server to fall back on
    bool port_mapping = true;  // a host with a meeting server asks its router to forward its port
    // --watch HOST[:PORT] or CODE: `join` names the match to watch, sending nothing into it.
    bool watch = false;
    bool watchers = true;  // a host lets watchers watch its match
};

// How an online session started from the title's screen went, for the screen to say.
struct OnlineOutcome {
    bool done = false;    // the session is over (or never began)
    bool played = false;  // a match was played: the screen closes
    bool gave_up = false;  // the player gave up waiting
    std::string failure;  // why no session began ("" when one did, or the player gave up)
};

// Starts online play from local play `back`, which this machine comes back to when the
// session is over or never began (the outcome says which). From the command line
// (`outcome` null), a session that cannot begin is one line on stderr and status 1, and
// giving up ends the program.
std::unique_ptr<Mode> go_online(Program& p, const NetOptions& opts, std::unique_ptr<LocalPlay> back,
                                std::shared_ptr<OnlineOutcome> outcome);

// The session's confirmed frames as a replay of the game this machine played, from the
// state online play starts from: the two sides' replays, played on one machine, show
// where their games went apart. False with the reason if the file cannot be written.
bool write_session_replay(const std::string& path, int seed, const NetSession& session, std::string* why);
