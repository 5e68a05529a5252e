#include "wav_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace snd {

namespace {

void put_u32(std::vector<char>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xffu));
}

void put_u16(std::vector<char>& b, uint16_t v) {
    b.push_back(static_cast<char>(v & 0xffu));
    b.push_back(static_cast<char>(v >> 8));
}

void write_interleaved(const std::string& path, const std::vector<float>& samples, uint16_t channels) {
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * sizeof(float));
    std::vector<char> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put_u32(b, 36 + data_bytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_u32(b, 16);
    put_u16(b, 3);  // IEEE float
    put_u16(b, channels);
    put_u32(b, kRate);
    put_u32(b, kRate * channels * 4u);
    put_u16(b, static_cast<uint16_t>(channels * 4));
    put_u16(b, 32);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put_u32(b, data_bytes);
    const size_t head = b.size();
    b.resize(head + data_bytes);
    std::memcpy(b.data() + head, samples.data(), data_bytes);  // x86-64 floats are little-endian
    std::ofstream out(path, std::ios::binary);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void write_wav(const std::string& path, const Mono& m) { write_interleaved(path, m, 1); }

void write_wav(const std::string& path, const Stereo& s) {
    std::vector<float> v(2 * s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        v[2 * i] = s.l[i];
        v[2 * i + 1] = s.r[i];
    }
    write_interleaved(path, v, 2);
}

}  // namespace snd
