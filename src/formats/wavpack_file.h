// WavPackFile: recordings as WavPack streams through the WavPack library.
//
// Writing: a lossless stream with the library's default RIFF wrapper, made by
// our own block writer, then an APEv2 tag with a text item "SONO_ATTR" holding
// the N attribute bytes (when the record has an attribute) and, when GUANO
// metadata is on, a text item "GUANO" with the GUANO text. The total
// sample count is unknown while writing; at close the first block is read
// back, patched with the real count (WavpackUpdateNumSamples) and written in
// place. Reading: WavpackOpenFileInput with tags, wrapper and normalisation
// (float streams normalised to +/-32768); samples are delivered as 16-bit
// little-endian (deeper integer streams by their top 16 bits, float streams
// rounded and clamped), 8-bit streams as their low byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/format_record.h"

struct WavpackContext;

namespace hv {

class WavPackFile : public RecordingFile {
 public:
  WavPackFile() = default;
  ~WavPackFile() override;
  WavPackFile(const WavPackFile&) = delete;
  WavPackFile& operator=(const WavPackFile&) = delete;

  uint32_t Open(const char* name, FormatWithAttribute* record, int mode) override;
  uint32_t Write(uint32_t count, const void* bytes, uint32_t* taken) override;
  uint32_t Read(void* buffer, uint32_t* bytesRead) override;
  uint32_t Close() override;
  bool IsOpen() const override { return context_ != nullptr; }

  // Writing: sample bytes taken so far (before compression).
  uint64_t DataBytes() const override { return dataBytes_; }
  // Writing: bytes of blocks written so far (the file's length).
  uint64_t BytesWritten() const { return totalWritten_; }
  // Reading: the file length reported by the library.
  uint32_t FileLength() const { return fileLength_; }
  // Reading: the text of the "GUANO" tag item, empty when there is none.
  const std::string& GuanoText() const { return guanoText_; }
  // Reading: sample frames in the stream, -1 when the stream does not say.
  int64_t FrameCount() const { return frameCount_; }

 private:
  static int BlockWriter(void* id, void* data, int32_t count);
  uint32_t OpenWrite(const char* name, const FormatWithAttribute* record);
  uint32_t OpenRead(const char* name, FormatWithAttribute* record);
  bool PatchFirstBlock();

  FormatWithAttribute record_;
  WavpackContext* context_ = nullptr;
  int mode_ = kClosed;
  // Reading.
  uint32_t fileLength_ = 0;
  std::string guanoText_;
  int64_t frameCount_ = -1;
  int readBits_ = 16;        // bits per sample of the stream being read
  bool readFloat_ = false;   // the stream holds normalised floats
  int outBytesPerSample_ = 2;
  // Writing.
  std::FILE* out_ = nullptr;
  uint64_t totalWritten_ = 0;
  uint64_t dataBytes_ = 0;
  uint32_t firstBlockLength_ = 0;
  bool writeError_ = false;
  std::vector<int32_t> samples_;  // grown on demand, never shrunk
};

}  // namespace hv
