#include "audio/sample_convert.h"

#include <cmath>

namespace hv {

double ConvertToPcm16(const float* in, size_t count, int16_t* out) {
  double sum = 0.0;
  for (size_t i = 0; i < count; ++i) {
    float x = in[i];
    int16_t s;
    if (x >= 32767.0f) s = 32767;
    else if (x <= -32768.0f) s = -32768;
    else if (x == x) s = static_cast<int16_t>(x);  // truncation toward zero
    else s = 0;                                     // NaN
    out[i] = s;
    if (x == x) sum += static_cast<double>(x) * x;
  }
  return sum;
}

int BlockLevel(double sumOfSquares, size_t sampleCount) {
  double mean = sampleCount ? sumOfSquares / (2.0 * static_cast<double>(sampleCount)) : 0.0;
  double level = std::trunc(10.0 * std::log10(mean * 1.414 + 1e-20)) + 10.0;
  if (!(level > -1000.0)) return -1000;  // also NaN
  if (level > 1000.0) return 1000;
  return static_cast<int>(level);
}

int LevelMeter::Update(int level) {
  if (level > held_) held_ = level;
  int shown = held_ < 0 ? 0 : held_ > 100 ? 100 : held_;
  // A long silence cannot drive the hold below what any block can reach.
  if (held_ > -1000) held_ -= 2;
  return shown;
}

}  // namespace hv
