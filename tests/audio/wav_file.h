// Test helper: a file's bytes, and the samples of a 16-bit WAV file as the WAV
// sink and the wav: back end write it (a 44-byte header).
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hv::test {

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  if (b.size() >= at + 4) std::memcpy(&v, b.data() + at, 4);
  return v;
}

// The data chunk's samples; empty unless the file is a RIFF file whose header
// sizes were finished (data size plus pad byte after the 44-byte header).
inline std::vector<int16_t> WavSamples(const std::string& path) {
  std::vector<uint8_t> b = FileBytes(path);
  uint32_t data = U32At(b, 40);
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 || b.size() != 44 + data + (data & 1)) return {};
  std::vector<int16_t> pcm(data / 2);
  std::memcpy(pcm.data(), b.data() + 44, pcm.size() * 2);
  return pcm;
}

}  // namespace hv::test
