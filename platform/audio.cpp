#include "platform/audio.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/mixer.h"
#include "platform/options.h"
#include "platform/resources.h"
#include "platform/sound_load.h"

struct TSound {
    SamplePtr samples;
    std::string url;  // for a streamed sound's messages
};

struct TChannel {
    int handle = 0;
    TChannel() = default;
    TChannel(const TChannel&) = delete;
    TChannel& operator=(const TChannel&) = delete;
    // Dropping the last reference lets a started sound play out.
    ~TChannel() { MixerRelease(handle); }
};

namespace {

constexpr int kDeviceFrames = 512;  // about 12 ms at 44100 Hz
// How long the game waits for the audio thread before it stops waiting for good.
constexpr auto kLockstepPatience = std::chrono::seconds(10);

enum class Output {
    None,      // not started: the first audio call starts it
    Silent,    // no device: sounds run their course unheard
    Device,    // SDL's audio thread mixes in real time
    Lockstep,  // headless with a real driver: the audio thread follows the virtual clock
};

struct AudioState {
    Output output = Output::None;
    bool sdl_started = false;
    SDL_AudioDeviceID device = 0;
    int buffer_frames = kDeviceFrames;
    int64_t clock_samples = 0;  // the virtual clock in samples (headless runs)

    // The silent driver moves sounds on by the virtual clock, or by real time.
    int64_t silent_samples = 0;
    std::chrono::steady_clock::time_point silent_start;

    // Lockstep hand-over between the game thread and the audio thread.
    std::mutex lock;
    std::condition_variable moved;
    int64_t mixed_samples = 0;  // frames the audio callback has produced
    int64_t final_samples = 0;
    bool closing = false;
    bool gave_up = false;
    bool lost = false;  // SDL gave up on the device (its disk driver: a write failed)
    int64_t first_sound_byte = -1;  // offset of the first non-zero byte produced
    std::string recording;         // the file SDL's disk driver writes, when it is used
};

AudioState audio;

// A sound decoded ahead on the loader thread, waiting for the LoadSound it serves.
struct Preload {
    std::string url;
    int flags = 0;
    bool done = false;
    Sound sound;
};

// The loader thread decodes preloads one at a time, in the order they were asked for.
// Everything here is guarded by lock; decoding runs without it.
struct Loader {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Preload>> queue;    // not started yet
    std::vector<std::shared_ptr<Preload>> loads;  // not yet taken by LoadSound
    std::vector<SoundProblem> problems;            // not yet taken by TakeSoundProblems
    bool busy = false;
    bool stopping = false;
    std::atomic<bool> abandon{false};
    std::thread thread;

    ~Loader() { Stop(); }
    void Stop();
};

Loader loader;

// Streamed sounds: one thread decodes each playing one a block at a time, ahead of the
// mixer. A stream whose channel is gone is dropped.

struct Streamer {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::weak_ptr<StreamDecoder>> jobs;
    std::vector<std::string> urls;
    bool added = false;  // a job came since the thread last looked
    bool stopping = false;
    std::thread thread;

