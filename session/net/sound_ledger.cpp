#include "session/net/sound_ledger.h"

#include <algorithm>

void SoundLedger::frame_events(long frame, const FrameEvents& events) {
    bool first_time = cues_.find(frame) == cues_.end();
    std::vector<Cue>& had = cues_[frame];
    std::vector<Cue> now;
    int count[SFX_COUNT] = {};
    std::vector<MusicChange> changes;
    int waits = 0;
    for (const FrameEvent& e : events.list) {
        using K = FrameEvent::Kind;
        if (e.kind == K::sfx) {
            now.push_back(Cue{e.sfx, count[int(e.sfx)]++, 0});
            if (first_time) {
                now.back().handle = out_.start_sfx(e.sfx);
                ++started;
            }
        } else if (e.kind == K::music || e.kind == K::music_stop) {
            changes.push_back(MusicChange{frame, int(changes.size()), e.kind == K::music ? e.value : 0});
            music_[frame] = changes;
        } else if (e.kind == K::wait && (first_time || waits >= waits_[frame])) {
            // What came before the wait is heard before it.
            ++waits;
            update_music();
            out_.wait(e.value);
            waits_[frame] = waits;
        } else if (e.kind == K::wait) {
            ++waits;
        }
    }
    if (first_time) {
        had = std::move(now);
        if (changes.empty()) music_.erase(frame);
        return;
    }
    auto same = [](const Cue& a, const Cue& b) { return a.sfx == b.sfx && a.nth == b.nth; };
    for (const Cue& old : had) {
        if (std::none_of(now.begin(), now.end(), [&](const Cue& c) { return same(c, old); })) {
            out_.stop_sfx(old.handle);
            ++stopped;
        }
    }
    for (Cue& c : now) {
        auto kept = std::find_if(had.begin(), had.end(), [&](const Cue& old) { return same(c, old); });
        if (kept != had.end()) {
            c.handle = kept->handle;
            continue;
        }
        c.handle = out_.start_sfx(c.sfx);
        ++started;
        if (!first_time) ++started_late;
    }
    had = std::move(now);
    if (changes.empty()) music_.erase(frame);
    else music_[frame] = std::move(changes);
}

void SoundLedger::update_music() {
    MusicChange want = music_.empty() ? settled_ : music_.rbegin()->second.back();
    if (want == playing_) return;
    playing_ = want;
    ++music_changes;
    if (want.track) out_.start_music(want.track);
    else out_.stop_music();
}

void SoundLedger::forget_through(long frame) {
    cues_.erase(cues_.begin(), cues_.upper_bound(frame));
    waits_.erase(waits_.begin(), waits_.upper_bound(frame));
    auto end = music_.upper_bound(frame);
    if (end != music_.begin()) settled_ = std::prev(end)->second.back();
    music_.erase(music_.begin(), end);
}
