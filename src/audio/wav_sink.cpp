#include "audio/wav_sink.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "core/le_bytes.h"
#include "core/runtime.h"

namespace hv {

namespace {

// Data larger than this does not fit the 32-bit RIFF sizes; later bytes are dropped.
constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36 - 1;

}  // namespace

bool WavSink::Open(const std::string& path, const WaveFormat& format) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    // Said once per path: the sound output tries again every few seconds.
    static std::mutex lock;
    static std::string told;
    std::lock_guard<std::mutex> guard(lock);
    if (told != path) DiagPrint("Cannot create audio file %s: %s\n", path.c_str(), std::strerror(errno));
    told = path;
    return false;
  }
  path_ = path;
  dataBytes_ = 0;
  failed_ = false;
  uint8_t header[44] = {};
  std::memcpy(header, "RIFF", 4);
  std::memcpy(header + 8, "WAVE", 4);
  std::memcpy(header + 12, "fmt ", 4);
  PutLe32(header + 16, 16);
  PutWaveFormatFields(header + 20, format);
  std::memcpy(header + 36, "data", 4);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) {
    DiagPrint("Cannot write audio file %s\n", path.c_str());
    failed_ = true;
  }
  return !failed_;
}

bool WavSink::OpenToAppend(const std::string& path, const WaveFormat& format) {
  Close();
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (!f) return Open(path, format);
  uint8_t header[44];
  bool same = std::fread(header, 1, sizeof header, f) == sizeof header && std::memcmp(header, "RIFF", 4) == 0 &&
              std::memcmp(header + 8, "WAVE", 4) == 0 && std::memcmp(header + 12, "fmt ", 4) == 0 &&
              std::memcmp(header + 36, "data", 4) == 0;
  uint8_t want[16];
  PutWaveFormatFields(want, format);
  same = same && std::memcmp(header + 20, want, sizeof want) == 0;
  uint32_t data = GetLe32(header + 40);
  // The data chunk's own size (a pad byte after an odd count is overwritten).
  if (!same || std::fseek(f, 44 + static_cast<long>(data), SEEK_SET) != 0) {
    std::fclose(f);
    return Open(path, format);
  }
  file_ = f;
  path_ = path;
  dataBytes_ = data;
  failed_ = false;
  return true;
}

bool WavSink::Append(const uint8_t* bytes, uint32_t count) {
  if (!file_ || failed_) return false;
  if (dataBytes_ + count > kMaxData) count = static_cast<uint32_t>(kMaxData - dataBytes_);
  if (count == 0) return true;
  if (std::fwrite(bytes, 1, count, file_) != count) {
    DiagPrint("Cannot write audio file %s\n", path_.c_str());
    failed_ = true;
    return false;
  }
  dataBytes_ += count;
  return true;
}

bool WavSink::WriteSizes() {
  uint8_t size[4];
  uint64_t padded = dataBytes_ + (dataBytes_ & 1);
  long end = std::ftell(file_);
  PutLe32(size, static_cast<uint32_t>(36 + padded));
  bool ok = std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
  PutLe32(size, static_cast<uint32_t>(dataBytes_));
  ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
  ok = ok && end >= 0 && std::fseek(file_, end, SEEK_SET) == 0;
  return ok;
}

bool WavSink::Flush() {
  if (!file_) return false;
  bool ok = !failed_ && WriteSizes() && std::fflush(file_) == 0;
  return ok;
}

bool WavSink::Close() {
  if (!file_) return true;
  bool ok = !failed_;
  if (ok && (dataBytes_ & 1)) ok = std::fputc(0, file_) != EOF;
  ok = ok && WriteSizes();
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) DiagPrint("Audio file %s is incomplete\n", path_.c_str());
  return ok;
}

}  // namespace hv