    ~Streamer() { Stop(); }
    void Stop() {
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        changed.notify_all();
        if (thread.joinable()) thread.join();
        std::lock_guard<std::mutex> hold(lock);
        stopping = false;
        added = false;
        jobs.clear();
        urls.clear();
    }
};

Streamer streamer;

// How often the stream thread looks at its rings while any is playing: in real time
// it tops a ring up once a sixteenth of it (under 0.2 s, a millisecond or two of
// decoding) has been played, and looks ten times a second, so a playing track costs
// a few wake-ups a second, no long burst of work, and its ring never holds less than
// two and a half seconds. A recording's mixer waits for its decoder: there every frame
// played is decoded again at once.
constexpr auto kStreamPoll = std::chrono::milliseconds(2);
constexpr auto kStreamRestPoll = std::chrono::milliseconds(100);
constexpr int64_t kStreamTopUp = kStreamFrames / 16;
// What a stream decodes at once when it is cued, so that its first frames wait for nobody.
constexpr int64_t kStreamFirstBlock = 4096;

void StreamRun() {
    std::vector<std::string> reported;
    for (;;) {
        std::vector<std::pair<std::shared_ptr<StreamDecoder>, std::string>> live;
        {
            std::unique_lock<std::mutex> hold(streamer.lock);
            if (streamer.stopping) return;
            streamer.added = false;
            for (size_t k = 0; k < streamer.jobs.size();) {
                std::shared_ptr<StreamDecoder> d = streamer.jobs[k].lock();
                if (!d || d->Done()) {
                    streamer.jobs.erase(streamer.jobs.begin() + long(k));
                    streamer.urls.erase(streamer.urls.begin() + long(k));
                    continue;
                }
                live.emplace_back(std::move(d), streamer.urls[k]);
                ++k;
            }
        }
        for (auto& [decoder, url] : live) {
            if (!MixerWaitsForStreams() && decoder->Room() < kStreamTopUp) continue;
            std::string problem;
            decoder->Fill(&problem);
            // A track that breaks while it plays goes silent, said once.
            if (!problem.empty() && std::find(reported.begin(), reported.end(), url) == reported.end()) {
                reported.push_back(url);
                std::fprintf(stderr, "rc-whirlbat: %s is %s; it goes silent there\n", url.c_str(), problem.c_str());
            }
        }
        live.clear();
        std::unique_lock<std::mutex> hold(streamer.lock);
        // A stream cued meanwhile is filled at once.
        streamer.changed.wait_for(hold, MixerWaitsForStreams() ? kStreamPoll : kStreamRestPoll,
                                  [] { return streamer.stopping || streamer.added; });
    }
}

// A streamed sound cued on a channel: a ring of its own, its first block decoded at
// once, the rest by the stream thread.
SamplePtr StartStream(const SamplePtr& sound, const std::string& url) {
    auto cue = std::make_shared<SampleData>();
    cue->rate = sound->rate;
    cue->channels = sound->channels;
    cue->bits = 16;
    cue->frames = sound->frames;
    cue->loop = sound->loop;
    cue->stream = std::make_shared<StreamRing>(sound->channels);
    auto decoder = sound->file.empty()
                       ? std::make_shared<StreamDecoder>(sound->encoded, cue->stream, sound->frames, sound->loop)
                       : std::make_shared<StreamDecoder>(sound->file, cue->stream, sound->frames, sound->loop);
    decoder->Fill(nullptr, kStreamFirstBlock);
    cue->keep = decoder;
    std::lock_guard<std::mutex> hold(streamer.lock);
    if (!streamer.thread.joinable()) streamer.thread = std::thread(StreamRun);
    streamer.jobs.push_back(decoder);
    streamer.urls.push_back(url);
    streamer.added = true;
    streamer.changed.notify_all();
    return cue;
}

int64_t SamplesAt(int ms) { return int64_t(ms) * kMixerRate / 1000; }

void SDLCALL MixCallback(void*, Uint8* stream, int len) {
    MixerMix(reinterpret_cast<int16_t*>(stream), len / 4);
}

// Produces the buffer covering virtual samples [mixed, mixed + frames) once the clock has
// passed its end, so it hears the channel table exactly as the game left it then.
void SDLCALL LockstepCallback(void*, Uint8* stream, int len) {
    const int frames = len / 4;
    std::unique_lock<std::mutex> hold(audio.lock);
    const int64_t start = audio.mixed_samples;
    audio.moved.wait(hold, [&] { return audio.clock_samples >= start + frames || audio.closing; });
    if (audio.closing && start >= audio.final_samples) {
        std::memset(stream, 0, size_t(len));
        return;
    }
    const bool silent_so_far = audio.first_sound_byte < 0;
    hold.unlock();
    MixerMix(reinterpret_cast<int16_t*>(stream), frames);
    int64_t first = -1;
    for (int i = 0; silent_so_far && i < len; ++i) {
        if (stream[i] != 0) {
            first = start * 4 + i;
            break;
        }
    }
    hold.lock();
    if (silent_so_far) audio.first_sound_byte = first;
    audio.mixed_samples = start + frames;
    audio.moved.notify_all();
}

// Waits until the audio thread has produced every buffer the predicate asks for. A
// device that SDL gave up on is still fed, but only at the pace of real time, so a
// lost device ends the waiting for good.
template <typename Done>
void WaitForMixer(std::unique_lock<std::mutex>& hold, Done done) {
    const auto patience = std::chrono::steady_clock::now() + kLockstepPatience;
    while (!audio.gave_up && !audio.lost && !done()) {
        if (SDL_GetAudioDeviceStatus(audio.device) == SDL_AUDIO_STOPPED) {
            audio.lost = true;
        } else if (std::chrono::steady_clock::now() >= patience) {
            audio.gave_up = true;
            std::fprintf(stderr, "rc-whirlbat: the audio thread stopped following the clock\n");
        } else {
            audio.moved.wait_for(hold, std::chrono::milliseconds(50));
        }
    }
}

void StartSilent() {
    audio.output = Output::Silent;
    audio.silent_samples = audio.clock_samples;
    audio.silent_start = std::chrono::steady_clock::now();
}

void NoDevice(const char* reason) {
    std::fprintf(stderr, "rc-whirlbat: no audio device (%s); the game runs without sound\n", reason);
    if (audio.sdl_started) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audio.sdl_started = false;
    }
    StartSilent();
}

