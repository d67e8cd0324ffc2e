// The texts users type into the windows: the number rule of the edit fields,
// the marker numbers of the Tessagram window, and the replay ratio of the
// Playback window, with the replay rate derived from it. Each must answer
// cleanly (and consistently) for any text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "playback/time_base.h"
#include "ui/windows/number_rule.h"
#include "ui/windows/tessagram_window.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  float number = 0;
  bool valid = hv::ParseNumberRule(text, &number);
  double marker = 0;
  bool markerValid = hv::ParseMarkerNumber(text.c_str(), &marker);
  // Both rules read the same syntax; a text without NUL bytes gets the same verdict.
  if (text.find('\0') == std::string::npos && valid != markerValid) std::abort();
  float n = 0;
  if (hv::ParseRatio(text, &n)) {
    if (!(n > 0) || !std::isfinite(n)) std::abort();
    double scale = 0;
    for (int timeBase = 0; timeBase < 3; ++timeBase) (void)hv::ReplayRate(250000, timeBase, n, &scale);
  }
  return 0;
}
