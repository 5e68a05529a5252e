#pragma once
// What online play draws over the picture: lines of text on a dark backing, the
// notice at the foot of the title when a session is over, and the overlay of the
// network during a match.
#include <chrono>
#include <string>

#include "present/media.h"
#include "session/runner.h"

class NetLink;

// A line centred on the picture at y, at a scale of the game's font, in a colour.
void online_line(const std::string& s, float y, float scale, int r, int g, int b);
// A dark band across the picture behind lines of text.
void online_backing(float y, float h);
// Online play's own place on the title and pause screens, between the logo and the
// menu's first item, where no other text is: one line there, on its backing, made
// smaller if it would not fit.
constexpr float ONLINE_NOTICE_TOP = 198, ONLINE_NOTICE_HEIGHT = 30;
void online_notice(const std::string& s, int r, int g, int b);

// A line in online play's place for a few seconds.
class Notice : public FrameHook {
public:
    explicit Notice(std::string text);
    void draw_over(Program& p) override;
    // The line shows for a count of frames, then never again.
    bool draw_key(const Program&, std::string& key) const override;

private:
    std::string text_;
    int frames_;
};

// What the player sees of the network over the game: a notice while the game waits for
// the other machine longer than a quarter of a second, and the round trip and the way
// the machines reach each other (F4 shows and hides it; shown for the first 5 seconds).
class NetOverlay {
public:
    using Clock = std::chrono::steady_clock;
    explicit NetOverlay(int other_side) : other_(other_side) {}

    void toggle();
    // After each tick: whether the game moved on (or held itself, at a round's end).
    void moved(bool moved) {
        if (moved) last_moved_ = Clock::now();
    }
    // The round trip and the path, under the scores.
    void draw(const Media& m, const NetLink& link) const;
    // What draw shows, as a key for the at-rest comparison.
    std::string key(const NetLink& link) const;
    // While the game waits for the other machine, the line for online play's place
    // ("Waiting for Red... 12"); "" otherwise.
    std::string notice(const NetLink& link) const;

private:
    bool waiting() const;
    bool visible() const;
    std::string ping_line(const NetLink& link) const;
    std::string waiting_line(const NetLink& link) const;

    int other_;
    bool forced_ = false, on_ = true;
    Clock::time_point started_ = Clock::now(), last_moved_ = Clock::now();
};

// Each side's name, as the lines say it.
const char* side_name(int side);
