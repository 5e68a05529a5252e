// whirlbat-synth OUTDIR [NAME...]: renders the effects and the two music
// tracks as WAV files into OUTDIR (all of them, or only the NAMEs given);
// build.sh encodes them to OGG.
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "effects.h"
#include "play_track.h"
#include "title_track.h"
#include "wav_file.h"

namespace {

// The game mixes everything at full volume with a plain sum, so the levels leave
// room for each other. The music peaks near -7 dBFS (song.h) and an effect at
// -11 dBFS, so the music with any one effect stays under -2 dBFS even after
// Vorbis has moved the peaks by up to a dB, which leaves room for the two or
// three more that a busy moment piles on top.
// The loss sound starts twice at once on a rocket hit and three times on a
// collision, sample for sample, so it sits lower: three of it peak near
// -8.5 dBFS, about as loud as the loudest other effect.
double peak_db_of(const std::string& name) { return name == "death" ? -18.0 : -11.0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [NAME...]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::set<std::string> wanted(argv + 2, argv + argc);
    const std::map<std::string, std::function<snd::Mono()>> effects = {
        {"start", snd::round_start},     {"explode", snd::explosion},  {"brocket", snd::blue_rocket},
        {"rrocket", snd::red_rocket},    {"land", snd::landing_chime}, {"death", snd::loss},
        {"detectgb", snd::pads_found},   {"newmap", snd::new_arena}};
    const std::map<std::string, std::function<snd::Stereo()>> music = {
        {"titletrack", snd::title_track}, {"playtrack", snd::play_track}};
    try {
        for (const auto& [name, make] : effects) {
            if (!wanted.empty() && !wanted.count(name)) continue;
            snd::Mono m = make();
            snd::scale(m, snd::db_to_gain(peak_db_of(name)) / snd::peak_of(m));
            snd::write_wav(dir + "/" + name + ".wav", m);
            std::printf("%-10s %.3f s\n", name.c_str(), static_cast<double>(m.size()) / snd::kRate);
        }
        for (const auto& [name, make] : music) {
            if (!wanted.empty() && !wanted.count(name)) continue;
            const snd::Stereo s = make();
            snd::write_wav(dir + "/" + name + ".wav", s);
            std::printf("%-10s %.3f s, peak %.2f dBFS, rms %.2f dBFS\n", name.c_str(),
                        static_cast<double>(s.size()) / snd::kRate, snd::gain_to_db(snd::peak_of(s)),
                        snd::gain_to_db(snd::rms_of(s, 0, s.size())));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "whirlbat-synth: %s\n", e.what());
        return 1;
    }
    return 0;
}
