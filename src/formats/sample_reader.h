// SampleReader: the samples of a recording, for the pictures and the call
// detector that go through a whole file. Opens the file with the first kind of
// recording file that accepts it (formats/recording_kinds.h), takes 16-bit PCM
// of any channel count and delivers the first channel as floats in sample
// units, in order, block by block; the frame count comes from the data chunk
// (WAV) or the stream header (WavPack).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/format_record.h"

namespace hv {

class SampleReader {
 public:
  SampleReader();
  ~SampleReader();
  SampleReader(const SampleReader&) = delete;
  SampleReader& operator=(const SampleReader&) = delete;

  // False with a reason when the file cannot be read or is not 16-bit PCM.
  bool Open(const std::string& path, std::string* error);
  const FormatWithAttribute& Record() const { return record_; }
  uint64_t Frames() const { return frames_; }
  bool IsWavPack() const { return wavPack_; }
  // The GUANO text of a WavPack stream's tag (WAV files: read the guan chunk).
  const std::string& WavPackGuano() const;
  // Appends up to `count` samples of the first channel to `out`; 0 at the end.
  size_t ReadSamples(size_t count, std::vector<float>* out);

 private:
  std::unique_ptr<RecordingFile> file_;
  FormatWithAttribute record_;
  uint64_t frames_ = 0;
  bool wavPack_ = false;
  uint8_t pending_[1024 + 64];  // bytes read but not yet a whole frame
  size_t pendingBytes_ = 0;
  bool ended_ = false;
};

}  // namespace hv
