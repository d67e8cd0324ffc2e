// Writes the bytes a sound buffer plays to a WAV file.
//
// File layout (little-endian), the plain PCM form of RIFF WAVE:
//   "RIFF" u32 (file size - 8) "WAVE"
//   "fmt " u32 16, then u16 format tag (1, PCM), u16 channels, u32 sample rate,
//          u32 bytes per second, u16 block alignment, u16 bits per sample
//   "data" u32 byte count, then the samples (16-bit signed here), padded to an
//          even length when the count is odd.
// The two sizes are written as 0 when the file is opened and set by Close (and
// by each Flush), so a file cut off by a crash still shows the bytes written up
// to the last flush.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/wave_format.h"

namespace hv {

class WavSink {
 public:
  WavSink() = default;
  ~WavSink() { Close(); }
  WavSink(const WavSink&) = delete;
  WavSink& operator=(const WavSink&) = delete;

  // Creates (or truncates) `path`; false with a diagnostic when it can't.
  bool Open(const std::string& path, const WaveFormat& format);
  // Continues a file this writer's layout made earlier (same 44-byte header
  // form); creates it when it is missing or has another form.
  bool OpenToAppend(const std::string& path, const WaveFormat& format);
  bool IsOpen() const { return file_ != nullptr; }
  // Appends sample bytes; false on a write error (reported once).
  bool Append(const uint8_t* bytes, uint32_t count);
  // Sets the two sizes in the header and flushes, leaving the file open.
  bool Flush();
  // Pads, sets the sizes and closes. True when everything was written.
  bool Close();
  uint64_t DataBytes() const { return dataBytes_; }

 private:
  bool WriteSizes();

  std::FILE* file_ = nullptr;
  std::string path_;
  uint64_t dataBytes_ = 0;
  bool failed_ = false;
};

}  // namespace hv