// The sound system's own libraries print their complaints on stderr when there is no
// sound card; the game says it once, plainly, so they are kept quiet meanwhile.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(2);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 2);
            close(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, 2);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

void StartAudio() {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    const bool named = driver && *driver;
    if (engine_options.headless && !named) {
        StartSilent();
        return;
    }
    int failed;
    {
        QuietStderr quiet;
        failed = SDL_InitSubSystem(SDL_INIT_AUDIO);
    }
    if (failed != 0) {
        std::string reason = SDL_GetError();
        NoDevice(reason.c_str());
        return;
    }
    audio.sdl_started = true;
    const char* current = SDL_GetCurrentAudioDriver();
    const std::string name = current ? current : "";
    if (name == "dummy") {
        NoDevice("dummy driver");
        return;
    }
    const bool lockstep = engine_options.headless;
    SDL_AudioSpec want{};
    want.freq = kMixerRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = lockstep ? LockstepCallback : MixCallback;
    SDL_AudioSpec have{};
    {
        QuietStderr quiet;
        audio.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    }
    if (audio.device == 0) {
        std::string reason = SDL_GetError();
        NoDevice(reason.c_str());
        return;
    }
    if (!lockstep) {
        audio.output = Output::Device;
        SDL_PauseAudioDevice(audio.device, 0);
        return;
    }
    audio.output = Output::Lockstep;
    // A recording must come out the same every time: the mixer waits for a stream's
    // decoder rather than play silence.
    MixerWaitForStreams(true);
    audio.buffer_frames = have.samples > 0 ? have.samples : kDeviceFrames;
    if (name == "disk") {
        const char* file = std::getenv("SDL_DISKAUDIOFILE");
        audio.recording = file && *file ? file : "sdlaudio.raw";
    }
    SDL_PauseAudioDevice(audio.device, 0);
    // The virtual clock may have run before the first audio call: catch up with silence.
    std::unique_lock<std::mutex> hold(audio.lock);
    WaitForMixer(hold, [] { return audio.mixed_samples + audio.buffer_frames > audio.clock_samples; });
}

// Starts the driver on the first call; lets the silent driver catch up with time.
void Pump() {
    if (audio.output == Output::None) StartAudio();
    if (audio.output == Output::Silent) {
        int64_t now = audio.clock_samples;
        if (!engine_options.headless) {
            auto elapsed = std::chrono::steady_clock::now() - audio.silent_start;
            now = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() * kMixerRate / 1000;
        }
        if (now > audio.silent_samples) {
            MixerAdvance(now - audio.silent_samples);
            audio.silent_samples = now;
        }
    }
}

// SDL's disk driver writes silence while the device is still paused, so the recording
// starts with a run of zeros of unknown length before the first buffer of the virtual
// timeline, and ends with a few more after it. Cut it to the timeline: sample k of the
// file is virtual sample k. The first non-zero byte that was produced finds the start.
// Only a regular file can be cut; a pipe or a device keeps what was written to it.
// Returns what went wrong, or "" when the file holds the timeline.
std::string TrimRecording(const std::string& path, int64_t first_sound_byte, int64_t length) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return "";
    const int64_t size = int64_t(std::filesystem::file_size(path, error));
    if (error) return error.message();
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return std::strerror(errno);
    std::vector<uint8_t> chunk(1 << 16);
    int64_t start = 0;
    if (first_sound_byte >= 0) {
        int64_t offset = 0;
        int64_t found = -1;
        size_t got;
        while (found < 0 && offset < size && (got = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) {
            for (size_t i = 0; i < got; ++i) {
                if (chunk[i] != 0) {
                    found = offset + int64_t(i);
                    break;
                }
            }
            offset += int64_t(got);
        }
        if (found >= first_sound_byte) start = found - first_sound_byte;
    }
    std::string problem;
    if (size < start + length) {
        problem = "only " + std::to_string(size - start) + " of " + std::to_string(length) +
                  " bytes were written; is the disk full?";
    }
    for (int64_t done = 0; problem.empty() && start > 0 && done < length;) {
        std::fseek(f, long(start + done), SEEK_SET);
        size_t want = size_t(std::min<int64_t>(int64_t(chunk.size()), length - done));
        size_t got = std::fread(chunk.data(), 1, want, f);
        std::fseek(f, long(done), SEEK_SET);
        if (got != want || std::fwrite(chunk.data(), 1, got, f) != got) problem = std::strerror(errno);
        done += int64_t(got);
    }
    if (std::fclose(f) != 0 && problem.empty()) problem = std::strerror(errno);
    if (problem.empty()) {
        std::filesystem::resize_file(path, uint64_t(length), error);
        if (error) problem = error.message();
    }
    return problem;
}

