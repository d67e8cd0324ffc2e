#include "formats/wave_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/le_bytes.h"
#include "formats/guano_writer.h"

namespace hv {

namespace {

constexpr size_t kWriteBufferBytes = 1 << 16;
constexpr uint32_t kFactWriting = 0xFFFFFFFFu;

bool WriteAll(std::FILE* f, const void* bytes, size_t count) {
  return count == 0 || std::fwrite(bytes, 1, count, f) == count;
}

bool ReadAt(std::FILE* f, uint64_t offset, void* dest, size_t count) {
  if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return count == 0 || std::fread(dest, 1, count, f) == count;
}

bool PatchLe32(std::FILE* f, long offset, uint32_t value) {
  uint8_t b[4];
  PutLe32(b, value);
  return fseek(f, offset, SEEK_SET) == 0 && WriteAll(f, b, 4);
}

}  // namespace

std::string ComposeBsn0Attribute(uint32_t headerRate, uint32_t eTimes1000, const std::string& text) {
  long e = static_cast<long>(eTimes1000 / 1000);
  if (e < 1 || e > 16) e = headerRate <= 48000 ? 10 : 1;
  long k = static_cast<long>((uint64_t(headerRate) * uint64_t(e)) / 1000);
  char head[96];
  int headLength = std::snprintf(head, sizeof head, "MMMMMMMMM(#%ld#)<&%ld&>[!%ld!]", long(headerRate), e, k);
  const std::string tail = "MMMMMMMMM ";
  // The record may take 513 characters: rounding to even drops only the space.
  size_t room = kAttributeRoom + 1 - size_t(headLength) - tail.size();
  return std::string(head, size_t(headLength)) + text.substr(0, room) + tail;
}

WaveFile::~WaveFile() {
  Close();
  delete readRecord_;
}

uint32_t WaveFile::Open(const char* name, FormatWithAttribute* record, int mode) {
  if (!name || !*name || !record) return kFileBadArgument;
  if (file_) Close();
  if (mode == kWrite) return OpenWrite(name, record);
  if (mode == kRead) return OpenRead(name, record);
  return kFileBadArgument;
}

void WaveFile::Abandon() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  delete[] buffer_;
  buffer_ = nullptr;
  mode_ = kClosed;
}

uint32_t WaveFile::OpenWrite(const char* name, const FormatWithAttribute* record) {
  int n = record->format.extraSize;
  if (n > kAttributeRoom) return kFileBadArgument;
  systemError_ = 0;
  // Created exclusively: an existing file (another recording that took the
  // same name) is never truncated.
  const int fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    systemError_ = errno;
    return errno == EEXIST ? kFileExists : kFileFail;
  }
  file_ = fdopen(fd, "w+b");
  if (!file_) {
    systemError_ = errno;
    ::close(fd);
    unlink(name);
    return kFileFail;
  }
  buffer_ = new char[kWriteBufferBytes];
  setvbuf(file_, buffer_, _IOFBF, kWriteBufferBytes);
  mode_ = kWrite;
  writeRecord_ = *record;
  dataBytes_ = 0;
  writeFailed_ = false;

  uint32_t fmtSize = (record->format.formatTag == 1 && n == 0) ? 16 : uint32_t(18 + n);
  std::vector<uint8_t> h(12 + 8 + fmtSize + 12 + 8, 0);
  uint8_t* p = h.data();
  std::memcpy(p, "RIFF", 4);
  PutLe32(p + 4, 0);
  std::memcpy(p + 8, "WAVE", 4);
  std::memcpy(p + 12, "fmt ", 4);
  PutLe32(p + 16, fmtSize);
  PutWaveFormatFields(p + 20, record->format);
  if (fmtSize > 16) {
    PutLe16(p + 36, static_cast<uint16_t>(n));
    std::memcpy(p + 38, record->attribute, size_t(n));
  }
  uint8_t* fact = p + 20 + fmtSize;
  std::memcpy(fact, "fact", 4);
  PutLe32(fact + 4, 4);
  PutLe32(fact + 8, kFactWriting);
  std::memcpy(fact + 12, "data", 4);
  PutLe32(fact + 16, 0);
  riffSizeAt_ = 4;
  factValueAt_ = long(28 + fmtSize);
  dataSizeAt_ = long(36 + fmtSize);
  if (!WriteAll(file_, h.data(), h.size()) || std::fflush(file_) != 0) {
    systemError_ = errno;
    Abandon();
    unlink(name);  // ours, made above, and holding no samples
    return kFileFail;
  }
  return kFileOk;
}

