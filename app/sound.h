#pragma once
// The game's sound: effects on channels of their own, music on the one music channel.
#include <string>
#include <vector>

#include "engine/audio.h"

// Starts an effect on a new channel at the sound volume and lets it play out.
int play_sfx(const Sound& sound);
// Replaces the music with track 1 (title) or 2 (play), looping from its beginning, at
// the music volume. A track is decoded once and kept, so restarting it costs nothing.
int play_music(int track);
// Decodes both tracks ahead, at start-up, so that no later play_music has to.
void preload_music();

// For the trace: names an effect's global, and lists the effects started since the
// last call; the track playing now (0 when none is).
void name_sfx(const Sound* sound, const std::string& name);
std::vector<std::string> take_sfx_log();
int music_playing();
