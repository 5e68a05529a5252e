#pragma once
// The game's sound: effects on channels of their own, music on the one music channel.
// The sound player carries out the sound events of a frame and keeps, for the trace,
// the effects started since it was last asked and the track playing.
#include <string>
#include <vector>

#include "platform/audio.h"
#include "sim/events.h"

struct SoundPlayer {
    Sound effects[SFX_COUNT];
    Sound tracks[3];  // by track number: 1 title, 2 play
    bool tried[3] = {};
    Channel music_chn;
    int track = 0;  // the track last started
    std::vector<std::string> log;

    // The music channel; done at start-up before anything plays.
    void open();
    // Decodes the thirteen effects, and both tracks on the loader thread.
    void load();
    // Takes both tracks from the loader (waiting if one is still decoding).
    void take_tracks();
    // Starts an effect on a new channel at a volume and lets it play out; the channel
    // is returned so that online play can stop an effect a rollback undid.
    Channel play_sfx(Sfx s, float volume);
    // Replaces the music with track 1 (title) or 2 (play), looping from its beginning.
    void play_music(int track, float volume);
    void stop_music();
    void set_music_volume(float volume);
    bool music_playing() const;

    // For the trace: the effects started since the last call, by name; the track
    // playing now (0 when none is).
    std::vector<std::string> take_log();
    int track_playing() const;
};

