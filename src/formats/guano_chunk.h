// Finds the GUANO text of a WAV file. A RIFF/WAVE file is "RIFF", a 32-bit
// little-endian size, "WAVE", then chunks: a 4-byte id, a 32-bit little-endian
// length and that many bytes, plus one pad byte when the length is odd. The
// GUANO text sits in a chunk with the id "guan", usually after the data chunk.
// The walk stops at the end of the file even when the sizes claim more (a
// recording cut off by a crash has a RIFF size of 0), and texts longer than
// kMaxGuanoBytes are refused.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace hv {

constexpr size_t kMaxGuanoBytes = 65536;

// True with the chunk's bytes when `in` holds a RIFF/WAVE stream with a "guan" chunk.
bool FindGuanoChunk(std::istream& in, std::string* text);
// The same for a file by name (false when it cannot be opened).
bool ReadGuanoText(const std::string& path, std::string* text);

}  // namespace hv