uint32_t WaveFile::Write(uint32_t count, const void* bytes, uint32_t* taken) {
  if (taken) *taken = 0;
  if (!file_ || mode_ != kWrite) return kFileNotInitialized;
  if (!bytes && count) return kFileBadArgument;
  if (writeFailed_) return kFileFail;
  if (dataBytes_ + count > kMaxRecordingDataBytes) {
    systemError_ = EFBIG;
    return kFileFail;
  }
  size_t written = count ? std::fwrite(bytes, 1, count, file_) : 0;
  dataBytes_ += written;
  if (taken) *taken = static_cast<uint32_t>(written);
  if (written != count) {
    systemError_ = errno;
    writeFailed_ = true;
    return kFileFail;
  }
  return kFileOk;
}

uint32_t WaveFile::SkipZeroBytes(uint64_t bytes) {
  if (!file_ || mode_ != kWrite) return kFileNotInitialized;
  if (writeFailed_ || dataBytes_ + bytes > kMaxRecordingDataBytes) return kFileFail;
  if (bytes == 0) return kFileOk;
  // The last byte of the hole is written, so the file reaches past the hole
  // even when nothing follows it.
  if (std::fflush(file_) != 0 || fseeko(file_, static_cast<off_t>(bytes - 1), SEEK_CUR) != 0 ||
      !WriteAll(file_, "\0", 1)) {
    writeFailed_ = true;
    return kFileFail;
  }
  dataBytes_ += bytes;
  return kFileOk;
}

uint32_t WaveFile::Close() {
  if (!file_) {
    mode_ = kClosed;
    return kFileNotInitialized;
  }
  if (mode_ != kWrite) {
    Abandon();
    return kFileOk;
  }
  bool ok = !writeFailed_;
  // Each step runs only while the ones before succeeded; the first failure's
  // system error is kept.
  auto step = [&](bool done) {
    if (ok && !done) {
      ok = false;
      systemError_ = errno;
    }
  };
  // Data chunk: its size, then the pad byte of an odd length.
  if (ok && (dataBytes_ & 1)) step(WriteAll(file_, "\0", 1));
  if (ok && guanoMetadata_) step(WriteGuanoChunk());
  if (ok) step(std::fflush(file_) == 0);
  long length = -1;
  if (ok) step(fseek(file_, 0, SEEK_END) == 0 && (length = ftell(file_)) >= 0);
  // Sizes that do not fit their 32-bit fields are refused, never cut.
  if (ok && (length < 8 || uint64_t(length) - 8 > 0xFFFFFFFFull)) {
    ok = false;
    systemError_ = EFBIG;
  }
  if (ok) step(PatchLe32(file_, dataSizeAt_, static_cast<uint32_t>(dataBytes_)));
  if (ok) step(PatchLe32(file_, riffSizeAt_, static_cast<uint32_t>(length - 8)));
  if (ok) step(PatchLe32(file_, factValueAt_, 0));
  if (ok) step(std::fflush(file_) == 0);
  step(std::fclose(file_) == 0);
  file_ = nullptr;
  delete[] buffer_;
  buffer_ = nullptr;
  mode_ = kClosed;
  return ok ? kFileOk : kFileFail;
}

bool WaveFile::WriteGuanoChunk() {
  const uint32_t block = writeRecord_.format.blockAlign ? writeRecord_.format.blockAlign : 1;
  const std::string text = ComposeGuanoText(writeRecord_, dataBytes_ / block, guanoExtra_);
  uint8_t head[8];
  std::memcpy(head, "guan", 4);
  PutLe32(head + 4, static_cast<uint32_t>(text.size()));
  return WriteAll(file_, head, 8) && WriteAll(file_, text.data(), text.size()) &&
         ((text.size() & 1) == 0 || WriteAll(file_, "\0", 1));
}

