#pragma once
// Play online from the title: host a game (on a UDP port the player may change) or join
// one by the host's address or its six-character join code, or one of the games found
// waiting on this network (searched for in the background while the screen is open). The
// fields are typed on the keyboard, or filled from an on-screen grid of characters with
// a pad's grid. Hosting and joining hand the program over to online play; a join or host
// that does not come about comes back to this screen with the reason. A field is
// checked when it is used (Host, Join), and only a value used is kept in the settings.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/screen.h"
#include "app/text_field.h"
#include "session/net/netplay.h"

// What the online screen plays through, given by main (and, for codes and the network's
// games, by what the program can do).
struct OnlinePlay {
    // Starts online play after this frame: the title hands over to it and comes back
    // when the session is over or never began, as `outcome` then says.
    std::function<void(Program&, const NetOptions&, std::shared_ptr<OnlineOutcome> outcome)> start;
    // The games waiting on this network, as "NAME  ADDRESS" lines; it may take a second
    // or two, and runs away from the frames. Unset lists none.
    std::function<std::vector<std::string>()> lan_games;
};

// Online play from the title as the program offers it: the local play hands over to the
// wait for the other machine and comes back when the session is over. `given` holds
// what the command line set for every session (--delay, --net-log, --lobby: "" takes
// the settings' meeting server); with `search_lan`, the network's games are listed.
std::shared_ptr<OnlinePlay> online_from_title(const NetOptions& given, bool search_lan);
// A session from the screen: what the screen chose (`net`) with what the command line
// set (`given`) and the settings: the command line's --relay, else the settings' relay,
// else none (the meeting server's, if it offers one).
NetOptions screen_session(const NetOptions& given, const NetOptions& net, const Settings& settings);

class OnlineScreen : public Screen {
public:
    explicit OnlineScreen(std::shared_ptr<OnlinePlay> play);
    Step frame(Program& p, const Nav& nav, FrameInput& rules) override;
    void draw(const Program& p) override;
    void presented(Program& p) override;

    // For tests: the line in focus, a field's text by its line (0 the port, 2 the host's
    // address, 6 the meeting server), whether one is being edited, whether the grid is open.
    int focus() const { return list_.focus; }
    const std::string& value_at(int line) const;
    bool editing() const { return focused_field() && focused_field()->editing(); }
    bool grid_open() const { return grid_; }

private:
    void search_network();
    void take_search();
    TextField* focused_field();
    const TextField* focused_field() const { return const_cast<OnlineScreen*>(this)->focused_field(); }
    void fill();
    void grid_frame(const Nav& nav);
    bool came_back(Step* step);
    void choose(const Nav& nav, Step* step);
    bool ready_to_go(Program& p, NetOptions* opts);

    std::shared_ptr<OnlinePlay> play_;
    EntryList list_;
    TextField port_{"", 5, true};
    TextField join_{".:-", 255};
    TextField lobby_{".:-", 255};  // the meeting server, HOST[:PORT]; "" none
    bool lobby_read_ = false;
    std::vector<std::string> lan_;
    // A search runs on its own thread and is left to finish if the screen closes first.
    struct Search {
        std::mutex lock;
        bool done = false;
        std::vector<std::string> games;
    };
    std::shared_ptr<Search> searching_;
    int next_search_ = 0;  // frames until the network is asked again
    bool grid_ = false;  // the character grid is open for the field in focus
    int cell_ = 0;
    enum class Go { none, host, join, watch } go_ = Go::none;
    std::shared_ptr<OnlineOutcome> outcome_;  // of the session started from here
    std::string message_;
};
