#include "dsp/frame_analyser.h"

#include <cstring>
#include <limits>

#include "dsp/station_level.h"

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
  MakeFrames(samples, 1, band, levelOffset, frame);
}

void SpectrumAnalyser::MakeFrames(const float* samples, int count, const SnapshotBand& band, float levelOffset,
                                  SpectrumFrame* frames) {
  if (count > kMaxBatch) count = kMaxBatch;
  for (int i = 0; i < count; ++i) Analyse(samples + i * kFrameHop, band, levelOffset, &frames[i], excess_[i]);
  for (int i = 0; i < count; i += 8) {
    const float* excess[8];
    int peaks[8];
    float ratios[8];
    int n = count - i < 8 ? count - i : 8;
    for (int j = 0; j < n; ++j) {
      excess[j] = excess_[i + j];
      peaks[j] = static_cast<int>(frames[i + j].peakBin);
    }
    HarmonicRatios(excess, peaks, n, ratios);
    for (int j = 0; j < n; ++j) frames[i + j].harmonicRatio = ratios[j];
  }
}

void SpectrumAnalyser::Analyse(const float* samples, const SnapshotBand& band, float levelOffset,
                               SpectrumFrame* frame, float* excess) {
  sfft_.PowerSpectrum(samples, SpectrumSFFT::kSize, power_, kFrameBins);

  // Levels; bin 0 (DC) is pinned at -10 dB.
  StationLevels(power_, kFrameBins, SpectrumSFFT::kSize, levelOffset, levels_);
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
  frame->harmonicRatio = 0.0f;
  for (int m = 0; m < kFrameBins; ++m) excess[m] = levels_[m] - floor_[m];
  std::memcpy(frame->samples, samples, sizeof(frame->samples));
}

// Floor: dilate by one bin (max of 3), erode by three (min of 7), then average
// over 15; neighbours outside 0..127 are skipped. The minimum of 7 is taken as
// two overlapping minima of 4, and the sum of 15 from sums of 2, 4 and 8
// neighbours shared between bins: the same minima, the sums in another order.
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
  for (int i = kFrameBins; i < kFrameBins + 16; ++i) e[i] = 0.0f;
