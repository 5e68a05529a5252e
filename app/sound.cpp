#include "app/sound.h"

#include "app/globals.h"

namespace {

struct MusicCache {
    Sound tracks[3];
};

MusicCache music;

const char* track_file(int track) { return track == 1 ? "data\\titletrack.ogg" : "data\\playtrack.ogg"; }

}  // namespace

int play_sfx(const Sound& sound) {
    Channel chn = CueSound(sound);
    SetChannelVolume(chn, sound_vol);
    ResumeChannel(chn);
    return 0;
}

int play_music(int track) {
    if (track != 1 && track != 2) return 0;
    if (ChannelPlaying(music_chn)) StopChannel(music_chn);
    // The game loads its track anew on every call; the decoded samples are the same
    // every time, so we keep them after the first load.
    if (!music.tracks[track]) music.tracks[track] = LoadSound(track_file(track), 1);
    music_chn = CueSound(music.tracks[track]);
    SetChannelVolume(music_chn, music_vol);
    ResumeChannel(music_chn);
    return 0;
}
