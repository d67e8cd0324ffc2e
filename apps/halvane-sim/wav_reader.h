// Reads the samples of a 16-bit PCM WAV recording for the simulator.
//
// A WAV file is a RIFF container: "RIFF", u32 size, "WAVE", then chunks of
// 4-byte id, u32 little-endian size and data padded to an even length. The
// "fmt " chunk (at least 16 bytes) holds u16 format tag (1 = PCM, or 0xFFFE
// extensible), u16 channels, u32 rate, u32 bytes per second, u16 block align,
// u16 bits per sample; larger fmt chunks (recordings that carry an attribute
// record there) are fine. The "data" chunk holds interleaved little-endian
// samples. Sizes that run past the end of the file are cut to what is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hv::sim {

struct WavSamples {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  std::vector<int16_t> firstChannel;
};

// Parses a whole file image. False with `error` set for anything but 16-bit PCM.
bool ParseWav(const uint8_t* bytes, size_t size, WavSamples* out, std::string* error);
bool ReadWavFile(const std::string& path, WavSamples* out, std::string* error);

}  // namespace hv::sim
