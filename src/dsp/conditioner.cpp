#include "dsp/conditioner.h"

#include <cstring>

#include "dsp/response_tables.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace hv {

ResponseFilter ChooseResponseFilter(bool playback, bool flatChoice, bool fileCompensated) {
  if (!playback) return flatChoice ? ResponseFilter::kCompensation : ResponseFilter::kNone;
  if (flatChoice) return fileCompensated ? ResponseFilter::kNone : ResponseFilter::kCompensation;
  return fileCompensated ? ResponseFilter::kRestoration : ResponseFilter::kNone;
}

Conditioner::Conditioner() { std::memset(work_, 0, sizeof(work_)); }

namespace {

#if defined(__x86_64__)
// Sixteen outputs in two eight-lane registers: each lane does the same
// multiplies and adds in the same order as below (no fused multiply-add), so
// the filtered stream, which Continuous recordings keep, is the same to the bit.
__attribute__((target("avx2"))) uint32_t Fir32Avx2(const float* x, const float* coef, uint32_t count, float* out) {
  uint32_t k = 0;
  for (; k + 16 <= count; k += 16) {
    __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps();
    const float* p = x + k;
    for (uint32_t m = 0; m < Conditioner::kTaps; ++m, ++p) {
      const __m256 c = _mm256_set1_ps(coef[m]);
      a0 = _mm256_add_ps(a0, _mm256_mul_ps(c, _mm256_loadu_ps(p)));
      a1 = _mm256_add_ps(a1, _mm256_mul_ps(c, _mm256_loadu_ps(p + 8)));
    }
    _mm256_storeu_ps(out + k, a0);
    _mm256_storeu_ps(out + k + 8, a1);
  }
  return k;
}

bool HaveAvx2() {
  __builtin_cpu_init();  // may run before the library's own start-up code
  return __builtin_cpu_supports("avx2");
}
const bool s_haveAvx2 = HaveAvx2();

bool HaveFma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma");
}
const bool s_haveFma = HaveFma();
#endif

// The DC estimate follows the input: dc = float(x / 32767 + dc x (1 - 2^-15)),
// one long dependent chain through every sample. dc is a float (24-bit
// mantissa), so dc x (1 - 2^-15) needs at most 39 bits and is exact in double:
// a fused multiply-add rounds the very same sum once, as the separate multiply
// and add do, and gives the same estimate to the bit while taking a step off
// the chain. Returns the estimate after the samples; y gets x - dc.
constexpr double kDcIn = 3.0518509447574615e-05;
constexpr double kDcKeep = 0.999969482421875;

float RemoveDcPlain(const uint8_t* p, uint32_t count, uint32_t bytesPerFrame, float dc, float* y) {
  for (uint32_t k = 0; k < count; ++k, p += bytesPerFrame) {
    int16_t x = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    dc = static_cast<float>(x * kDcIn + dc * kDcKeep);
    y[k] = static_cast<float>(x) - dc;
  }
  return dc;
}

#if defined(__x86_64__)
__attribute__((target("fma"))) float RemoveDcFma(const uint8_t* p, uint32_t count, uint32_t bytesPerFrame, float dc,
                                                 float* y) {
  for (uint32_t k = 0; k < count; ++k, p += bytesPerFrame) {
    int16_t x = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    dc = static_cast<float>(__builtin_fma(static_cast<double>(dc), kDcKeep, x * kDcIn));
    y[k] = static_cast<float>(x) - dc;
  }
  return dc;
}
#endif

float RemoveDc(const uint8_t* p, uint32_t count, uint32_t bytesPerFrame, float dc, float* y) {
#if defined(__x86_64__)
  if (s_haveFma) return RemoveDcFma(p, count, bytesPerFrame, dc, y);
#endif
  return RemoveDcPlain(p, count, bytesPerFrame, dc, y);
}

// out[k] = sum over m of coef[m] * x[k + m], m = 0..31, summed in float32 in
// order of m for every output; sixteen outputs at a time in vector lanes.
void Fir32(const float* x, const float* coef, uint32_t count, float* out) {
  uint32_t k = 0;
#if defined(__x86_64__)
  if (s_haveAvx2) k = Fir32Avx2(x, coef, count, out);
#endif
#if defined(__SSE2__)
  for (; k + 16 <= count; k += 16) {
    __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps(), a3 = _mm_setzero_ps();
    const float* p = x + k;
    for (uint32_t m = 0; m < Conditioner::kTaps; ++m, ++p) {
      const __m128 c = _mm_set1_ps(coef[m]);
      a0 = _mm_add_ps(a0, _mm_mul_ps(c, _mm_loadu_ps(p)));
      a1 = _mm_add_ps(a1, _mm_mul_ps(c, _mm_loadu_ps(p + 4)));
      a2 = _mm_add_ps(a2, _mm_mul_ps(c, _mm_loadu_ps(p + 8)));
      a3 = _mm_add_ps(a3, _mm_mul_ps(c, _mm_loadu_ps(p + 12)));
    }
    _mm_storeu_ps(out + k, a0);
    _mm_storeu_ps(out + k + 4, a1);
    _mm_storeu_ps(out + k + 8, a2);
    _mm_storeu_ps(out + k + 12, a3);
  }
#endif
  for (; k < count; ++k) {
    float acc = 0.0f;
    for (uint32_t m = 0; m < Conditioner::kTaps; ++m) acc += coef[m] * x[k + m];
    out[k] = acc;
  }
}

}  // namespace

int16_t WriteBackSample(float v) {
  if (v >= 32767.0f) return 32767;
  if (v <= -32767.0f) return -32767;
  if (!(v == v)) return 0;
  return static_cast<int16_t>(v);
}

uint32_t Conditioner::Process(uint8_t* input, uint32_t frames, uint32_t bytesPerFrame, ResponseFilter filter,
                              float* out) {
  if (bytesPerFrame < 2) bytesPerFrame = 2;
  const uint32_t count = frames < kBlockSamples ? frames : kBlockSamples;

  // History: the 32 conditioned samples written last, whatever the size of the
  // block that wrote them.
  std::memmove(work_, work_ + lastEnd_ - kTaps, kTaps * sizeof(float));

  float* y = work_ + kTaps;
  const float* coef = filter == ResponseFilter::kCompensation ? kCompensationTable
                      : filter == ResponseFilter::kRestoration ? kRestorationTable
                                                               : nullptr;
  // DC removal is one long dependent chain; filtering each 16 samples right
  // after they are conditioned lets the processor overlap the two.
  float dc = dc_;
  if (coef) {
    for (uint32_t c = 0; c < count; c += 16) {
      const uint32_t end = c + 16 < count ? c + 16 : count;
      dc = RemoveDc(input + c * bytesPerFrame, end - c, bytesPerFrame, dc, y + c);
      Fir32(work_ + c, coef, end - c, out + c);
    }
  } else {
    dc = RemoveDc(input, count, bytesPerFrame, dc, y);
  }
  dc_ = dc;
  lastEnd_ = kTaps + count;

  if (!coef) {
    std::memcpy(out, y, count * sizeof(float));
    return count;
  }
  if (bytesPerFrame == 2) {
    for (uint32_t k = 0; k < count; ++k) {
      uint16_t v = static_cast<uint16_t>(WriteBackSample(out[k]));
      input[2 * k] = static_cast<uint8_t>(v & 0xFF);
      input[2 * k + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  return count;
}

}  // namespace hv
