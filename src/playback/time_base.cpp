#include "playback/time_base.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hv {

namespace {

// One decimal number with an optional fraction ("4", "2.5", "0.25"), read from
// `p` up to `end`. Digits are required before the point; a point needs digits after it.
bool ParseDecimal(const char* p, const char* end, double* value) {
  const char* start = p;
  int digits = 0;
  while (p < end && *p >= '0' && *p <= '9') ++p, ++digits;
  if (digits == 0) return false;
  if (p < end && *p == '.') {
    ++p;
    int fraction = 0;
    while (p < end && *p >= '0' && *p <= '9') ++p, ++fraction;
    if (fraction == 0) return false;
  }
  if (p != end) return false;
  std::string text(start, end);
  *value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(*value);
}

}  // namespace

bool ParseRatio(const std::string& text, float* n) {
  if (text.size() > 64) return false;
  size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  const char* s = text.c_str();
  double a = 0, b = 0;
  if (!ParseDecimal(s, s + colon, &a) || !ParseDecimal(s + colon + 1, s + text.size(), &b)) return false;
  if (!(a > 0) || !(b > 0)) return false;
  double value = b / a;
  if (!std::isfinite(value) || value <= 0 || value > 3.0e38) return false;
  *n = static_cast<float>(value);
  return *n > 0;
}

uint32_t ReplayRate(uint64_t realRate, int timeBase, float n, double* scale) {
  double s = 1.0;
  double rate = static_cast<double>(realRate);
  if (timeBase == kTimeBase1to2) {
    rate = static_cast<double>(realRate / 2);
    s = 0.5;
  } else if (timeBase == kTimeBase1toN) {
    if (!(n > 0) || !std::isfinite(n)) return 0;
    float inverse = 1.0f / n;
    rate = std::trunc(rate * inverse);
    s = inverse;
  }
  if (scale) *scale = s;
  if (!(rate >= kMinReplayRate) || rate > kMaxReplayRate) return 0;
  return static_cast<uint32_t>(rate);
}

std::string PositionText(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  // A small allowance keeps 61.5 from showing as 61.49 after float arithmetic.
  long long hundredths = static_cast<long long>(std::floor(seconds * 100.0 + 1e-6));
  long long minutes = hundredths / 6000;
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", minutes, (hundredths / 100) % 60, hundredths % 100);
  return text;
}

}  // namespace hv
