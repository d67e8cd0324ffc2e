// The file a replay reads: opened by the first kind of recording file that
// accepts it (formats/recording_kinds.h). Whatever the kind, the caller sees
// the header's format record, the attribute record bytes (none when the file
// has none) and reads of at most 1024 sample bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/wave_format.h"

namespace hv {

class RecordingFile;
struct RecordingKind;

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
  bool IsOpen() const { return file_ != nullptr; }
  bool IsWavPack() const;
  const WaveFormat& Format() const { return format_; }
  // The attribute record's bytes (its length N is even, at most 512).
  const std::string& Attribute() const { return attribute_; }
  // Reads up to 1024 bytes into `buffer` (room for 1024); 0 bytes at the end.
  uint32_t Read(uint8_t* buffer, uint32_t* bytes);
  uint32_t Close();

 private:
  std::unique_ptr<RecordingFile> file_;
  const RecordingKind* kind_ = nullptr;
  WaveFormat format_;
  std::string attribute_;
  std::string error_;
};

}  // namespace hv
