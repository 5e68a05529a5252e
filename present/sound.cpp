#include "present/sound.h"

#include <utility>

namespace {

// "data\\start.ogg": the effect's file, named as the game names it.
std::string effect_file(Sfx s) { return std::string("data\\") + sfx_name(s) + ".ogg"; }

const char* track_file(int track) { return track == 1 ? "data\\titletrack.ogg" : "data\\playtrack.ogg"; }

}  // namespace


void SoundPlayer::open() { music_chn = AllocChannel(); }

void SoundPlayer::load() {
    for (int i = 0; i < SFX_COUNT; ++i) effects[i] = LoadSound(effect_file(Sfx(i)), 0);
    // The game loads its track anew every time it starts; the decoded samples are the
    // same every time, so both are decoded once, behind the logo, on the loader thread.
    for (int t = 1; t <= 2; ++t) PreloadSound(track_file(t), 1);
}

void SoundPlayer::take_tracks() {
    for (int t = 1; t <= 2; ++t) {
        if (tried[t]) continue;
        tried[t] = true;
        tracks[t] = LoadSound(track_file(t), 1);
    }
}

Channel SoundPlayer::play_sfx(Sfx s, float volume) {
    log.emplace_back(sfx_name(s));
    Channel chn = CueSound(effects[int(s)]);
    SetChannelVolume(chn, volume);
    ResumeChannel(chn);
    return chn;
}

void SoundPlayer::play_music(int t, float volume) {
    if (t != 1 && t != 2) return;
    if (ChannelPlaying(music_chn)) StopChannel(music_chn);
    if (!tried[t]) {
        tried[t] = true;
        tracks[t] = LoadSound(track_file(t), 1);  // waits only if still decoding
    }
    track = t;
    music_chn = CueSound(tracks[t]);
    SetChannelVolume(music_chn, volume);
    ResumeChannel(music_chn);
}

void SoundPlayer::stop_music() { StopChannel(music_chn); }

void SoundPlayer::set_music_volume(float volume) { SetChannelVolume(music_chn, volume); }

bool SoundPlayer::music_playing() const { return ChannelPlaying(music_chn) != 0; }

std::vector<std::string> SoundPlayer::take_log() { return std::exchange(log, {}); }

int SoundPlayer::track_playing() const { return music_playing() ? track : 0; }
