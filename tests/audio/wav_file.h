// Test helper: the samples of a 16-bit WAV file as the WAV
// sink and the wav: back end write it (a 44-byte header).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/files.h"

namespace hv::test {

// The data chunk's samples; empty unless the file is a RIFF file whose header
// sizes were finished (data size plus pad byte after the 44-byte header).
inline std::vector<int16_t> WavSamples(const std::string& path) {
  std::vector<uint8_t> b = ReadAllBytes(path);
  uint32_t data = Le32At(b, 40);
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 || b.size() != 44 + data + (data & 1)) return {};
  std::vector<int16_t> pcm(data / 2);
  std::memcpy(pcm.data(), b.data() + 44, pcm.size() * 2);
  return pcm;
}

}  // namespace hv::test
