// Feeds arbitrary texts to the start/stop time rule and checks its promises:
// an accepted text gives a second of the day, and every accepted text is made
// of three digit groups.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/time_of_day.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int s = -1;
  if (hv::ParseTimeOfDay(text, &s)) {
    if (s < 0 || s >= 86400) std::abort();
    int colons = 0;
    for (char c : text) {
      if (c == ':') ++colons;
      else if (c < '0' || c > '9') std::abort();
    }
    if (colons != 2) std::abort();
    for (int start : {0, s, 86399}) hv::InsideDailyWindow(start, s, s);
  }
  return 0;
}
