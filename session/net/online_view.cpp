#include "session/net/online_view.h"

#include <algorithm>

#include "net/net_link.h"
#include "platform/draw.h"
#include "platform/font.h"
#include "present/plain_drawing.h"

namespace {

constexpr int kNoticeFrames = 240;
constexpr auto kWaitNotice = std::chrono::milliseconds(250);
constexpr auto kShownAtStart = std::chrono::seconds(5);
constexpr int kCountdownAfterMs = 1000;
constexpr char kSideName[2][5] = {"Blue", "Red"};
constexpr float kPingTop = 36;

}  // namespace

const char* side_name(int side) { return kSideName[side == 0 ? 0 : 1]; }

void online_line(const std::string& s, float y, float scale, int r, int g, int b) {
    SetColor(r, g, b);
    SetScale(scale, scale);
    DrawText(s, 320 - float(TextWidth(s)) * scale / 2, y);
}

void online_backing(float y, float h) {
    SetColor(0, 0, 0);
    SetAlpha(0.6f);
    SetScale(1, 1);
    DrawRect(0, y, 640, h);
    SetAlpha(1.0f);
}

Notice::Notice(std::string text) : text_(std::move(text)), frames_(kNoticeFrames) {}

void online_notice(const std::string& s, int r, int g, int b) {
    float scale = 0.7f;
    while (scale > 0.4f && float(TextWidth(s)) * scale > 600) scale -= 0.05f;
    online_backing(ONLINE_NOTICE_TOP, ONLINE_NOTICE_HEIGHT);
    online_line(s, ONLINE_NOTICE_TOP + 3, scale, r, g, b);
}

void Notice::draw_over(Program& p) {
    if (frames_ <= 0) return;
    --frames_;
    PlainDrawing plain(p.media.game_font);
    online_notice(text_, 255, 200, 120);
}

bool Notice::draw_key(const Program&, std::string& key) const {
    key += frames_ > 0 ? "notice " + std::to_string(frames_) + ";" : "";
    return true;
}

void NetOverlay::toggle() {
    bool shown = visible();
    forced_ = true;
    on_ = !shown;
}

bool NetOverlay::waiting() const { return Clock::now() - last_moved_ > kWaitNotice; }

bool NetOverlay::visible() const { return forced_ ? on_ : Clock::now() - started_ < kShownAtStart; }

std::string NetOverlay::ping_line(const NetLink& link) const {
    return visible() ? "Ping " + std::to_string(link.round_trip_ms()) + " ms, " + link.path() : "";
}

// Once the other machine falls silent, how long it has to come back.
std::string NetOverlay::waiting_line(const NetLink& link) const {
    if (!waiting()) return "";
    std::string line = std::string("Waiting for ") + kSideName[other_] + "...";
    int silent = link.silent_ms();
    if (silent > kCountdownAfterMs) line += " " + std::to_string(std::max(0, (NET_RECONNECT_MS - silent + 999) / 1000));
    return line;
}

std::string NetOverlay::key(const NetLink& link) const { return ping_line(link) + ";"; }

std::string NetOverlay::notice(const NetLink& link) const { return waiting_line(link); }

void NetOverlay::draw(const Media& m, const NetLink& link) const {
    PlainDrawing plain(m.game_font);
    std::string line = ping_line(link);
    if (!line.empty()) {
        SetScale(0.5f, 0.5f);
        float width = float(TextWidth(line)) * 0.5f;
        // Under the scores, above the logo: over the arena in play, clear of all text.
        SetColor(0, 0, 0);
        SetAlpha(0.6f);
        SetScale(1, 1);
        DrawRect(320 - width / 2 - 6, kPingTop, width + 12, 20);
        SetAlpha(1.0f);
        SetColor(200, 230, 255);
        SetScale(0.5f, 0.5f);
        DrawText(line, 320 - width / 2, kPingTop + 2);
    }
}