uint32_t WaveFile::OpenRead(const char* name, FormatWithAttribute* record) {
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return kFileFail;
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return kFileFail;
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  auto fail = [&]() {
    std::fclose(f);
    return kFileFail;
  };

  bool haveBsn = false;
  std::string bsnText;
  uint32_t bsnNumber = 0;
  uint64_t pos = 0;
  for (;;) {
    uint8_t head[12];
    if (pos + 12 > fileSize || !ReadAt(f, pos, head, 12)) return fail();
    if (std::memcmp(head, "RIFF", 4) != 0) return fail();
    uint32_t riffSize = GetLe32(head + 4);
    // A size of 0 is a recording cut off before its close: the form runs to the end.
    uint64_t formEnd = riffSize == 0 ? fileSize : pos + 8 + riffSize;
    if (formEnd > fileSize) formEnd = fileSize;
    uint64_t next = pos + 8 + uint64_t(riffSize) + (riffSize & 1);
    if (riffSize == 0) next = fileSize;

    if (std::memcmp(head + 8, "BSn0", 4) == 0) {
      // Older header: text from offset 14 (NUL-terminated), E x 1000 at 52..53.
      uint64_t start = pos + 12;
      size_t avail = formEnd > start ? size_t(std::min<uint64_t>(formEnd - start, 14 + 512 + 1)) : 0;
      std::vector<uint8_t> d(avail);
      if (avail && !ReadAt(f, start, d.data(), avail)) return fail();
      haveBsn = true;
      bsnText.clear();
      if (avail > 14) {
        size_t end = 14;
        while (end < avail && d[end] != 0) ++end;
        if (end - 14 < size_t(kAttributeRoom)) bsnText.assign(reinterpret_cast<char*>(&d[14]), end - 14);
      }
      bsnNumber = avail >= 54 ? GetLe16(&d[52]) : 0;
      pos = next;
      continue;
    }
    if (std::memcmp(head + 8, "WAVE", 4) != 0) {
      pos = next;
      continue;
    }

    // The WAVE form: fmt, optional fact, data.
    bool haveFmt = false, haveData = false;
    uint32_t factValue = 0;
    uint64_t factAt = 0;
    bool haveFact = false;
    uint64_t dataStart = 0, dataSize = 0;
    uint32_t declaredDataSize = 0;
    FormatWithAttribute* rec = new FormatWithAttribute;
    for (uint64_t p = pos + 12; p + 8 <= formEnd;) {
      uint8_t ch[8];
      if (!ReadAt(f, p, ch, 8)) break;
      uint32_t size = GetLe32(ch + 4);
      uint64_t body = p + 8;
      if (!haveFmt && std::memcmp(ch, "fmt ", 4) == 0) {
        uint8_t b[18];
        if (size < 16 || body + size > fileSize || !ReadAt(f, body, b, 16)) {
          delete rec;
          return fail();
        }
        WaveFormat& w = rec->format;
        w = GetWaveFormatFields(b);
        if (haveBsn) {
          rec->SetAttribute(ComposeBsn0Attribute(w.sampleRate, bsnNumber, bsnText));
        } else if (size <= 18) {
          if (w.formatTag != 1) {
            delete rec;
            return fail();
          }
        } else {
          uint16_t n = 0;
          if (!ReadAt(f, body + 16, b + 16, 2)) {
            delete rec;
            return fail();
          }
          n = GetLe16(b + 16);
          if (n > kAttributeRoom || 18u + n > size || !ReadAt(f, body + 18, rec->attribute, n)) {
            delete rec;
            return fail();
          }
          w.extraSize = n;
        }
        haveFmt = true;
      } else if (std::memcmp(ch, "fact", 4) == 0 && size >= 4 && !haveFact) {
        uint8_t b[4];
        if (ReadAt(f, body, b, 4)) {
          factValue = GetLe32(b);
          factAt = body;
          haveFact = true;
        }
      } else if (std::memcmp(ch, "data", 4) == 0 && !haveData) {
        haveData = true;
        dataStart = body;
        declaredDataSize = size;
        dataSize = size;
      }
      if (haveFmt && haveData) break;
      p = body + uint64_t(size) + (size & 1);
    }
    if (!haveFmt || !haveData) {
      delete rec;
      return fail();
    }
    cutOff_ = false;
    if (riffSize == 0 && declaredDataSize == 0 && haveFact && factValue == kFactWriting) {
      uint32_t block = rec->format.blockAlign ? rec->format.blockAlign : 1;
      dataSize = (fileSize - dataStart) / block * block;
      cutOff_ = true;
    } else if (dataStart + dataSize > fileSize) {
      delete rec;
      return fail();
    }
    if (!ReadAt(f, dataStart, nullptr, 0)) {
      delete rec;
      return fail();
    }
    delete readRecord_;
    readRecord_ = rec;
    *record = *rec;
    file_ = f;
    mode_ = kRead;
    bytesLeft_ = dataSize;
    dataOffset_ = dataStart;
    dataSize_ = dataSize;
    factValueOffset_ = haveFact ? factAt : 0;
    return kFileOk;
  }
}

uint32_t WaveFile::Read(void* buffer, uint32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (!file_ || mode_ != kRead) return kFileNotInitialized;
  if (!buffer) return kFileBadArgument;
  size_t want = bytesLeft_ < 1024 ? size_t(bytesLeft_) : 1024;
  size_t got = want ? std::fread(buffer, 1, want, file_) : 0;
  bytesLeft_ = got == want ? bytesLeft_ - got : 0;
  if (bytesRead) *bytesRead = static_cast<uint32_t>(got);
  return kFileOk;
}

}  // namespace hv
