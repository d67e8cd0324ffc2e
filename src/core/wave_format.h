// The 18-byte wave-format record that describes every conduit and every
// recording, little-endian, in the layout of the classic WAVEFORMATEX:
//   offset 0  u16 format tag (1 = PCM in every record the program makes)
//   offset 2  u16 channels
//   offset 4  u32 sample rate (samples or frames per second)
//   offset 8  u32 average bytes per second (rate x block size)
//   offset 12 u16 block alignment (bytes per frame)
//   offset 14 u16 bits per sample (16, 32, or 2176 for analysis frames)
//   offset 16 u16 extra size (0)
#pragma once

#include <cstdint>

#include "core/le_bytes.h"

namespace hv {

#pragma pack(push, 2)
struct WaveFormat {
  uint16_t formatTag = 1;
  uint16_t channels = 1;
  uint32_t sampleRate = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "wave-format record is 18 bytes");

// A record of tag 1, extra 0, with bytes per second derived from rate x block.
inline WaveFormat MakeWaveFormat(uint32_t rate, uint16_t channels, uint16_t block, uint16_t bits) {
  WaveFormat f;
  f.formatTag = 1;
  f.channels = channels;
  f.sampleRate = rate;
  f.blockAlign = block;
  f.bitsPerSample = bits;
  f.avgBytesPerSec = rate * block;
  f.extraSize = 0;
  return f;
}

// The record's first 16 bytes (tag to bits per sample) at `p`, little-endian,
// as a WAV file's fmt chunk begins.
inline void PutWaveFormatFields(uint8_t* p, const WaveFormat& f) {
  PutLe16(p, f.formatTag);
  PutLe16(p + 2, f.channels);
  PutLe32(p + 4, f.sampleRate);
  PutLe32(p + 8, f.avgBytesPerSec);
  PutLe16(p + 12, f.blockAlign);
  PutLe16(p + 14, f.bitsPerSample);
}

// The record read from the 16 bytes PutWaveFormatFields writes (extra size 0).
inline WaveFormat GetWaveFormatFields(const uint8_t* p) {
  WaveFormat f;
  f.formatTag = GetLe16(p);
  f.channels = GetLe16(p + 2);
  f.sampleRate = GetLe32(p + 4);
  f.avgBytesPerSec = GetLe32(p + 8);
  f.blockAlign = GetLe16(p + 12);
  f.bitsPerSample = GetLe16(p + 14);
  f.extraSize = 0;
  return f;
}

inline bool operator==(const WaveFormat& a, const WaveFormat& b) {
  return a.formatTag == b.formatTag && a.channels == b.channels && a.sampleRate == b.sampleRate &&
         a.avgBytesPerSec == b.avgBytesPerSec && a.blockAlign == b.blockAlign &&
         a.bitsPerSample == b.bitsPerSample && a.extraSize == b.extraSize;
}

}  // namespace hv
