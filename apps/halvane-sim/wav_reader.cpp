#include "wav_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/le_bytes.h"

namespace hv::sim {

bool ParseWav(const uint8_t* bytes, size_t size, WavSamples* out, std::string* error) {
  auto fail = [&](const char* text) {
    if (error) *error = text;
    return false;
  };
  if (!bytes || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
    return fail("not a WAV file");
  bool haveFormat = false;
  uint16_t bits = 0, block = 0;
  size_t at = 12;
  while (size - at >= 8) {
    const uint8_t* chunk = bytes + at;
    uint64_t length = GetLe32(chunk + 4);
    size_t body = at + 8;
    size_t available = size - body;
    size_t usable = length < available ? static_cast<size_t>(length) : available;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (usable < 16) return fail("format chunk too short");
      uint16_t tag = GetLe16(bytes + body);
      out->channels = GetLe16(bytes + body + 2);
      out->sampleRate = GetLe32(bytes + body + 4);
      block = GetLe16(bytes + body + 12);
      bits = GetLe16(bytes + body + 14);
      if ((tag != 1 && tag != 0xFFFE) || bits != 16 || out->channels == 0 || block != 2u * out->channels)
        return fail("only 16-bit PCM recordings can be sent");
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return fail("data before the format chunk");
      size_t frames = usable / block;
      out->firstChannel.resize(frames);
      for (size_t i = 0; i < frames; ++i)
        out->firstChannel[i] = static_cast<int16_t>(GetLe16(bytes + body + i * block));
      return true;
    }
    uint64_t next = uint64_t(body) + length + (length & 1);
    if (next >= size) break;
    at = static_cast<size_t>(next);
  }
  return fail(haveFormat ? "no data chunk" : "no format chunk");
}

bool ReadWavFile(const std::string& path, WavSamples* out, std::string* error) {
  // Never waits in the open (a named pipe without a writer would), and reads
  // only a regular file.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    if (error) *error = "cannot open " + path + ": not a regular file";
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      const int reason = n < 0 ? errno : 0;
      close(fd);
      if (reason) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(reason);
        return false;
      }
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return ParseWav(bytes.data(), bytes.size(), out, error);
}

}  // namespace hv::sim
