#include "dsp/tuning_path.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace hv {

namespace {

constexpr uint32_t kRebuildTaps = 63;

// y0 = sum of row0[j] * Re z[k + j], y1 = sum of row1[j] * Im z[k + j], j < 63,
// with the rows interleaved as (row0[j], row1[j]) and zero-padded to 64 pairs.
inline void RebuildDot(const float* z, const float* pairs, float* y0, float* y1) {
#if defined(__SSE2__)
  __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(), a3 = _mm_setzero_ps();
  for (int i = 0; i < 128; i += 16) {
    a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_loadu_ps(z + i), _mm_load_ps(pairs + i)));
    a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_loadu_ps(z + i + 4), _mm_load_ps(pairs + i + 4)));
    a2 = _mm_add_ps(a2, _mm_mul_ps(_mm_loadu_ps(z + i + 8), _mm_load_ps(pairs + i + 8)));
    a3 = _mm_add_ps(a3, _mm_mul_ps(_mm_loadu_ps(z + i + 12), _mm_load_ps(pairs + i + 12)));
  }
  __m128 s = _mm_add_ps(_mm_add_ps(a0, a1), _mm_add_ps(a2, a3));
  alignas(16) float t[4];
  _mm_store_ps(t, s);
  *y0 = t[0] + t[2];
  *y1 = t[1] + t[3];
#else
  float s0 = 0.0f, s1 = 0.0f;
  for (uint32_t j = 0; j < kRebuildTaps; ++j) {
    s0 += pairs[2 * j] * z[2 * j];
    s1 += pairs[2 * j + 1] * z[2 * j + 1];
  }
  *y0 = s0;
  *y1 = s1;
#endif
}

}  // namespace

double TuningPath::CutoffFor(float rate) {
  double half = 20050.0;
  if (rate / 2.0 < half) half = rate / 2.0;
  return rate > 0.0f ? half / rate : 1.0;
}

TuningPath::TuningPath(float rate, float tune)
    : rate_(rate), resampler_(CutoffFor(rate), 1.0, 0.25), interpolator_(1.0, 1.0) {
  resampler_.SetCutoff(CutoffFor(rate));
  interpolator_.SetCutoff(1.0);
  std::memset(rowPairs_, 0, sizeof(rowPairs_));
  const float* row0 = interpolator_.Row(0);
  const float* row1 = interpolator_.Row(1);
  for (uint32_t j = 0; j < kRebuildTaps; ++j) {
    rowPairs_[2 * j] = row0[j];
    rowPairs_[2 * j + 1] = row1[j];
  }
  phase_ = 0.0;
  currentCentre_ = rate > 0.0f ? static_cast<float>(2.0f * tune / rate) : 0.0f;
  resampler_.SetCenter(currentCentre_);
  step_ = rate / kComplexRate;
  std::memset(complex_, 0, sizeof(complex_));
}

void TuningPath::FormatChange(float rate, float tune) {
  rate_ = rate;
  currentCentre_ = rate > 0.0f ? static_cast<float>(2.0f * tune / rate) : 0.0f;
  // A looped file announces the same format at every turn: no redesign then.
  resampler_.SetBand(CutoffFor(rate), currentCentre_);
  step_ = rate / kComplexRate;
}

void TuningPath::ProcessBlock(const float* samples, uint32_t n, float tune, float gain, AudioSink sink,
                              void* context) {
  if (!(rate_ > 0.0f) || !(step_ > 0.0f)) return;
  // 1. Oscillator increment (cycles per complex output) and the band centre.
  increment_ = step_ * tune / rate_;
  float newCentre = static_cast<float>(2.0f * tune / rate_);
  if (std::fabs(newCentre - currentCentre_) > 0.001f) {
    resampler_.SetCenter(newCentre);
    currentCentre_ = newCentre;
  }
  // 2. First fill of the window.
  uint32_t consumed = 0;
  if (!resampler_.full() && !resampler_.Fill(samples, n, &consumed)) return;

  while (consumed < n) {
    // 3.1 Drop the complex values already used.
    if (consumedComplex_ > 0) {
      std::memmove(complex_, complex_ + consumedComplex_, (fill_ - consumedComplex_) * sizeof(ComplexF));
      fill_ -= consumedComplex_;
      consumedComplex_ = 0;
    }
    // 3.2 Slide the window, 3.3 resample.
    uint32_t slid = resampler_.Slide(samples, n, &consumed);
    uint32_t produced = resampler_.Resample(kComplexCapacity - fill_, step_, complex_ + fill_);
    // 3.4 Oscillator over the new values.
    const double increment = increment_;
    for (uint32_t k = fill_; k < fill_ + produced; ++k) {
      phase_ = std::fmod(phase_ + increment, 1.0);
      double s, c;
      ::sincos(phase_ * 6.2831853, &s, &c);
      const float cf = static_cast<float>(c), sf = static_cast<float>(-s);
      const float re = complex_[k].re, im = complex_[k].im;
      complex_[k].re = re * cf - im * sf;
      complex_[k].im = re * sf + im * cf;
    }
    fill_ += produced;
    // 3.5 - 3.7 Rebuild, scale and hand on.
    if (fill_ > kRebuildTaps) Rebuild(fill_ - kRebuildTaps, gain);
    if (fill_ > kRebuildTaps) {
      uint32_t count = 2 * (fill_ - kRebuildTaps);
      consumedComplex_ = fill_ - kRebuildTaps;
      if (sink) sink(context, output_, count);
    }
    if (slid == 0 && produced == 0) break;  // no progress possible (cannot happen with step > 0)
  }
}

// Two real samples per complex value: the interpolated real part and the
// delayed imaginary part on alternating carrier signs, y = 2 Re(z i^k).
void TuningPath::Rebuild(uint32_t count, float gain) {
  const float* z = &complex_[0].re;
  float* out = output_;
  for (uint32_t k = 0; k < count; ++k) {
    float y0, y1;
    RebuildDot(z + 2 * k, rowPairs_, &y0, &y1);
    float a = 2.0f * y0, b = 2.0f * y1;
    if (parity_ == 0) {
      out[2 * k] = a * gain;
      out[2 * k + 1] = -b * gain;
    } else {
      out[2 * k] = -a * gain;
      out[2 * k + 1] = b * gain;
    }
    parity_ ^= 1;
  }
}

}  // namespace hv
