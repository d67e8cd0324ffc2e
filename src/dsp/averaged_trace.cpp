#include "dsp/averaged_trace.h"

#include <cmath>
#include <cstring>

#include "dsp/station_level.h"

namespace hv {

SpectralTrace::SpectralTrace() {
  for (int u = 0; u < kBlock; ++u) {
    double theta = u / 511.0 * 6.2831853;
    window_[u] = static_cast<float>(0.42659 - 0.49656 * std::cos(theta) + 0.07685 * std::cos(2.0 * theta));
  }
  std::memset(accumulator_, 0, sizeof(accumulator_));
  for (float& v : trace_) v = kStartLevel;
}

SpectralTrace::Step SpectralTrace::AddBlock(const float* block, float levelOffset, bool peakHold) {
  for (int u = 0; u < kBlock; ++u) windowed_[u] = block[u] * window_[u];
  fft_.Transform(windowed_, spectrum_);
  const float* re = spectrum_;
  const float* im = spectrum_ + kBins;
  accumulator_[0] += re[0] * re[0];
  for (int k = 1; k < kBins; ++k) accumulator_[k] += re[k] * re[k] + im[k] * im[k];
  accumulator_[kBins] += re[kBins] * re[kBins];
  ++count_;

  switch (stage_) {
    case 1:
      stage_ = 2;
      return Step::kCheckTuning;
    case 2:
      stage_ = 0;
      return Step::kDraw;
    default:
      break;
  }
  if (reconfigurePending_) {
    reconfigurePending_ = false;
    count_ = 0;
    std::memset(accumulator_, 0, sizeof(accumulator_));
    for (float& v : trace_) v = kStartLevel;
    return Step::kReconfigure;
  }
  if (count_ >= kBlocksPerTrace) {
    const float inverse = 1.0f / static_cast<float>(count_);
    for (int k = 0; k < kBins; ++k) power_[k] = accumulator_[k] * inverse;
    // 10 log10(power + 1e-20) only lifts a bin of no power to -200 dB before the
    // offsets; the floor below keeps such bins (and NaN) at the bottom.
    StationLevels(power_, kBins, kBlock, levelOffset, power_);
    for (int k = 0; k < kBins; ++k) {
      float level = power_[k];
      if (!(level >= kLowestLevel)) level = kLowestLevel;
      trace_[k] = (peakHold && trace_[k] > level) ? trace_[k] : level;
    }
    std::memset(accumulator_, 0, sizeof(accumulator_));
    count_ = 0;
    stage_ = 1;
    return Step::kNewTrace;
  }
  return Step::kNone;
}

}  // namespace hv
