#include "app/online_screen.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <thread>

#include "platform/draw.h"
#include "platform/keys.h"
#include "platform/font.h"
#include "net/lan_discovery.h"
#include "net/net_link.h"
#include "net/net_reach.h"

namespace {

enum Line { PORT, HOST, ADDRESS, JOIN, WATCH, LAN, LOBBY, BACK, LINES };
constexpr int kColumns = 10;
constexpr char kCells[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.:";
constexpr int kCharacters = int(sizeof kCells) - 1;
constexpr int kCellCount = kCharacters + 2;  // and "Del", "OK"
constexpr float kGridX = 100, kGridY = 268, kCellW = 44, kCellH = 30;
constexpr int kSearchAgainFrames = 180;
// How long the screen listens for the network's games each time it asks.
constexpr int kLanSearchMs = 1500;

}  // namespace

std::shared_ptr<OnlinePlay> online_from_title(const NetOptions& given, bool search_lan) {
    auto online = std::make_shared<OnlinePlay>();
    if (search_lan) online->lan_games = [] {
        std::vector<std::string> lines;
        for (const LanGame& g : find_lan_games(kLanSearchMs))
            lines.push_back("version " + g.version + "  " + g.address +
                            (g.port == NET_DEFAULT_PORT ? std::string() : ":" + std::to_string(g.port)));
        return lines;
    };
    online->start = [given](Program& p, const NetOptions& net, std::shared_ptr<OnlineOutcome> outcome) {
        NetOptions o = screen_session(given, net, p.settings);
        p.hand_over([&p, o, outcome](std::unique_ptr<Mode> current) -> std::unique_ptr<Mode> {
            std::unique_ptr<LocalPlay> back(dynamic_cast<LocalPlay*>(current.get()));
            if (!back) return current;
            current.release();
            return go_online(p, o, std::move(back), outcome);
        });
    };
    return online;
}

NetOptions screen_session(const NetOptions& given, const NetOptions& net, const Settings& settings) {
    NetOptions o = net;
    o.delay = given.delay;
    o.net_log = given.net_log;
    o.relay = given.relay.empty() ? settings.relay : given.relay;
    o.port_mapping = given.port_mapping && settings.port_mapping;
    o.watchers = settings.watchers;
    if (o.lobby.empty()) o.lobby = given.lobby.empty() ? settings.lobby : given.lobby;
    return o;
}

OnlineScreen::OnlineScreen(std::shared_ptr<OnlinePlay> play) : play_(std::move(play)) {
    port_.value = "7171";
    // What was typed before the screen opened is not the screen's.
    TakeTyping();
    search_network();
    list_.title = "Play online";
    list_.top = 100;
    list_.step = 34;
    list_.focus = HOST;
    fill();
}

void OnlineScreen::search_network() {
    if (!play_ || !play_->lan_games || searching_) return;
    auto search = std::make_shared<Search>();
    std::thread([search, list = play_->lan_games] {
        std::vector<std::string> games = list();
        std::lock_guard<std::mutex> hold(search->lock);
        search->games = std::move(games);
        search->done = true;
    }).detach();
    searching_ = search;
}

// The network's games are asked for again every few seconds while the screen is open.
void OnlineScreen::take_search() {
    bool found = false;
    if (searching_) {
        std::lock_guard<std::mutex> hold(searching_->lock);
        if (searching_->done) {
            lan_ = std::move(searching_->games);
            found = true;
        }
    }
    if (found) {
        searching_.reset();
        next_search_ = kSearchAgainFrames;
    } else if (!searching_ && --next_search_ <= 0) {
        search_network();
    }
}

void OnlineScreen::fill() {
    list_.entries.clear();
    auto field = [this](const char* label, const TextField& f, const char* none) {
        SetScale(list_.scale, list_.scale);
        float room = list_.right - list_.left - float(TextWidth(label)) * list_.scale - 24;
        SetScale(1, 1);
        std::string shown = f.value.empty() && !f.editing() && none ? none : f.shown(room, list_.scale);
        list_.entries.push_back({label, shown});
    };
    field("Port to host on", port_, nullptr);
    list_.entries.push_back({"Host a game", "you fly Blue"});
    field("Host's address or code", join_, nullptr);
    list_.entries.push_back({"Join that game", "you fly Red"});
    list_.entries.push_back({"Watch a game", "live, from its start"});
    list_.entries.push_back({"Games on this network", lan_.empty() ? "none found" : lan_[0], !lan_.empty()});
    field("Meeting server for codes", lobby_, "none");
    list_.entries.push_back({"Back", ""});
}

TextField* OnlineScreen::focused_field() {
    switch (list_.focus) {
        case PORT: return &port_;
        case ADDRESS: return &join_;
        case LOBBY: return &lobby_;
        default: return nullptr;
    }
}

const std::string& OnlineScreen::value_at(int line) const {
    static const std::string none;
    switch (line) {
        case PORT: return port_.value;
        case ADDRESS: return join_.value;
        case LOBBY: return lobby_.value;
        default: return none;
    }
}

void OnlineScreen::grid_frame(const Nav& nav) {
    TextField& field = *focused_field();
    if (nav.back) {
        grid_ = false;
        return;
    }
    int rows = (kCellCount + kColumns - 1) / kColumns;
    int col = cell_ % kColumns, row = cell_ / kColumns;
    col = (col + nav.dx + kColumns) % kColumns;
    row = (row + nav.dy + rows) % rows;
    cell_ = std::min(row * kColumns + col, kCellCount - 1);
    if (nav.remove || (nav.choose && cell_ == kCharacters)) field.remove_last();
    else if (nav.choose && cell_ == kCharacters + 1) grid_ = false;
    else if (nav.choose) field.add(kCells[cell_]);
}

// A session started from here is over: after a match the screen closes (the title shows
// the notice), otherwise it says why none began.
bool OnlineScreen::came_back(Step* step) {
    if (!outcome_ || !outcome_->done) return false;
    std::shared_ptr<OnlineOutcome> o = std::move(outcome_);
    if (o->played) {
        step->open = false;
        return true;
    }
    message_ = o->gave_up ? "You gave up waiting." : o->failure;
    if (!o->gave_up) std::fprintf(stderr, "rc-whirlbat: %s\n", o->failure.c_str());
    return false;
}

// The line in focus chosen: a field is edited (a pad's South opens the grid instead),
// the rest do what they say.
void OnlineScreen::choose(const Nav& nav, Step* step) {
    message_.clear();
    if (TextField* field = focused_field()) {
        if (nav.pad) {
            grid_ = true;
            cell_ = 0;
        } else {
            field->start_editing();
        }
        return;
    }
    switch (list_.focus) {
        case HOST: go_ = Go::host; break;
        case JOIN:
        case WATCH:
            if (join_.value.empty()) message_ = "Type the host's address or code above first.";
            else go_ = list_.focus == JOIN ? Go::join : Go::watch;
            break;
        case LAN:
            if (!lan_.empty()) {
                // "NAME  ADDRESS": the address is the last word.
                join_.value = lan_[0].substr(lan_[0].find_last_of(' ') + 1);
                go_ = Go::join;
            }
            break;
        case BACK: step->open = false; break;
        default: break;
    }
}

Screen::Step OnlineScreen::frame(Program& p, const Nav& nav, FrameInput&) {
    Step step;
    if (came_back(&step)) return step;
    if (!lobby_read_) {
        lobby_.value = p.settings.lobby;
        lobby_read_ = true;
    }
    take_search();
    std::vector<Typed> typed = TakeTyping();
    TextField* field = focused_field();
    if (grid_) {
        grid_frame(nav);
    } else if (field && field->editing()) {
        // While a field is edited, the keys type: nothing else moves.
        field->type(typed);
        if (!field->refused().empty()) message_ = field->refused();
    } else if (field && std::any_of(typed.begin(), typed.end(), [](const Typed& t) { return !t.text.empty(); })) {
        // Typing on a field edits it.
        field->start_editing();
        field->type(typed);
        message_ = field->refused();
    } else {
        bool clicked = list_.navigate(nav);
        if (nav.back) {
            step.open = false;
            return step;
        }
        if (nav.choose || clicked) choose(nav, &step);
    }
    fill();
    return step;
}

// The fields as they are used: false with a line naming the field that is not right.
bool OnlineScreen::ready_to_go(Program& p, NetOptions* opts) {
    std::string host;
    int port = 0;
    const std::string& lobby = lobby_.value;
    if (!lobby.empty() && !split_host_port(lobby, &host, &port)) {
        message_ = "The meeting server below is HOST or HOST:PORT, with a port from 1 to 65535.";
        return false;
    }
    opts->lobby = lobby;
    if (go_ == Go::host) {
        int chosen = port_.value.empty() || port_.value.size() > 5 ? 0 : std::stoi(port_.value);
        if (chosen < 1 || chosen > 65535) {
            message_ = "The port to host on is a number from 1 to 65535.";
            return false;
        }
        opts->host = true;
        opts->port = chosen;
    } else {
        opts->watch = go_ == Go::watch;
        // Codes are typed in either case; the meeting server knows them in capitals.
        std::string code = join_.value;
        std::transform(code.begin(), code.end(), code.begin(), [](char c) { return char(std::toupper(uint8_t(c))); });
        if (is_join_code(code)) {
            if (lobby.empty()) {
                message_ = "A join code needs a meeting server: set the meeting server below.";
                return false;
            }
            opts->join = code;
        } else if (!split_host_port(join_.value, &host, &port)) {
            message_ = "The host's address is HOST or HOST:PORT, with a port from 1 to 65535.";
            return false;
        } else {
            opts->join = join_.value;
        }
    }
    // Only a meeting server that was used is kept.
    p.settings.lobby = lobby;
    return true;
}

void OnlineScreen::presented(Program& p) {
    if (go_ == Go::none) return;
    NetOptions opts;
    bool ready = ready_to_go(p, &opts);
    go_ = Go::none;
    if (!ready) return;
    if (!play_ || !play_->start) {
        message_ = "Online play is not available in this run.";
        return;
    }
    outcome_ = std::make_shared<OnlineOutcome>();
    play_->start(p, opts, outcome_);
}

void OnlineScreen::draw(const Program& p) {
    screen_backdrop();
    list_.draw();
    if (grid_) {
        SetColor(8, 12, 28);
        SetAlpha(0.95f);
        DrawRect(kGridX - 12, kGridY - 12, kColumns * kCellW + 24, 4 * kCellH + 24);
        SetAlpha(1.0f);
        for (int i = 0; i < kCellCount; ++i) {
            float x = kGridX + float(i % kColumns) * kCellW, y = kGridY + float(i / kColumns) * kCellH;
            bool lit = i == cell_;
            SetColor(lit ? 255 : 40, lit ? 50 : 60, lit ? 50 : 110);
            DrawRect(x + 2, y + 2, kCellW - 4, kCellH - 4);
            SetColor(255, 255, 255);
            std::string label = i < kCharacters ? std::string(1, kCells[i]) : i == kCharacters ? "Del" : "OK";
            screen_text(label, x + kCellW / 2, y + 5, 0.65f, true);
        }
    }
    if (!message_.empty()) {
        SetColor(255, 210, 80);
        screen_text(message_, 320, 410, 0.6f, true);
    }
    PadNames pad = pad_names(p);
    const TextField* field = focused_field();
    if (grid_) {
        screen_hints("Arrows or D-pad: character   Return or (" + pad.south + "): type   (" + pad.west +
                     "): delete   Esc or (" + pad.east + "): done");
    } else if (field && field->editing()) {
        screen_hints("Type " + field->takes() + "   Return: done   Esc: as it was");
    } else if (field) {
        screen_hints("Type, or Return to edit   (" + pad.south + "): character grid   Esc or (" + pad.east + "): back");
    } else {
        screen_hints("Return or (" + pad.south + "): choose   Esc or (" + pad.east + "): back");
    }
}
