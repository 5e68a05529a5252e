#include "app/sound.h"

#include <utility>

#include "app/globals.h"

namespace {

struct SoundState {
    Sound tracks[3];  // decoded once, by track number
    int track = 0;    // the track play_music last started
    std::vector<std::pair<const Sound*, std::string>> names;
    std::vector<std::string> log;
};

SoundState snd;

const char* track_file(int track) { return track == 1 ? "data\\titletrack.ogg" : "data\\playtrack.ogg"; }

}  // namespace

int play_sfx(const Sound& sound) {
    for (const auto& [global, name] : snd.names) {
        if (global == &sound) snd.log.push_back(name);
    }
    Channel chn = CueSound(sound);
    SetChannelVolume(chn, sound_vol);
    ResumeChannel(chn);
    return 0;
}

void preload_music() {
    for (int track = 1; track <= 2; ++track) {
        if (!snd.tracks[track]) PreloadSound(track_file(track), 1);
    }
}

int play_music(int track) {
    if (track != 1 && track != 2) return 0;
    if (ChannelPlaying(music_chn)) StopChannel(music_chn);
    // The game loads its track anew on every call; the decoded samples are the same
    // every time, so we keep them after the first load.
    if (!snd.tracks[track]) snd.tracks[track] = LoadSound(track_file(track), 1);
    snd.track = track;
    music_chn = CueSound(snd.tracks[track]);
    SetChannelVolume(music_chn, music_vol);
    ResumeChannel(music_chn);
    return 0;
}

void name_sfx(const Sound* sound, const std::string& name) { snd.names.emplace_back(sound, name); }

std::vector<std::string> take_sfx_log() { return std::exchange(snd.log, {}); }

int music_playing() { return ChannelPlaying(music_chn) ? snd.track : 0; }
