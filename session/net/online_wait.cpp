#include "session/net/online_wait.h"

#include <cstdio>
#include <vector>

#include "net/lan_discovery.h"
#include "net/net_link.h"
#include "net/net_reach.h"
#include "platform/draw.h"
#include "platform/font.h"
#include "platform/events.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/pacer.h"
#include "present/plain_drawing.h"
#include "session/net/online_match.h"
#include "session/net/online_watch.h"
#include "session/net/watch_feed.h"
#include "session/net/online_view.h"
#include "session/net/rules_fingerprint.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPadEast = 1;

// --join alone: the one game waiting on the local network; several are listed on
// stdout for the player to choose from, none is one line. False with the line.
bool choose_lan_game(std::string* join, std::string* why) {
    std::vector<LanGame> games = find_lan_games(1000);
    if (games.empty()) return *why = "no game is waiting on the local network", false;
    auto address = [](const LanGame& g) {
        return g.address + (g.port == NET_DEFAULT_PORT ? std::string() : ":" + std::to_string(g.port));
    };
    if (games.size() > 1) {
        for (const LanGame& g : games) std::printf("%s (version %s)\n", address(g).c_str(), g.version.c_str());
        std::fflush(stdout);
        *why = std::to_string(games.size()) + " games are waiting on the local network: join one with --join ADDRESS";
        return false;
    }
    *join = address(games[0]);
    std::fprintf(stderr, "rc-whirlbat: joining the game waiting on the local network at %s\n", join->c_str());
    return true;
}

// Opens the link as the options say: listening as the host, or joining by address, by
// code or on the local network. False with the reason.
bool open_link(OnlineStart& s, int seed, std::string* why) {
    const NetOptions& opts = s.opts;
    NetLink& link = *s.link;
    NetReach& reach = *s.reach;
    if (!opts.relay.empty()) {
        IceRelay relay;
        if (!parse_ice_relay(opts.relay, &relay, why)) return false;
        reach.set_relay(relay);
    }
    reach.set_port_mapping(opts.port_mapping);
    if (opts.watch) link.watch_from(1);
    std::string join = opts.join;
    if (opts.join_lan && !choose_lan_game(&join, why)) return false;
    if (opts.host) {
        if (!link.listen(opts.port, WHIRLBAT_VERSION, seed, opts.delay, why)) return false;
        link.allow_watchers(opts.watchers);
        s.hub = std::make_unique<WatchHub>(link, seed);
        // A meeting server that cannot be found leaves the host waiting for a guest by address.
        std::string lobby_why;
        if (!reach.host(opts.lobby, &lobby_why)) std::fprintf(stderr, "rc-whirlbat: %s: no join code\n", lobby_why.c_str());
        return true;
    }
    if (is_join_code(join)) return reach.join_code(opts.lobby, join, WHIRLBAT_VERSION, opts.delay, why);
    std::string host;
    int port = opts.port;
    if (!split_host_port(join, &host, &port)) return *why = "--join needs HOST or HOST:PORT with a port from 1 to 65535", false;
    // The name is looked up while the waiting screen runs.
    return reach.join_host(host, port, WHIRLBAT_VERSION, opts.delay, why);
}

class WaitForPeer : public Mode {
public:
    explicit WaitForPeer(OnlineStart s);
    ModeFrame step(Program& p) override;
    void draw_over(Program& p) override;
    bool draw_key(const Program& p, std::string& key) const override;

private:
    void follow(Program& p);
    bool keys(Program& p);

    OnlineStart s_;
    std::vector<std::string> lines_;
    std::string note_, code_;
    bool told_failure_ = false;
};

// The host's screen says what the guest does: type this machine's address or the code
// on their own Play Online screen (the command line second).
WaitForPeer::WaitForPeer(OnlineStart s) : s_(std::move(s)) {
    NetLink& link = *s_.link;
    if (!s_.opts.host) {
        lines_.push_back((s_.opts.watch ? "Watching " : "Joining ") + s_.opts.join + " ...");
        return;
    }
    std::vector<std::string> mine = local_addresses();
    std::string addresses;
    for (const std::string& a : mine) addresses += (addresses.empty() ? "" : ", ") + a;
    std::string port = link.port() == NET_DEFAULT_PORT ? std::string() : ":" + std::to_string(link.port());
    std::string udp = "  (UDP port " + std::to_string(link.port()) + ")";
    lines_.push_back("Waiting for a guest");
    lines_.push_back(addresses.empty() ? "This machine has no network address" + udp : "This machine: " + addresses + udp);
    std::string typed = mine.size() == 1 ? mine[0] + port : mine.empty() ? "this machine's address" + port
                                                                          : "one of these addresses" + port;
    lines_.push_back("The guest types " + typed + " on their Play Online screen");
    lines_.push_back("(or starts: rc-whirlbat --join " + (mine.size() == 1 ? mine[0] : std::string("ADDRESS")) + port + ")");
    std::fprintf(stderr, "rc-whirlbat: waiting for a guest on UDP port %d (%s)\n", link.port(),
                 addresses.empty() ? "This machine has no network address" : ("This machine: " + addresses).c_str());
}

