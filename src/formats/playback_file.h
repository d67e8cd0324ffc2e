// The file a replay reads: opened as a WAV file first and, when that fails, as
// a WavPack file, the two readers of the recording subsystem. Either way the
// caller sees the header's format record, the attribute record bytes (none when
// the file has none) and reads of at most 1024 sample bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/wave_format.h"

namespace hv {

class WaveFile;
class WavPackFile;

class PlaybackFile {
 public:
  PlaybackFile();
  ~PlaybackFile();
  PlaybackFile(const PlaybackFile&) = delete;
  PlaybackFile& operator=(const PlaybackFile&) = delete;

  // Closes an open file first. False when the path is not a regular file (a
  // named pipe would block the reader for ever) or neither reader accepts it;
  // Error() then says why.
  bool Open(const std::string& path);
  const std::string& Error() const { return error_; }
  bool IsOpen() const { return open_ != kNone; }
  bool IsWavPack() const { return open_ == kWavPack; }
  const WaveFormat& Format() const { return format_; }
  // The attribute record's bytes (its length N is even, at most 512).
  const std::string& Attribute() const { return attribute_; }
  // Reads up to 1024 bytes into `buffer` (room for 1024); 0 bytes at the end.
  uint32_t Read(uint8_t* buffer, uint32_t* bytes);
  uint32_t Close();

 private:
  enum Kind { kNone, kWave, kWavPack };
  std::unique_ptr<WaveFile> wave_;
  std::unique_ptr<WavPackFile> wavPack_;
  Kind open_ = kNone;
  WaveFormat format_;
  std::string attribute_;
  std::string error_;
};

}  // namespace hv