// Lists a file that could not be used, once until the list is taken. Caller holds loader.lock.
void NoteProblem(const std::string& url, const std::string& why) {
    for (const SoundProblem& p : loader.problems) {
        if (p.url == url) return;
    }
    loader.problems.push_back({url, why});
}

// Reads and decodes a url; on failure *why says why. Safe on any thread.
Sound ReadSound(const std::string& url, int flags, std::string* why, const std::atomic<bool>* abandon) {
    std::vector<uint8_t> bytes;
    if (!ReadUrl(url, bytes)) {
        // Only a failure asks again, to tell a missing file from an unreadable one.
        *why = UrlExists(url) ? "not a readable file" : "missing";
        return nullptr;
    }
    auto encoded = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    std::shared_ptr<SampleData> samples = DecodeStreamed(std::move(encoded), why, abandon);
    if (!samples) return nullptr;
    // A track from a file is read from it again as it plays, not held in memory.
    if (std::string path = UrlPath(url); samples->encoded && !path.empty()) {
        samples->encoded.reset();
        samples->file = path;
    }
    samples->loop = (flags & 1) != 0;
    auto sound = std::make_shared<TSound>();
    sound->samples = std::move(samples);
    sound->url = url;
    return sound;
}

void LoaderRun() {
    std::unique_lock<std::mutex> hold(loader.lock);
    for (;;) {
        loader.changed.wait(hold, [] { return loader.stopping || !loader.queue.empty(); });
        if (loader.stopping) return;
        std::shared_ptr<Preload> job = loader.queue.front();
        loader.queue.pop_front();
        loader.busy = true;
        hold.unlock();
        std::string why;
        Sound sound = ReadSound(job->url, job->flags, &why, &loader.abandon);
        hold.lock();
        loader.busy = false;
        job->sound = std::move(sound);
        job->done = true;
        if (!job->sound && !loader.abandon) NoteProblem(job->url, why);
        loader.changed.notify_all();
    }
}

void Loader::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
        abandon = true;
    }
    changed.notify_all();
    if (thread.joinable()) thread.join();
    std::lock_guard<std::mutex> hold(lock);
    queue.clear();
    loads.clear();
    stopping = false;
    abandon = false;
}

Channel NewChannel(int handle) {
    auto channel = std::make_shared<TChannel>();
    channel->handle = handle;
    return channel;
}

Channel Start(const Sound& sound, const Channel& channel, bool paused) {
    Pump();
    if (!sound) return nullptr;
    int handle = channel && MixerValid(channel->handle) ? channel->handle : MixerAlloc();
    if (handle == 0) return nullptr;
    MixerCue(handle, sound->samples->streamed() ? StartStream(sound->samples, sound->url) : sound->samples, paused);
    if (channel && channel->handle == handle) return channel;
    return NewChannel(handle);
}

int HandleOf(const Channel& channel) { return channel ? channel->handle : 0; }

}  // namespace

Sound LoadSound(const std::string& url, int flags) {
    Pump();
    {
        std::unique_lock<std::mutex> hold(loader.lock);
        for (auto it = loader.loads.begin(); it != loader.loads.end(); ++it) {
            if ((*it)->url != url || (*it)->flags != flags) continue;
            std::shared_ptr<Preload> job = *it;
            loader.loads.erase(it);
            loader.changed.wait(hold, [&] { return job->done; });
            return job->sound;
        }
    }
    std::string why;
    Sound sound = ReadSound(url, flags, &why, nullptr);
    if (!sound) {
        std::lock_guard<std::mutex> hold(loader.lock);
        NoteProblem(url, why);
    }
    return sound;
}

