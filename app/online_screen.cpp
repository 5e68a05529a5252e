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

enum Line { PORT, HOST, ADDRESS, JOIN, LAN, LOBBY, BACK, LINES };
constexpr int kColumns = 10;
constexpr char kCells[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.:";
constexpr int kCharacters = int(sizeof kCells) - 1;
constexpr int kCellCount = kCharacters + 2;  // and "Del", "OK"
constexpr float kGridX = 100, kGridY = 268, kCellW = 44, kCellH = 30;
constexpr size_t kMostTyped = 64;
constexpr int kSearchAgainFrames = 180;
// How long the screen listens for the network's games each time it asks.
constexpr int kLanSearchMs = 1500;

// The character a key types, or 0.
char key_char(int key) {
    if (key >= '0' && key <= '9') return char(key);
    if (key >= 'A' && key <= 'Z') return char(key);
    if (key == KEY_PERIOD) return '.';
    if (key == KEY_SEMICOLON) return ':';
    if (key == KEY_MINUS) return '-';
    return 0;
}

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
        NetOptions o = net;
        o.delay = given.delay;
        o.net_log = given.net_log;
        o.relay = given.relay;
        if (o.lobby.empty()) o.lobby = given.lobby.empty() ? p.settings.lobby : given.lobby;
        p.hand_over([&p, o, outcome](std::unique_ptr<Mode> current) -> std::unique_ptr<Mode> {
            std::unique_ptr<LocalPlay> back(dynamic_cast<LocalPlay*>(current.get()));
            if (!back) return current;
            current.release();
            return go_online(p, o, std::move(back), outcome);
        });
    };
    return online;
}

OnlineScreen::OnlineScreen(std::shared_ptr<OnlinePlay> play) : play_(std::move(play)) {
    search_network();
    list_.title = "Play online";
    list_.top = 100;
    list_.step = 34;
    list_.focus = HOST;
    fill();
}

// The meeting server's field starts as the settings have it; a well-formed address (or
// none) typed into it goes back to the settings, which are written at once.
void OnlineScreen::keep_lobby(Program& p) {
    if (!lobby_read_) {
        lobby_ = p.settings.lobby;
        lobby_read_ = true;
        fill();
        return;
    }
    std::string host;
    int port = 0;
    if (lobby_ != p.settings.lobby && (lobby_.empty() || split_host_port(lobby_, &host, &port))) p.settings.lobby = lobby_;
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

void OnlineScreen::fill() {
    list_.entries.clear();
    list_.entries.push_back({"Port to host on", port_ + (list_.focus == PORT ? "_" : "")});
    list_.entries.push_back({"Host a game", "you fly Blue"});
    list_.entries.push_back({"Host's address or code", join_ + (list_.focus == ADDRESS ? "_" : "")});
    list_.entries.push_back({"Join that game", "you fly Red"});
    list_.entries.push_back({"Games on this network", lan_.empty() ? "none found" : lan_[0], !lan_.empty()});
    list_.entries.push_back({"Meeting server for codes", (lobby_.empty() && list_.focus != LOBBY ? "none" : lobby_) +
                                                             (list_.focus == LOBBY ? "_" : "")});
    list_.entries.push_back({"Back", ""});
}

std::string* OnlineScreen::focused_field() {
    switch (list_.focus) {
        case PORT: return &port_;
        case ADDRESS: return &join_;
        case LOBBY: return &lobby_;
        default: return nullptr;
    }
}

void OnlineScreen::type(char c) {
    std::string& field = *focused_field();
    if (list_.focus == PORT && !std::isdigit(uint8_t(c))) return;
    if (field.size() >= (list_.focus == PORT ? 5u : kMostTyped)) return;
    field += char(std::tolower(uint8_t(c)));
}

// Keys typed into the field in focus; true when the frame's keys went there.
bool OnlineScreen::typing(const Nav& nav) {
    if (!focused_field()) return false;
    std::string& field = *focused_field();
    if (nav.key == KEY_BACKSPACE || nav.key == KEY_DELETE) {
        if (!field.empty()) field.pop_back();
        return true;
    }
    char c = key_char(nav.key);
    if (!c) return false;
    type(c);
    return true;
}

void OnlineScreen::grid_frame(const Nav& nav) {
    if (nav.back) {
        grid_ = false;
        return;
    }
    if (typing(nav)) return;
    int rows = (kCellCount + kColumns - 1) / kColumns;
    int col = cell_ % kColumns, row = cell_ / kColumns;
    col = (col + nav.dx + kColumns) % kColumns;
    row = (row + nav.dy + rows) % rows;
    cell_ = std::min(row * kColumns + col, kCellCount - 1);
    if (nav.remove || (nav.choose && cell_ == kCharacters)) {
        std::string& field = *focused_field();
        if (!field.empty()) field.pop_back();
    } else if (nav.choose && cell_ == kCharacters + 1) {
        grid_ = false;
    } else if (nav.choose) {
        type(kCells[cell_]);
    }
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

Screen::Step OnlineScreen::frame(Program& p, const Nav& nav, FrameInput&) {
    Step step;
    if (came_back(&step)) return step;
    keep_lobby(p);
    // The network's games are asked for again every few seconds while the screen is open.
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
    if (grid_) {
        grid_frame(nav);
        fill();
        return step;
    }
    if (typing(nav)) {
        message_.clear();
        fill();
        return step;
    }
    bool clicked = list_.navigate(nav);
    if (nav.back) {
        step.open = false;
        return step;
    }
    if (nav.choose || clicked) {
        message_.clear();
        switch (list_.focus) {
            case PORT:
            case ADDRESS:
            case LOBBY:
                grid_ = true;
                cell_ = 0;
                break;
            case HOST: go_ = Go::host; break;
            case JOIN: go_ = join_.empty() ? Go::none : Go::join; break;
            case LAN:
                if (!lan_.empty()) {
                    // "NAME  ADDRESS": the address is the last word.
                    join_ = lan_[0].substr(lan_[0].find_last_of(' ') + 1);
                    go_ = Go::join;
                }
                break;
            case BACK: step.open = false; break;
            default: break;
        }
        if (list_.focus == JOIN && join_.empty()) message_ = "Type the host's address first.";
    }
    fill();
    return step;
}

void OnlineScreen::presented(Program& p) {
    if (go_ == Go::none) return;
    NetOptions opts;
    if (go_ == Go::host) {
        opts.host = true;
        int port = port_.empty() ? 0 : std::stoi(port_);
        if (port < 1 || port > 65535) {
            message_ = "The port is a number from 1 to 65535.";
            go_ = Go::none;
            return;
        }
        opts.port = port;
    } else {
        opts.join = join_;
        // Codes are typed in either case; the meeting server knows them in capitals.
        std::string code = join_;
        std::transform(code.begin(), code.end(), code.begin(), [](char c) { return char(std::toupper(uint8_t(c))); });
        if (is_join_code(code)) opts.join = code;
    }
    go_ = Go::none;
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
    if (grid_) {
        screen_hints("Arrows or D-pad: character   Return or (" + pad.south + "): type   (" + pad.west +
                     "): delete   Esc or (" + pad.east + "): done");
    } else {
        screen_hints("Type in a field, or Return or (" + pad.south + ") for the character grid   Esc or (" + pad.east +
                     "): back");
    }
}
