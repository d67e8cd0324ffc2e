#include "formats/guano_chunk.h"

#include <cstdint>
#include <cstring>
#include <fstream>

#include "core/le_bytes.h"
#include "core/outside_file.h"

namespace hv {

bool FindGuanoChunk(std::istream& in, std::string* text) {
  unsigned char header[12];
  if (!in.read(reinterpret_cast<char*>(header), 12)) return false;
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) return false;
  uint64_t position = 12;
  for (;;) {
    unsigned char chunk[8];
    in.clear();
    in.seekg(static_cast<std::streamoff>(position));
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) return false;
    uint32_t length = GetLe32(chunk + 4);
    if (std::memcmp(chunk, "guan", 4) == 0) {
      if (length > kMaxGuanoBytes) return false;
      std::string bytes(length, '\0');
      if (!in.read(bytes.data(), length)) return false;
      *text = std::move(bytes);
      return true;
    }
    position += 8 + static_cast<uint64_t>(length) + (length & 1);
  }
}

bool ReadGuanoText(const std::string& path, std::string* text) {
  if (!CheckRegularFile(path, nullptr)) return false;  // a pipe would block the read
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  return FindGuanoChunk(in, text);
}

}  // namespace hv
