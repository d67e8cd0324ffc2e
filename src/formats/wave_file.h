// WaveFile: recordings as RIFF/WAVE files (plain file I/O, little-endian).
//
// Written layout (F = fmt size: 16 when the tag is 1 and there is no
// attribute, else 18 + N):
//   0  "RIFF", u32 file length - 8 (0 until closed), "WAVE"
//   12 "fmt ", u32 F, the 16-byte format record, then (F > 16) u16 N and
//      N attribute bytes
//   20+F "fact", u32 4, u32 0xFFFFFFFF while writing / 0 after a clean close
//   32+F "data", u32 sample bytes (0 until closed), interleaved 16-bit samples,
//        one zero pad byte after an odd-length data chunk.
//   then, when GUANO metadata is on, "guan", u32 text length, the GUANO text
//        (see guano_writer.h) and a zero pad byte when the length is odd; it is
//        written at close, so a crash-cut file simply has none.
// Reading walks top-level RIFF chunks: a "BSn0" form (an older header) gives a
// text at its offset 14 and E x 1000 at offset 52 from which an attribute is
// composed; the first "WAVE" form is read (other chunks such as LIST, id3 and
// guan are skipped); any other form is skipped. A file cut off by a crash
// (RIFF and data sizes 0, fact 0xFFFFFFFF) is read to the end of the file in
// whole frames, so its samples are not lost.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/format_record.h"

namespace hv {

class WaveFile : public RecordingFile {
 public:
  WaveFile() = default;
  ~WaveFile() override;
  WaveFile(const WaveFile&) = delete;
  WaveFile& operator=(const WaveFile&) = delete;

  uint32_t Open(const char* name, FormatWithAttribute* record, int mode) override;
  uint32_t Write(uint32_t count, const void* bytes, uint32_t* taken) override;
  uint32_t Read(void* buffer, uint32_t* bytesRead) override;
  uint32_t Close() override;
  bool IsOpen() const override { return file_ != nullptr; }

  // Reading: true when the file was a crash-cut recording read to its end.
  bool ReadToEndOfFile() const { return cutOff_; }
  // Reading: the format record with attribute (owned by the object).
  const FormatWithAttribute* ReadRecord() const { return readRecord_; }
  // Reading: where the samples start, how many bytes are delivered, and where
  // the fact value sits (0 when there is none).
  uint64_t DataOffset() const { return dataOffset_; }
  uint64_t DataSize() const { return dataSize_; }
  uint64_t FactValueOffset() const { return factValueOffset_; }
  // Writing: sample bytes written so far.
  uint64_t DataBytes() const override { return dataBytes_; }
  // Writing: counts `bytes` zero sample bytes as written without writing them:
  // the file gets a hole there (sparse where the file system allows). Lets a
  // test take a file to its size limit without writing gigabytes. Refused like
  // a write past the limit.
  uint32_t SkipZeroBytes(uint64_t bytes);

 private:
  uint32_t OpenWrite(const char* name, const FormatWithAttribute* record);
  uint32_t OpenRead(const char* name, FormatWithAttribute* record);
  void Abandon();
  bool WriteGuanoChunk();

  int mode_ = kClosed;
  std::FILE* file_ = nullptr;
  char* buffer_ = nullptr;  // the write buffer given to the stream
  // Writing: offsets of the RIFF size, fact value and data size fields.
  long riffSizeAt_ = 0, factValueAt_ = 0, dataSizeAt_ = 0;
  uint64_t dataBytes_ = 0;
  bool writeFailed_ = false;
  FormatWithAttribute writeRecord_;  // the record of the file being written
  // Reading.
  FormatWithAttribute* readRecord_ = nullptr;
  uint64_t bytesLeft_ = 0;
  bool cutOff_ = false;
  uint64_t dataOffset_ = 0, dataSize_ = 0, factValueOffset_ = 0;
};

// Composes the attribute of a file with an older "BSn0" header: E from the
// header's number (E x 1000), defaulted by the header rate when outside 1..16,
// and the header's text, shortened so the whole record fits the 512-byte room.
std::string ComposeBsn0Attribute(uint32_t headerRate, uint32_t eTimes1000, const std::string& text);

}  // namespace hv
