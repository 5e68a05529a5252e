#pragma once
// Sound file decoding: OGG Vorbis (through libvorbisfile) and PCM WAV, decoded in full.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/mixer.h"

// Decodes the bytes of an OGG Vorbis or WAV file, recognised by content. OGG gives 16-bit
// samples, WAV keeps its 8 or 16 bits; both keep the file's channels (mono or stereo) and
// rate. The loop flag is left clear. nullptr for an unknown format, a file that cannot be
// decoded, or one that holds no samples.
std::shared_ptr<SampleData> DecodeSound(const std::vector<uint8_t>& bytes);
