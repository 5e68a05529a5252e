#include "session/replay_run.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/draw.h"
#include "platform/pixmap.h"
#include "present/scene_draw.h"
#include "session/output_file.h"
#include "session/replay_check.h"
#include "session/runner.h"
#include "session/trace.h"

namespace {

class ReplayRun : public Mode {
public:
    ReplayRun(const Replay& r, std::string name, ReplayRunOptions options, std::shared_ptr<OutputFile> trace)
        : replay_(r), name_(std::move(name)), options_(std::move(options)), trace_(std::move(trace)), player_(r) {}

    Traits traits() const override { return {false, false}; }
    ModeFrame step(Program& p) override;

private:
    void start(Program& p);
    void frame_out(Program& p);
    void done(Program& p);
    void fail(Program& p, const std::string& what, bool about_the_replay = true);

    const Replay& replay_;
    std::string name_;
    ReplayRunOptions options_;
    std::shared_ptr<OutputFile> trace_;
    ReplayPlayer player_;
    bool started_ = false;
};

void ReplayRun::start(Program& p) {
    started_ = true;
    p.world = replay_.header.world;
    p.game = replay_.header.game;
    p.result.draw = !options_.shots.empty();
    p.media.pilots_without_pads = ::pilots_without_pads(replay_.header.pilots);
}

void ReplayRun::fail(Program& p, const std::string& what, bool about_the_replay) {
    if (about_the_replay) std::fprintf(stderr, "rc-whirlbat: %s: %s\n", name_.c_str(), what.c_str());
    else std::fprintf(stderr, "rc-whirlbat: %s\n", what.c_str());
    p.end(1);
}

// The picture and the trace line of a frame the recording run presented (one that ends
// the loop presented nothing, so the recording run traced nothing).
void ReplayRun::frame_out(Program& p) {
    if (p.result.ended) return;
    int frame = int(replay_.header.start_frame + player_.frame());
    std::string why;
    if (p.result.draw) {
        draw_scene(p.result.scene, p.media);
        for (const auto& [n, file] : options_.shots) {
            if (n == frame && !save_png_in_place(file, ReadPicture(), &why)) return fail(p, why, false);
        }
    }
    if (trace_) {
        if (!trace_->write(trace_line(p, frame, MilliSecs()) + "\n", &why)) fail(p, why, false);
    } else {
        p.sound.take_log();
    }
}

void ReplayRun::done(Program& p) {
    const ReplayCheck& c = player_.finish(p.world, p.game);
    if (!c.ok) return fail(p, c.problem);
    if (options_.verify) std::printf("%s\n", replay_good_line(name_, replay_).c_str());
    p.end(0);
}

ModeFrame ReplayRun::step(Program& p) {
    if (!started_) start(p);
    bool limited = options_.frames > 0 && player_.frame() >= options_.frames;
    if (limited) {
        p.end(0);
        return {};
    }
    if (!player_.next(p.world, p.game, p.result)) {
        done(p);
        return {};
    }
    for (auto& listener : p.listeners) listener->heard(p, p.world, p.game, player_.input());
    if (!options_.verify) carry_out(p, p.result.events, EventsCarried{true, true, false});
    if (!options_.verify) frame_out(p);
    bool at_limit = options_.frames > 0 && player_.frame() >= options_.frames;
    if (player_.failed()) fail(p, player_.check().problem);
    else if (p.result.ended && at_limit) p.end(0);
    else if (p.result.ended) done(p);
    return {};
}

}  // namespace

std::unique_ptr<Mode> replay_run(Program& p, const Replay& replay, const std::string& name,
                                 const ReplayRunOptions& options, std::string* why) {
    // The trace and the pictures are put in place whole, as the harness's are.
    std::shared_ptr<OutputFile> trace;
    if (!options.trace.empty() && !(trace = open_trace(p, options.trace, why))) return nullptr;
    return std::make_unique<ReplayRun>(replay, name, options, trace);
}
