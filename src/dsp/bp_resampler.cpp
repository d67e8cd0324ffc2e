#include "dsp/bp_resampler.h"

#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace hv {

BPResampler::BPResampler(double cutoff, double gain, double center)
    : BPFilterTable(cutoff, gain, center) {
  window_ = new float[kWindowLength]();
  Reset();
}

BPResampler::~BPResampler() { delete[] window_; }

void BPResampler::Reset() {
  fillIndex_ = 0;
  full_ = false;
  position_ = 63.0;
}

#if defined(__x86_64__)
namespace {

// (w0 w0 w1 w1 w2 w2 w3 w3) from four window samples.
__attribute__((target("avx2"))) inline __m256 Paired(const float* p) {
  return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(p)), _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
}

// ComplexDot with eight lanes: the same four accumulators of four lanes, held
// two to a register, so every sum is formed in the same order (no fused
// multiply-add) and the result is the same to the bit.
__attribute__((target("avx2"))) void ComplexDotAvx2(const float* w, const ComplexF* c, uint32_t n, float* re,
                                                    float* im) {
  const float* cf = &c[0].re;
  __m256 a01 = _mm256_setzero_ps(), a23 = _mm256_setzero_ps();
  uint32_t j = 0;
  for (; j + 8 <= n; j += 8) {
    a01 = _mm256_add_ps(a01, _mm256_mul_ps(Paired(w + j), _mm256_loadu_ps(cf + 2 * j)));
    a23 = _mm256_add_ps(a23, _mm256_mul_ps(Paired(w + j + 4), _mm256_loadu_ps(cf + 2 * j + 8)));
  }
  for (; j + 4 <= n; j += 4) a01 = _mm256_add_ps(a01, _mm256_mul_ps(Paired(w + j), _mm256_loadu_ps(cf + 2 * j)));
  __m128 s = _mm_add_ps(_mm_add_ps(_mm256_castps256_ps128(a01), _mm256_extractf128_ps(a01, 1)),
                        _mm_add_ps(_mm256_castps256_ps128(a23), _mm256_extractf128_ps(a23, 1)));
  alignas(16) float t[4];
  _mm_store_ps(t, s);
  float r = t[0] + t[2], i = t[1] + t[3];
  for (; j < n; ++j) {
    r += w[j] * c[j].re;
    i += w[j] * c[j].im;
  }
  *re = r;
  *im = i;
}

bool HaveAvx2() {
  __builtin_cpu_init();  // may run before the library's own start-up code
  return __builtin_cpu_supports("avx2");
}
const bool s_haveAvx2 = HaveAvx2();

}  // namespace
#endif

void ComplexDot(const float* w, const ComplexF* c, uint32_t n, float* re, float* im) {
#if defined(__x86_64__)
  if (s_haveAvx2) {
    ComplexDotAvx2(w, c, n, re, im);
    return;
  }
#endif
  uint32_t j = 0;
  float r = 0.0f, i = 0.0f;
#if defined(__SSE2__)
  // Window samples are paired (w0 w0 w1 w1) against interleaved (re im re im)
  // coefficients; four accumulators keep the adds independent.
  const float* cf = &c[0].re;
  __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(), a3 = _mm_setzero_ps();
  for (; j + 8 <= n; j += 8) {
    __m128 x0 = _mm_loadu_ps(w + j);
    __m128 x1 = _mm_loadu_ps(w + j + 4);
    a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_unpacklo_ps(x0, x0), _mm_loadu_ps(cf + 2 * j)));
    a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_unpackhi_ps(x0, x0), _mm_loadu_ps(cf + 2 * j + 4)));
    a2 = _mm_add_ps(a2, _mm_mul_ps(_mm_unpacklo_ps(x1, x1), _mm_loadu_ps(cf + 2 * j + 8)));
    a3 = _mm_add_ps(a3, _mm_mul_ps(_mm_unpackhi_ps(x1, x1), _mm_loadu_ps(cf + 2 * j + 12)));
  }
  for (; j + 4 <= n; j += 4) {
    __m128 x0 = _mm_loadu_ps(w + j);
    a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_unpacklo_ps(x0, x0), _mm_loadu_ps(cf + 2 * j)));
    a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_unpackhi_ps(x0, x0), _mm_loadu_ps(cf + 2 * j + 4)));
  }
  __m128 s = _mm_add_ps(_mm_add_ps(a0, a1), _mm_add_ps(a2, a3));
  alignas(16) float t[4];
  _mm_store_ps(t, s);
  r = t[0] + t[2];
  i = t[1] + t[3];
#endif
  for (; j < n; ++j) {
    r += w[j] * c[j].re;
    i += w[j] * c[j].im;
  }
  *re = r;
  *im = i;
}

uint32_t BPResampler::Resample(uint32_t maxOut, double step, ComplexF* out) {
  const double last = lastPosition_;
  double f = position_ + step;
  if (f > last) return 0;
  uint32_t count = 0;
  while (count < maxOut) {
    int64_t start = static_cast<int64_t>(f - halfLength_ + 0.5);
    double centre = static_cast<double>(start) + halfLength_;
    double frac = f - centre + 0.5;
    int64_t row = static_cast<int64_t>(frac * phasesCopy_);
    if (row < 0) row += phasesCopy_;
    if (row >= phasesCopy_) row -= phasesCopy_;
    ComplexDot(window_ + start, Row(static_cast<uint32_t>(row)), tapsCopy_, &out[count].re, &out[count].im);
    ++count;
    if (f + step > last) {
      position_ = f;
      return count;
    }
    if (count == maxOut) {
      position_ = f;  // the last output produced
      return count;
    }
    f += step;
  }
  return count;
}

bool BPResampler::Fill(const float* block, uint32_t n, uint32_t* consumed) {
  while (!full_ && *consumed < n) {
    uint32_t take = n - *consumed;
    if (take > windowLength_ - fillIndex_) take = windowLength_ - fillIndex_;
    std::memcpy(window_ + fillIndex_, block + *consumed, take * sizeof(float));
    fillIndex_ += take;
    *consumed += take;
    if (fillIndex_ >= windowLength_) full_ = true;
  }
  return full_;
}

uint32_t BPResampler::Slide(const float* block, uint32_t n, uint32_t* consumed) {
  double over = position_ - halfLength_;
  uint32_t shift = over > 0.0 ? static_cast<uint32_t>(over) : 0;
  uint32_t remaining = n - *consumed;
  uint32_t g = shift < remaining ? shift : remaining;
  if (g > windowLength_) g = windowLength_;
  if (g == 0) return 0;
  std::memmove(window_, window_ + g, (windowLength_ - g) * sizeof(float));
  std::memcpy(window_ + windowLength_ - g, block + *consumed, g * sizeof(float));
  position_ -= g;
  *consumed += g;
  return g;
}

}  // namespace hv
