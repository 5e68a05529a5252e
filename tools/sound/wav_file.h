// Writes 32-bit float WAV files, the hand-over format between the
// synthesizer and the Vorbis encoder.
#pragma once

#include <string>

#include "dsp.h"

namespace snd {

// Both throw std::runtime_error when the file cannot be written.
void write_wav(const std::string& path, const Mono& m);
void write_wav(const std::string& path, const Stereo& s);

}  // namespace snd