#if defined(__SSE2__)
  for (int m = 0; m < kFrameBins; m += 4) {
    __m128 v = _mm_max_ps(_mm_max_ps(_mm_loadu_ps(s + m - 1), _mm_load_ps(s + m)), _mm_loadu_ps(s + m + 1));
    _mm_store_ps(d + m, v);
  }
  // min4[i] = min of d[i .. i+3] for i = -3 .. 127 (stored at i + 4).
  float* min4 = pairPad_[0] + 4;
  for (int i = -4; i < kFrameBins; i += 4) {
    __m128 a = _mm_min_ps(_mm_loadu_ps(d + i), _mm_loadu_ps(d + i + 1));
    __m128 b = _mm_min_ps(_mm_loadu_ps(d + i + 2), _mm_loadu_ps(d + i + 3));
    _mm_storeu_ps(min4 + i, _mm_min_ps(a, b));
  }
  for (int m = 0; m < kFrameBins; m += 4)
    _mm_store_ps(e + m, _mm_min_ps(_mm_loadu_ps(min4 + m - 3), _mm_loadu_ps(min4 + m)));
  // sum2[i] = e[i] + e[i+1], sum4[i] = sum2[i] + sum2[i+2], sum8[i] = sum4[i] + sum4[i+4]
  // for i from -8; the 15 bins m-7 .. m+7 are sum8[m-7] + sum4[m+1] + sum2[m+5] + e[m+7].
  float* sum2 = pairPad_[0] + 8;
  float* sum4 = pairPad_[1] + 8;
  float* sum8 = pairPad_[2] + 8;
  for (int i = -8; i < kFrameBins + 6; i += 4)
    _mm_storeu_ps(sum2 + i, _mm_add_ps(_mm_loadu_ps(e + i), _mm_loadu_ps(e + i + 1)));
  for (int i = -8; i < kFrameBins + 2; i += 4)
    _mm_storeu_ps(sum4 + i, _mm_add_ps(_mm_loadu_ps(sum2 + i), _mm_loadu_ps(sum2 + i + 2)));
  for (int i = -8; i < kFrameBins - 6; i += 4)
    _mm_storeu_ps(sum8 + i, _mm_add_ps(_mm_loadu_ps(sum4 + i), _mm_loadu_ps(sum4 + i + 4)));
  for (int m = 0; m < kFrameBins; m += 4) {
    __m128 sum = _mm_add_ps(_mm_add_ps(_mm_loadu_ps(sum8 + m - 7), _mm_loadu_ps(sum4 + m + 1)),
                            _mm_add_ps(_mm_loadu_ps(sum2 + m + 5), _mm_loadu_ps(e + m + 7)));
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

// The harmonic walk visits bins 1..127 once, upward. Bins in the peak's window
// go to the peak sum, bins in later harmonic windows to the harmonic sum, all
// others to the outside sum. With no peak (bin 0) no harmonic window is opened,
// and no window is opened once one would not move the walk forward.
void SpectrumAnalyser::ClassifyBins(int peakBin, uint8_t* classOf) {
  std::memset(classOf, 0, kFrameBins);
  int w = 1;
  int t = static_cast<int>(peakBin + 0.5f);
  int start = t - 5 < 0 ? 0 : t - 5;
  int end = t + 5 < 128 ? t + 5 : 128;
  if (start > w) w = start;
  for (; w < end; ++w) classOf[w] = 1;
  if (peakBin <= 0) return;
  for (int n = 2;; ++n) {
    int b = static_cast<int>(n * static_cast<float>(peakBin) + 0.5f);
    if (b >= 133) break;
    int s = b - 5;
    int e = b + 5 < 127 ? b + 5 : 127;
    if (e <= w) break;  // would not advance
    if (s > w) w = s;
    for (; w < e; ++w) classOf[w] = 2;
  }
}

// Each sum starts at -100 dB and takes (level - floor) of its bins in order with
// DbPowerSum; ratio = DbPowerSum(peak, harmonic) - outside. Up to eight frames
// run in two groups of four vector lanes. Each lane picks the sum its bin
// belongs to, adds the bin with DbPowerSum's operations and puts the sum back,
// so every lane does exactly the scalar operations on its own bins.
void SpectrumAnalyser::HarmonicRatios(const float* const* excess, const int* peakBins, int count,
                                      float* ratios) {
  constexpr int kLanes = 8;
  alignas(16) uint8_t classOf[kLanes][kFrameBins];
  for (int j = 0; j < kLanes; ++j) ClassifyBins(j < count ? peakBins[j] : 0, classOf[j]);
  const float* rows[kLanes];
  for (int j = 0; j < kLanes; ++j) rows[j] = excess[j < count ? j : 0];
#if defined(__SSE2__)
  const __m128 three = _mm_set1_ps(3.0f), fifth = _mm_set1_ps(0.2f), zero = _mm_setzero_ps();
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  auto sumStep = [&](__m128 a, __m128 b) {
    __m128 d = _mm_sub_ps(three, _mm_mul_ps(fifth, _mm_and_ps(_mm_sub_ps(a, b), absMask)));
    __m128 m = _mm_max_ps(a, b);
    __m128 positive = _mm_cmpgt_ps(d, zero);
    return _mm_or_ps(_mm_and_ps(positive, _mm_add_ps(m, d)), _mm_andnot_ps(positive, m));
  };
  auto select = [](__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); };
  __m128 sums[2][3];
  for (auto& group : sums)
    for (auto& v : group) v = _mm_set1_ps(kSumStart);
  const __m128i one = _mm_set1_epi32(1), two = _mm_set1_epi32(2);
  auto addBin = [&](__m128* s, __m128 v, __m128i cls) {
    __m128 in1 = _mm_castsi128_ps(_mm_cmpeq_epi32(cls, one));
    __m128 in2 = _mm_castsi128_ps(_mm_cmpeq_epi32(cls, two));
    __m128 in0 = _mm_andnot_ps(_mm_or_ps(in1, in2), _mm_castsi128_ps(_mm_set1_epi32(-1)));
    __m128 next = sumStep(select(in1, s[1], select(in2, s[2], s[0])), v);
    s[0] = select(in0, next, s[0]);
    s[1] = select(in1, next, s[1]);
    s[2] = select(in2, next, s[2]);
  };
  // Bins 1..127: four at a time from the four rows of a group, transposed into
  // one vector per bin (bins 1..124), then the last three one by one.
  int w = 1;
  for (; w + 4 <= kFrameBins; w += 4) {
    for (int g = 0; g < 2; ++g) {
      const int l = 4 * g;
      __m128 b0 = _mm_loadu_ps(rows[l] + w), b1 = _mm_loadu_ps(rows[l + 1] + w);
      __m128 b2 = _mm_loadu_ps(rows[l + 2] + w), b3 = _mm_loadu_ps(rows[l + 3] + w);
      _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
      const __m128 bins[4] = {b0, b1, b2, b3};
      for (int k = 0; k < 4; ++k) {
        __m128i cls = _mm_setr_epi32(classOf[l][w + k], classOf[l + 1][w + k], classOf[l + 2][w + k],
                                     classOf[l + 3][w + k]);
        addBin(sums[g], bins[k], cls);
      }
    }
  }
  for (; w < kFrameBins; ++w) {
    for (int g = 0; g < 2; ++g) {
      const int l = 4 * g;
      __m128 v = _mm_setr_ps(rows[l][w], rows[l + 1][w], rows[l + 2][w], rows[l + 3][w]);
      __m128i cls = _mm_setr_epi32(classOf[l][w], classOf[l + 1][w], classOf[l + 2][w], classOf[l + 3][w]);
      addBin(sums[g], v, cls);
    }
  }
  alignas(16) float out[2][3][4];
  for (int g = 0; g < 2; ++g)
    for (int c = 0; c < 3; ++c) _mm_store_ps(out[g][c], sums[g][c]);
  for (int j = 0; j < count; ++j)
    ratios[j] = DbPowerSum(out[j / 4][1][j % 4], out[j / 4][2][j % 4]) - out[j / 4][0][j % 4];
#else
  for (int j = 0; j < count; ++j) {
    float sums[3] = {kSumStart, kSumStart, kSumStart};
    for (int w = 1; w < kFrameBins; ++w) sums[classOf[j][w]] = DbPowerSum(sums[classOf[j][w]], rows[j][w]);
    ratios[j] = DbPowerSum(sums[1], sums[2]) - sums[0];
  }
#endif
}

}  // namespace hv
