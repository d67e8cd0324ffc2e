// Test helper: a private temporary folder for one test (removed with everything
// in it), whole-file reads and writes, and little-endian fields of file bytes.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/le_bytes.h"

struct TempFolder {
  std::string path;
  TempFolder() {
    char pattern[] = "/tmp/hv-rec-XXXXXX";
    char* made = mkdtemp(pattern);
    path = made ? made : "/tmp";
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline std::vector<uint8_t> ReadAllBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAllBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The 32-bit little-endian field at `at`; 0 when the bytes end before it.
inline uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
  return b.size() >= at + 4 ? hv::GetLe32(b.data() + at) : 0;
}
