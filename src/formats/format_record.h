// The format record with attribute: the 18-byte wave-format record followed by
// up to 512 bytes of attribute text (the record's extra-size field holds their
// count N, always even, no terminating NUL inside the N bytes). Every recorder
// and reader passes a recording's format this way; 530 bytes in all.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "core/wave_format.h"

namespace hv {

constexpr int kAttributeRoom = 512;

// The most sample bytes one recording file takes: 4 GiB less 4 KiB, a whole
// number of frames of 2, 4 or 8 bytes. A WAV file's sizes are 32-bit (RIFF
// size = file length - 8), and besides the samples it holds at most 58 + 512
// header bytes and a GUANO chunk of well under 3 KiB; the RIFF wrapper of a
// WavPack file describes the samples the same way. The file objects refuse a
// write past it, and the stream recorder goes on in a new file before it.
constexpr uint64_t kMaxRecordingDataBytes = 0xFFFFF000ull;

// Results of the file objects (the conduit's status values).
constexpr uint32_t kFileOk = 0;
constexpr uint32_t kFileFail = 0x80004005;
constexpr uint32_t kFileBadArgument = 0x80070057;
constexpr uint32_t kFileNotInitialized = 0x800401F0;
// An open for writing met a file of that name (nothing was touched).
constexpr uint32_t kFileExists = 0x80070050;

// Packed to the wave-format record's own 2-byte alignment: no padding, and the
// record inside always sits where its fields may be read.
#pragma pack(push, 2)
struct FormatWithAttribute {
  WaveFormat format;
  char attribute[kAttributeRoom];

  FormatWithAttribute() { std::memset(attribute, 0, sizeof attribute); }
  int AttributeLength() const { return format.extraSize <= kAttributeRoom ? format.extraSize : kAttributeRoom; }
  std::string AttributeText() const { return std::string(attribute, AttributeLength()); }
  // Stores `text` cut to the room and rounded down to an even length.
  void SetAttribute(const std::string& text) {
    size_t n = text.size() > size_t(kAttributeRoom) ? size_t(kAttributeRoom) : text.size();
    n &= ~size_t(1);
    std::memset(attribute, 0, sizeof attribute);
    std::memcpy(attribute, text.data(), n);
    format.extraSize = static_cast<uint16_t>(n);
  }
};
#pragma pack(pop)
static_assert(sizeof(FormatWithAttribute) == 530, "format record with attribute is 530 bytes");

// The recording file objects' shared interface (WAV and WavPack).
class RecordingFile {
 public:
  enum Mode : int { kClosed = 0, kRead = 1, kWrite = 2 };
  virtual ~RecordingFile() = default;
  // Write: creates `name` and writes the headers (the record is copied). A
  // file of that name is never opened for writing: kFileExists, untouched.
  // Read: fills `record` with the file's format and attribute.
  virtual uint32_t Open(const char* name, FormatWithAttribute* record, int mode) = 0;
  // Appends up to `count` bytes; `taken` receives the bytes accepted.
  virtual uint32_t Write(uint32_t count, const void* bytes, uint32_t* taken) = 0;
  // Reads at most 1024 bytes into `buffer` (which holds at least 1024); 0 at the end.
  virtual uint32_t Read(void* buffer, uint32_t* bytesRead) = 0;
  // Write: completes the headers and the file. Read: releases the file.
  virtual uint32_t Close() = 0;
  virtual bool IsOpen() const = 0;
  // Writing: sample bytes taken so far (never more than kMaxRecordingDataBytes).
  virtual uint64_t DataBytes() const = 0;
  // Write: whether Close adds GUANO metadata (off unless a recorder asks for it).
  void SetGuanoMetadata(bool on) { guanoMetadata_ = on; }
  // Write: further GUANO lines ("Key: value\n" each, see GuanoField) that
  // Close adds to the text; set before Close.
  void SetGuanoExtra(const std::string& lines) { guanoExtra_ = lines; }
  // The system's error number of the last failed open, write or close (0 when
  // the failure had none, such as a bad argument).
  int SystemError() const { return systemError_; }

 protected:
  bool guanoMetadata_ = false;
  std::string guanoExtra_;
  int systemError_ = 0;
};

}  // namespace hv
