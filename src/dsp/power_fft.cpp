#include "dsp/power_fft.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace hv {

namespace {

// out[i] = a[i] * b[i], four at a time.
void Multiply(const float* a, const float* b, int n, float* out) {
  int i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) _mm_storeu_ps(out + i, _mm_mul_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
#endif
  for (; i < n; ++i) out[i] = a[i] * b[i];
}

float* NewFloats(int count) {
  void* p = std::aligned_alloc(64, (count * sizeof(float) + 63) / 64 * 64);
  std::memset(p, 0, count * sizeof(float));
  return static_cast<float*>(p);
}
}  // namespace

SpectrumSFFT::SpectrumSFFT() {
  window_ = NewFloats(kSize);
  fftOutput_ = NewFloats(kSize);
  fftInput_ = NewFloats(kSize);
}

SpectrumSFFT::~SpectrumSFFT() {
  std::free(window_);
  std::free(fftOutput_);
  std::free(fftInput_);
}

bool SpectrumSFFT::Prepare(int n) {
  if (n < 1 || n > kSize) return false;
  if (n != windowLength_) {
    // Four-term Blackman-Harris window over the n input samples.
    for (int i = 0; i < n; ++i) {
      double a = n > 1 ? static_cast<double>(i) / (n - 1) * 6.2831853 : 0.0;
      window_[i] = static_cast<float>(0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2.0 * a) -
                                      0.01168 * std::cos(3.0 * a));
    }
    windowLength_ = n;
  }
  if (n < kSize) std::memset(fftInput_ + n, 0, (kSize - n) * sizeof(float));
  return true;
}

int SpectrumSFFT::Transform(float* output, int cap) {
  fft_.Transform(fftInput_, fftOutput_);
  const int half = fftSize_ / 2;
  int last = cap - 1 < half ? cap - 1 : half;
  const float* re = fftOutput_;
  const float* im = fftOutput_ + half;
  output[0] = re[0] * re[0];
  const int end = last < half - 1 ? last : half - 1;  // last bin with an imaginary part
  int m = 1;
#if defined(__SSE2__)
  for (; m + 4 <= end + 1; m += 4) {
    __m128 r = _mm_loadu_ps(re + m), i = _mm_loadu_ps(im + m);
    _mm_storeu_ps(output + m, _mm_add_ps(_mm_mul_ps(r, r), _mm_mul_ps(i, i)));
  }
#endif
  for (; m <= end; ++m) output[m] = re[m] * re[m] + im[m] * im[m];
  if (last == half) output[half] = re[half] * re[half];
  return last;
}

bool SpectrumSFFT::PowerSpectrum(const float* input, int n, float* output, int cap) {
  if (cap < 1 || !Prepare(n)) return false;
  Multiply(input, window_, n, fftInput_);
  Transform(output, cap);
  return true;
}

bool SpectrumSFFT::PowerSpectrumInterleaved(const float* input, int n, float* output, int cap) {
  if (cap < 1 || !Prepare(n)) return false;
  for (int i = 0; i < n; ++i) fftInput_[i] = input[2 * i] * window_[i];
  // Powers first into the FFT input (no longer needed), then spread into pairs.
  int last = Transform(fftInput_, cap);
  for (int m = 0; m <= last; ++m) {
    output[2 * m] = fftInput_[m];
    output[2 * m + 1] = 0.0f;
  }
  return true;
}

}  // namespace hv
