#pragma once
// Play online from the title: host a game (on a UDP port the player may change) or join
// one by the host's address, or by a six-character join code once the program can look
// codes up, and the games found on this network once the program can list them. The
// fields are typed on the keyboard, or filled from an on-screen grid of characters with
// a pad. Hosting and joining run the online session from here; a join or host that does
// not come about comes back to this screen with the reason.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/screen.h"
#include "session/net/netplay.h"

// What the online screen plays through, given by main (and, for codes and the network's
// games, by what the program can do).
struct OnlinePlay {
    // Starts online play: false with the reason (or gave_up) when no session began; once
    // one began it never returns.
    std::function<bool(Program&, const NetOptions&, bool* gave_up, std::string* failure)> start;
    // The games open on this network, as "NAME  ADDRESS" lines; unset lists none.
    std::function<std::vector<std::string>()> lan_games;
    // A join code's host address; unset: codes cannot be looked up.
    std::function<bool(const std::string& code, std::string* address, std::string* why)> resolve_code;
};

class OnlineScreen : public Screen {
public:
    explicit OnlineScreen(std::shared_ptr<OnlinePlay> play);
    Step frame(Program& p, const Nav& nav, FrameInput& rules) override;
    void draw(const Program& p) override;
    void presented(Program& p) override;

    // Whether text is a join code (six letters or digits) rather than an address.
    static bool is_code(const std::string& text);

private:
    void fill();
    bool typing(const Nav& nav);
    void grid_frame(const Nav& nav);
    void type(char c);

    std::shared_ptr<OnlinePlay> play_;
    EntryList list_;
    std::string port_ = "7171";
    std::string join_;
    std::vector<std::string> lan_;
    bool grid_ = false;  // the character grid is open for the field in focus
    int cell_ = 0;
    enum class Go { none, host, join } go_ = Go::none;
    std::string message_;
};
