#include "dsp/spectrum_analyser.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "dsp/fast_db.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace hv {

namespace {
constexpr float kSumStart = -100.0f;  // dB power sums start here
constexpr float kNoPeakLevel = -10.0f;
}  // namespace

SnapshotBand SnapshotBandBins(float lowHz, float highHz, float nyquist) {
  auto toBin = [nyquist](float hz) {
    float v = nyquist > 0.0f ? hz / nyquist * 128.0f : 0.0f;
    if (!(v >= 0.0f)) return 0;  // negative or NaN
    if (v >= 128.0f) return 127;
    int b = static_cast<int>(v);
    return b > 127 ? 127 : b;
  };
  return SnapshotBand{toBin(lowHz), toBin(highHz)};
}

SpectrumAnalyser::SpectrumAnalyser() {
  gain_ = static_cast<float>(20.0 * std::log10(256.0));
  std::memset(smoothed_, 0, sizeof(smoothed_));
  // Each floor bin averages the eroded bins within 7 of it that exist.
  for (int m = 0; m < kFrameBins; ++m) {
    int lo = m - 7 < 0 ? 0 : m - 7;
    int hi = m + 7 > kFrameBins - 1 ? kFrameBins - 1 : m + 7;
    inverseCount_[m] = 1.0f / static_cast<float>(hi - lo + 1);
  }
}

void SpectrumAnalyser::MakeFrame(const float* samples, const SnapshotBand& band, float levelOffset,
                                 SpectrumFrame* frame) {
  sfft_.PowerSpectrum(samples, SpectrumSFFT::kSize, power_, kFrameBins);

  // Levels; bin 0 (DC) is pinned at -10 dB.
  PowerToDb(power_, kFrameBins, levelOffset - gain_, levels_);
  levels_[0] = kNoPeakLevel;

  // Strongest bin inside the snapshot band, strictly above -10 dB.
  float peakLevel = kNoPeakLevel;
  int peakBin = 0;
  int lo = band.low < 1 ? 1 : band.low;
  for (int m = lo; m <= band.high; ++m) {
    if (levels_[m] > peakLevel) {
      peakLevel = levels_[m];
      peakBin = m;
    }
  }

  // Slow smoothing; the first frame's levels are its start value.
  if (!smoothedStarted_) {
    std::memcpy(smoothed_, levels_, sizeof(smoothed_));
    smoothedStarted_ = true;
  } else {
    for (int m = 0; m < kFrameBins; ++m) smoothed_[m] = levels_[m] * 0.03125f + smoothed_[m] * 0.96875f;
  }
  UpdateFloor();

  frame->peakBin = static_cast<float>(peakBin);
  frame->peakLevel = peakLevel;
  frame->noiseFloor = floor_[peakBin];
  frame->harmonicRatio = HarmonicRatio(peakBin);
  std::memcpy(frame->samples, samples, sizeof(frame->samples));
}

// Floor: dilate by one bin (max of 3), erode by three (min of 7), then average
// over 15; neighbours outside 0..127 are skipped.
void SpectrumAnalyser::UpdateFloor() {
  constexpr float inf = std::numeric_limits<float>::infinity();
  // Smoothed spectrum with one -inf on each side (skipped by the max).
  float* s = smoothedPad_ + 4;
  std::memcpy(s, smoothed_, sizeof(smoothed_));
  s[-1] = -inf;
  s[kFrameBins] = -inf;
  float* d = dilatedPad_ + 4;  // +inf around it (skipped by the min)
  for (int i = -4; i < 0; ++i) d[i] = inf;
  for (int i = kFrameBins; i < kFrameBins + 4; ++i) d[i] = inf;
  float* e = erodedPad_ + 8;  // zeros around it (the mean counts only real bins)
  for (int i = -8; i < 0; ++i) e[i] = 0.0f;
  for (int i = kFrameBins; i < kFrameBins + 8; ++i) e[i] = 0.0f;
#if defined(__SSE2__)
  for (int m = 0; m < kFrameBins; m += 4) {
    __m128 v = _mm_max_ps(_mm_max_ps(_mm_loadu_ps(s + m - 1), _mm_load_ps(s + m)), _mm_loadu_ps(s + m + 1));
    _mm_store_ps(d + m, v);
  }
  for (int m = 0; m < kFrameBins; m += 4) {
    __m128 v = _mm_loadu_ps(d + m - 3);
    for (int k = -2; k <= 3; ++k) v = _mm_min_ps(v, _mm_loadu_ps(d + m + k));
    _mm_store_ps(e + m, v);
  }
  for (int m = 0; m < kFrameBins; m += 4) {
    __m128 sum = _mm_setzero_ps();
    for (int k = -7; k <= 7; ++k) sum = _mm_add_ps(sum, _mm_loadu_ps(e + m + k));
    _mm_store_ps(floor_ + m, _mm_mul_ps(sum, _mm_load_ps(inverseCount_ + m)));
  }
#else
  for (int m = 0; m < kFrameBins; ++m) {
    float a = s[m - 1] > s[m] ? s[m - 1] : s[m];
    d[m] = a > s[m + 1] ? a : s[m + 1];
  }
  for (int m = 0; m < kFrameBins; ++m) {
    float v = d[m - 3];
    for (int k = -2; k <= 3; ++k) v = d[m + k] < v ? d[m + k] : v;
    e[m] = v;
  }
  for (int m = 0; m < kFrameBins; ++m) {
    float sum = 0.0f;
    for (int k = -7; k <= 7; ++k) sum += e[m + k];
    floor_[m] = sum * inverseCount_[m];
  }
#endif
}

// Walks bins 1..127 once, upward. Bins in the peak's window go to the peak sum,
// bins in later harmonic windows to the harmonic sum, all others to the outside
// sum; each sum combines (level - floor) values with DbPowerSum from -100 dB.
// With no peak (bin 0) no harmonic window is opened, and the walk stops opening
// windows as soon as one would not move it forward.
float SpectrumAnalyser::HarmonicRatio(int peakBin) const {
  float outside = kSumStart, peak = kSumStart, harmonic = kSumStart;
  auto add = [this](float sum, int from, int to) {
    for (int b = from; b < to; ++b) sum = DbPowerSum(sum, levels_[b] - floor_[b]);
    return sum;
  };
  int w = 1;
  int t = static_cast<int>(peakBin + 0.5f);
  int start = t - 5 < 0 ? 0 : t - 5;
  int end = t + 5 < 128 ? t + 5 : 128;
  if (start > w) {
    outside = add(outside, w, start);
    w = start;
  }
  if (end > w) {
    peak = add(peak, w, end);
    w = end;
  }
  if (peakBin > 0) {
    for (int n = 2;; ++n) {
      int b = static_cast<int>(n * static_cast<float>(peakBin) + 0.5f);
      if (b >= 133) break;
      int s = b - 5;
      int e = b + 5 < 127 ? b + 5 : 127;
      if (e <= w) break;  // would not advance
      if (s > w) {
        outside = add(outside, w, s);
        w = s;
      }
      harmonic = add(harmonic, w, e);
      w = e;
    }
  }
  outside = add(outside, w, kFrameBins);
  return DbPowerSum(peak, harmonic) - outside;
}

}  // namespace hv