// What the link and the meeting server say while we wait.
void WaitForPeer::follow(Program&) {
    NetLink& link = *s_.link;
    NetReach& reach = *s_.reach;
    if (reach.failed() && !told_failure_) {
        // The host still takes a guest who comes by address.
        told_failure_ = true;
        note_ = reach.failure() + ": no join code";
        std::fprintf(stderr, "rc-whirlbat: %s\n", note_.c_str());
    }
    if (s_.opts.host) {
        // How a guest from outside comes in, once the router has said.
        std::string way = reach.way_in();
        if (lines_.size() < 5) lines_.push_back(way);
        lines_[4] = way;
    }
    if (code_.empty() && !reach.code().empty() && reach.way_in_settled()) {
        code_ = reach.code();
        std::printf("Join code: %s\n", code_.c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "rc-whirlbat: join code %s\n", code_.c_str());
        lines_[2] = "The guest types the code " + code_ + " on their Play Online screen";
        lines_[3] = "(or starts: rc-whirlbat --join " + code_ + ")";
    }
    for (const std::string& n : link.take_notes()) {
        std::fprintf(stderr, "rc-whirlbat: %s\n", n.c_str());
        note_ = n;
    }
}

// True once the player gave up or asked the program to close.
bool WaitForPeer::keys(Program& p) {
    bool east = false;
    for (int port = 0; port < JoyAttached(); ++port) east = JoyHit(kPadEast, port) > 0 || east;
    if (AppTerminate()) {
        s_.link->close(ByeReason::quit);
        PaceInRealTime(false);
        shut_down(p);
        return true;
    }
    if (KeyHit(KEY_ESCAPE) || east) {
        s_.link->close(ByeReason::quit);
        leave_online(p, s_, "", true);
        return true;
    }
    return false;
}

ModeFrame WaitForPeer::step(Program& p) {
    std::vector<Packet> got;
    s_.link->service(0, got);
    if (s_.link->ready()) s_.early.insert(s_.early.end(), got.begin(), got.end());
    s_.reach->update();
    if (s_.hub) s_.hub->service();
    if (s_.reach->failed() && !s_.opts.host) {
        leave_online(p, s_, s_.reach->failure(), false);
        return nothing_shown();
    }
    follow(p);
    if (s_.link->state() == NetLink::State::closed) {
        leave_online(p, s_, s_.link->message(), false);
        return nothing_shown();
    }
    read_devices();
    if (keys(p)) return nothing_shown();
    if (s_.link->ready() && s_.opts.watch) {
        p.hand_over([start = std::move(s_)](std::unique_ptr<Mode>) mutable {
            std::unique_ptr<LocalPlay> back = std::move(start.back);
            std::shared_ptr<OnlineOutcome> outcome = start.outcome;
            std::string log = start.opts.net_log;
            return watch_match(std::make_unique<NetWatchFeed>(std::move(start)), std::move(back), outcome, log);
        });
        return nothing_shown();
    }
    if (s_.link->ready()) {
        p.hand_over([start = std::move(s_)](std::unique_ptr<Mode>) mutable { return online_match(std::move(start)); });
        return nothing_shown();
    }
    return {};
}

// The waiting screen is drawn here, not as a scene: a wait at rest keeps its picture.
void WaitForPeer::draw_over(Program& p) {
    Cls();
    DrawImage(p.media.back_img, 0, 0);
    PlainDrawing plain(p.media.game_font);
    online_backing(150, 220);
    float y = 160;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].empty()) continue;
        float scale = i == 0 ? 1.0f : 0.6f;
        while (scale > 0.4f && float(TextWidth(lines_[i])) * scale > 600) scale -= 0.05f;
        online_line(lines_[i], y, scale, 255, 255, 255);
        y += i == 0 ? 40 : 26;
    }
    if (s_.hub && s_.hub->watching() > 0) {
        online_line(std::to_string(s_.hub->watching()) + " watching", 294, 0.55f, 200, 230, 255);
    }
    online_line("Escape or (B): give up", 318, 0.6f, 170, 170, 170);
    if (!note_.empty()) {
        float scale = 0.55f;
        while (scale > 0.35f && float(TextWidth(note_)) * scale > 600) scale -= 0.05f;
        online_line(note_, 342, scale, 255, 140, 100);
    }
}

bool WaitForPeer::draw_key(const Program&, std::string& key) const {
    for (const std::string& l : lines_) key += l + "|";
    key += note_ + "|" + std::to_string(s_.hub ? s_.hub->watching() : 0) + ";";
    return true;
}

}  // namespace

void leave_online(Program& p, OnlineStart& s, const std::string& why, bool gave_up) {
    PaceInRealTime(false);
    if (!s.outcome) {
        if (gave_up) {
            shut_down(p);
            return;
        }
        std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
        p.end(1);
        return;
    }
    s.outcome->done = true;
    s.outcome->gave_up = gave_up;
    s.outcome->failure = why;
    p.hand_over([back = std::move(s.back)](std::unique_ptr<Mode>) mutable -> std::unique_ptr<Mode> { return std::move(back); });
}

std::unique_ptr<Mode> go_online(Program& p, const NetOptions& opts, std::unique_ptr<LocalPlay> back,
                                std::shared_ptr<OnlineOutcome> outcome) {
    OnlineStart s;
    s.asked = Clock::now();
    s.link = std::make_unique<NetLink>(rules_fingerprint());
    s.reach = std::make_unique<NetReach>(*s.link);
    s.opts = opts;
    s.back = std::move(back);
    s.outcome = std::move(outcome);
    std::string why;
    if (!open_link(s, p.seed, &why)) {
        // Back to the local play at once, the screen told why; from the command line the
        // program ends.
        if (s.outcome) {
            s.outcome->done = true;
            s.outcome->failure = why;
        } else {
            std::fprintf(stderr, "rc-whirlbat: %s\n", why.c_str());
            p.end(1);
        }
        return std::move(s.back);
    }
    // The network does not wait for a virtual clock: headless runs keep real time too.
    PaceInRealTime(true);
    return std::make_unique<WaitForPeer>(std::move(s));
}
