// Test helpers for recording files: writing and reading them whole, listing
// them in a folder, taking their attribute record apart, and running work in a
// child process that ends like a crash or meets a full disk.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/format_record.h"
#include "formats/guano_chunk.h"
#include "formats/sono_attribute.h"
#include "formats/wave_file.h"
#include "support/files.h"

namespace hv {

// A record of `rate` Hz, `channels` x `bits` bits in frames of `bytes`, with
// `attribute` (none when empty).
inline FormatWithAttribute MakeRecord(uint32_t rate, const std::string& attribute = "", uint16_t channels = 1,
                                      uint16_t bytes = 2, uint16_t bits = 16) {
  FormatWithAttribute r;
  r.format = MakeWaveFormat(rate, channels, bytes, bits);
  r.SetAttribute(attribute);
  return r;
}

// `count` 16-bit samples of noise from `seed` (noise hardly compresses).
inline std::vector<uint8_t> NoiseSamples(size_t count, uint32_t seed = 1) {
  std::vector<uint8_t> b(count * 2);
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    PutLe16(&b[2 * i], uint16_t(seed >> 16));
  }
  return b;
}

// Every byte an open file delivers, read 1024 bytes at most at a time.
inline std::vector<uint8_t> ReadAllSamples(RecordingFile& f) {
  std::vector<uint8_t> all;
  uint8_t buf[1024];
  uint32_t got = 0;
  while (f.Read(buf, &got) == kFileOk && got > 0) {
    EXPECT_LE(got, 1024u);
    all.insert(all.end(), buf, buf + got);
  }
  return all;
}

// Writes `bytes` as a `File` in writes of `piece` bytes (with GUANO metadata
// when `guano`), replacing a file at `path` (the file objects themselves never
// open an existing file); true when the open, every write (taking all it was
// given) and the close succeed.
template <class File>
bool WriteRecording(const std::string& path, FormatWithAttribute record, const std::vector<uint8_t>& bytes,
                    bool guano = false, size_t piece = SIZE_MAX) {
  std::filesystem::remove(path);
  File f;
  f.SetGuanoMetadata(guano);
  if (f.Open(path.c_str(), &record, RecordingFile::kWrite) != kFileOk) return false;
  for (size_t at = 0; at < bytes.size(); at += piece) {
    uint32_t n = uint32_t(std::min(piece, bytes.size() - at)), taken = 0;
    if (f.Write(n, &bytes[at], &taken) != kFileOk || taken != n) return false;
  }
  return f.Close() == kFileOk;
}

// Opens `path` as a `File` for reading: its record in `*record`, every byte it
// delivers in `*bytes`. False when it does not open.
template <class File>
bool ReadRecording(const std::string& path, FormatWithAttribute* record, std::vector<uint8_t>* bytes) {
  File f;
  if (f.Open(path.c_str(), record, RecordingFile::kRead) != kFileOk) return false;
  *bytes = ReadAllSamples(f);
  return true;
}

// Reads a finished WAV recording's samples as 16-bit values.
inline std::vector<uint16_t> WaveSamples(const std::string& path, FormatWithAttribute* record) {
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> out;
  if (ReadRecording<WaveFile>(path, record, &bytes))
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(uint16_t(bytes[i] | bytes[i + 1] << 8));
  return out;
}

// Success when `path` has GUANO text holding every one of `lines`.
inline ::testing::AssertionResult GuanoHas(const std::string& path, std::initializer_list<std::string> lines) {
  std::string guano;
  if (!ReadGuanoText(path, &guano)) return ::testing::AssertionFailure() << "no GUANO in " << path;
  for (const std::string& line : lines)
    if (guano.find(line) == std::string::npos) return ::testing::AssertionFailure() << "no " << line << " in\n" << guano;
  return ::testing::AssertionSuccess();
}

// True when every sample follows its predecessor by one (a stretch of the counter).
inline bool Unbroken(const std::vector<uint16_t>& s) {
  for (size_t i = 1; i < s.size(); ++i)
    if (uint16_t(s[i - 1] + 1) != s[i]) return false;
  return !s.empty();
}

// The files in `folder` whose names end with `suffix`, sorted.
inline std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    std::string p = e.path().string();
    if (p.size() >= suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0)
      out.push_back(p);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// An attribute record taken apart. `e` starts at the caller's preset, since
// the parser keeps it when the record has no E field.
struct AttributeParts {
  bool ok = false;
  int64_t r = -1, e = 0, k = -1;
  std::string body;
};

inline AttributeParts ParseAttribute(const std::string& text, int64_t presetE = 0) {
  AttributeParts p;
  p.e = presetE;
  SonoAttribute a;
  p.ok = a.ParseRecord(int(text.size()), text.data(), &p.r, &p.e, &p.k, &p.body);
  return p;
}

// The value of `key` in an attribute body, or nothing when it has none.
inline std::optional<std::string> Field(const std::string& body, const char* key) {
  SonoAttribute a;
  std::string v;
  if (!a.GetField(key, body, &v)) return std::nullopt;
  return v;
}

// Runs `work` in a forked child and returns its exit status (-1 when it did
// not exit). The child leaves by _exit after flushing the C streams: a file
// object `work` leaves on the heap is never closed, as after a crash. With
// `fileSizeLimit` its writes past that many bytes fail as on a full disk.
inline int RunInChild(const std::function<int()>& work, rlim_t fileSizeLimit = RLIM_INFINITY) {
  pid_t child = fork();
  if (child == 0) {
    if (fileSizeLimit != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {fileSizeLimit, fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    int code = work();
    std::fflush(nullptr);
    _exit(code);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes `bytes` as a WAV recording in a child that ends without closing the
// file, as after a crash: the samples are on disk, the header sizes still zero.
inline void WriteCrashCutWave(const std::string& path, FormatWithAttribute record, const std::vector<uint8_t>& bytes) {
  RunInChild([&] {
    WaveFile& f = *new WaveFile;  // never closed
    uint32_t taken;
    f.Open(path.c_str(), &record, RecordingFile::kWrite);
    f.Write(uint32_t(bytes.size()), bytes.data(), &taken);
    return 0;
  });
}

}  // namespace hv
