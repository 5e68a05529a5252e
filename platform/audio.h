#pragma once
// Audio services: sounds decoded at load time (a long one, such as a music track, is
// kept encoded and decoded a block at a time while it plays, on a thread of its own)
// and mixed in software at 44100 Hz, stereo, 16-bit, on SDL's audio thread. Every call comes from the game's
// one thread. A none sound or none channel (nullptr) is accepted everywhere and does
// nothing.
#include <memory>
#include <string>
#include <vector>

struct TSound;
struct TChannel;
using Sound = std::shared_ptr<TSound>;
using Channel = std::shared_ptr<TChannel>;

// Decodes an OGG Vorbis or WAV file (path or "incbin::name"); bit 0 of flags makes it
// loop. An OGG Vorbis sound over ten seconds is read through once and streamed when it
// plays; should it fail part-way then, it goes silent there with one line on stderr. None if the file is missing or cannot be decoded; the file is then listed by
// TakeSoundProblems. Takes the result of a PreloadSound of the same url and flags if
// there is one, waiting for it only if it is not ready yet.
Sound LoadSound(const std::string& url, int flags);
// Starts decoding a sound on the loader thread and returns at once, so that a long one
// costs the game no time. Each preload serves one LoadSound; a second preload of a url
// still waiting for its LoadSound is ignored. Embedded resources must be registered
// before they are preloaded.
void PreloadSound(const std::string& url, int flags);

// A sound file that could not be used, and why in a few words ("missing", "empty",
// "damaged", "6 channels", "longer than 10 minutes" ...).
struct SoundProblem {
    std::string url;
    std::string why;
};
// The files that LoadSound and PreloadSound could not use since the last call, each
// once, in the order they were tried. Waits for preloads still decoding.
std::vector<SoundProblem> TakeSoundProblems();

// Puts the sound on the channel (a new one when none is given), paused at its start.
// None if the sound is none or no mixer slot is free.
Channel CueSound(const Sound& sound, const Channel& channel = nullptr);
// As CueSound, but playing at once.
Channel PlaySound(const Sound& sound, const Channel& channel = nullptr);
// A channel object holding a fresh handle, playing nothing.
Channel AllocChannel();

void SetChannelVolume(const Channel& channel, float volume);  // linear, 1.0 full
void SetChannelPan(const Channel& channel, float pan);        // -1 left .. +1 right
void SetChannelDepth(const Channel& channel, float depth);    // kept, not heard
void SetChannelRate(const Channel& channel, float rate);      // 1.0 the sound's own rate
void PauseChannel(const Channel& channel);
void ResumeChannel(const Channel& channel);  // resuming a cued channel starts it
// Stops and releases the slot; the object keeps no handle afterwards.
void StopChannel(const Channel& channel);
// 1 while the slot is in use, not stopped and not paused.
int ChannelPlaying(const Channel& channel);

// Engine-internal: the window service calls this in headless runs whenever the
// virtual clock moves, so that a recording audio driver (SDL's "disk") hears the
// game in step with its virtual time.
void AudioClockAdvanced(int now_ms);
// Engine-internal: closes the device at program end, after the last sound was mixed,
// and stops the loader thread (a preload still decoding is abandoned). Call it before
// SDL_Quit: in a lockstep run the audio thread waits for the clock. Audio starts afresh
// on the next call after it.
void AudioShutdown();
