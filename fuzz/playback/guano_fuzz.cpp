// Feeds arbitrary bytes to the GUANO chunk finder and text parser, the ISO 8601
// time stamp reader and the ratio rule of the time base.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "formats/guano.h"
#include "formats/guano_chunk.h"
#include "playback/time_base.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  std::string text;
  hv::FindGuanoChunk(in, &text);
  hv::GuanoInfo info;
  hv::ParseGuano(bytes, &info);
  hv::ParseGuano("GUANO|Version: 1.0\n" + bytes, &info);
  hv::StreamTime t;
  hv::ParseIsoTimestamp(bytes, &t, nullptr);
  float n = 0;
  if (hv::ParseRatio(bytes, &n)) {
    double scale = 0;
    hv::ReplayRate(250000, hv::kTimeBase1toN, n, &scale);
  }
  return 0;
}