void PreloadSound(const std::string& url, int flags) {
    Pump();
    auto job = std::make_shared<Preload>();
    job->url = url;
    job->flags = flags;
    std::lock_guard<std::mutex> hold(loader.lock);
    for (const auto& waiting : loader.loads) {
        if (waiting->url == url && waiting->flags == flags) return;
    }
    if (!loader.thread.joinable()) loader.thread = std::thread(LoaderRun);
    loader.queue.push_back(job);
    loader.loads.push_back(job);
    loader.changed.notify_all();
}

std::vector<SoundProblem> TakeSoundProblems() {
    std::unique_lock<std::mutex> hold(loader.lock);
    loader.changed.wait(hold, [] { return loader.queue.empty() && !loader.busy; });
    return std::exchange(loader.problems, {});
}

Channel CueSound(const Sound& sound, const Channel& channel) { return Start(sound, channel, true); }

Channel PlaySound(const Sound& sound, const Channel& channel) { return Start(sound, channel, false); }

Channel AllocChannel() {
    Pump();
    int handle = MixerAlloc();
    return handle ? NewChannel(handle) : nullptr;
}

void SetChannelVolume(const Channel& channel, float volume) { MixerSetVolume(HandleOf(channel), volume); }
void SetChannelPan(const Channel& channel, float pan) { MixerSetPan(HandleOf(channel), pan); }
void SetChannelDepth(const Channel& channel, float depth) { MixerSetDepth(HandleOf(channel), depth); }
void SetChannelRate(const Channel& channel, float rate) { MixerSetRate(HandleOf(channel), rate); }

void PauseChannel(const Channel& channel) {
    Pump();
    MixerSetPaused(HandleOf(channel), true);
}

void ResumeChannel(const Channel& channel) {
    Pump();
    MixerSetPaused(HandleOf(channel), false);
}

void StopChannel(const Channel& channel) {
    if (!channel) return;
    MixerStop(channel->handle);
    channel->handle = 0;
}

int ChannelPlaying(const Channel& channel) {
    Pump();
    int status = MixerStatus(HandleOf(channel));
    return status != 0 && !(status & kStatusPaused) ? 1 : 0;
}

void AudioClockAdvanced(int now_ms) {
    {
        std::unique_lock<std::mutex> hold(audio.lock);
        audio.clock_samples = SamplesAt(now_ms);
        if (audio.output == Output::Lockstep) {
            audio.moved.notify_all();
            WaitForMixer(hold, [] { return audio.mixed_samples + audio.buffer_frames > audio.clock_samples; });
        }
    }
    if (audio.output == Output::Silent) Pump();
    MixerCollect();
}

void AudioShutdown() {
    loader.Stop();
    // The streams decode on until the last buffer is mixed (a recording may wait for one).
    struct StopStreams {
        ~StopStreams() { streamer.Stop(); }
    } stop_streams;
    if (audio.output == Output::Lockstep) {
        std::unique_lock<std::mutex> hold(audio.lock);
        audio.final_samples = audio.clock_samples;
        audio.closing = true;
        audio.moved.notify_all();
        WaitForMixer(hold, [] { return audio.mixed_samples >= audio.final_samples; });
    }
    if (audio.device != 0) SDL_CloseAudioDevice(audio.device);
    if (audio.output == Output::Lockstep && !audio.recording.empty()) {
        const std::string problem = audio.lost ? "writing to it failed"
                                               : TrimRecording(audio.recording, audio.first_sound_byte, audio.final_samples * 4);
        if (!problem.empty()) {
            std::fprintf(stderr, "rc-whirlbat: the sound recording %s is incomplete (%s)\n", audio.recording.c_str(),
                         problem.c_str());
        }
    }
    if (audio.sdl_started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    MixerReset();
    std::lock_guard<std::mutex> hold(audio.lock);
    audio.output = Output::None;
    MixerWaitForStreams(false);
    audio.sdl_started = false;
    audio.device = 0;
    audio.buffer_frames = kDeviceFrames;
    audio.clock_samples = 0;
    audio.silent_samples = 0;
    audio.mixed_samples = 0;
    audio.final_samples = 0;
    audio.closing = false;
    audio.gave_up = false;
    audio.lost = false;
    audio.first_sound_byte = -1;
    audio.recording.clear();
}
