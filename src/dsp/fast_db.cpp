#include "dsp/fast_db.h"

#include <cmath>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace hv {

namespace {
// 10 log10(2) and 10 / ln(10).
constexpr float kDbPerOctave = 3.01029995663981f;
constexpr float kDbPerNeper = 4.34294481903252f;

inline float ScalarDb(float p, float offset) {
  return 10.0f * std::log10(p + 1e-20f) + offset;
}
}  // namespace

void PowerToDb(const float* power, int count, float offset, float* out) {
  int i = 0;
#if defined(__SSE2__)
  const __m128 tiny = _mm_set1_ps(1e-20f);
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 sqrt2 = _mm_set1_ps(1.41421356f);
  const __m128 halfv = _mm_set1_ps(0.5f);
  const __m128i mantMask = _mm_set1_epi32(0x007FFFFF);
  const __m128i oneBits = _mm_set1_epi32(0x3F800000);
  const __m128i bias = _mm_set1_epi32(127);
  const __m128 c1 = _mm_set1_ps(2.0f), c3 = _mm_set1_ps(2.0f / 3.0f), c5 = _mm_set1_ps(2.0f / 5.0f),
               c7 = _mm_set1_ps(2.0f / 7.0f), c9 = _mm_set1_ps(2.0f / 9.0f);
  const __m128 perOctave = _mm_set1_ps(kDbPerOctave), perNeper = _mm_set1_ps(kDbPerNeper);
  const __m128 off = _mm_set1_ps(offset);
  for (; i + 4 <= count; i += 4) {
    __m128 x = _mm_add_ps(_mm_loadu_ps(power + i), tiny);
    __m128i bits = _mm_castps_si128(x);
    __m128i e = _mm_sub_epi32(_mm_srli_epi32(bits, 23), bias);
    __m128 m = _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, mantMask), oneBits));
    // Mantissa into [sqrt(1/2), sqrt(2)): halve it and count one more octave.
    __m128 big = _mm_cmpgt_ps(m, sqrt2);
    m = _mm_or_ps(_mm_and_ps(big, _mm_mul_ps(m, halfv)), _mm_andnot_ps(big, m));
    e = _mm_sub_epi32(e, _mm_castps_si128(big));  // the mask is -1 where halved
    // ln m = 2 atanh(t), t = (m - 1)/(m + 1), |t| <= 0.1716.
    __m128 t = _mm_div_ps(_mm_sub_ps(m, one), _mm_add_ps(m, one));
    __m128 t2 = _mm_mul_ps(t, t);
    __m128 poly = _mm_add_ps(c7, _mm_mul_ps(t2, c9));
    poly = _mm_add_ps(c5, _mm_mul_ps(t2, poly));
    poly = _mm_add_ps(c3, _mm_mul_ps(t2, poly));
    poly = _mm_add_ps(c1, _mm_mul_ps(t2, poly));
    __m128 lnm = _mm_mul_ps(t, poly);
    __m128 db = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(e), perOctave), _mm_mul_ps(lnm, perNeper));
    _mm_storeu_ps(out + i, _mm_add_ps(db, off));
    // Non-positive, infinite or NaN powers take the plain logarithm (NaN stays NaN).
    __m128 ok = _mm_and_ps(_mm_cmpgt_ps(x, _mm_setzero_ps()), _mm_cmplt_ps(x, _mm_set1_ps(3.4e38f)));
    int okMask = _mm_movemask_ps(ok);
    if (okMask != 0xF) {
      alignas(16) float lifted[4];  // p + 1e-20 (out may be the input array)
      _mm_store_ps(lifted, x);
      for (int lane = 0; lane < 4; ++lane)
        if (!(okMask & (1 << lane))) out[i + lane] = 10.0f * std::log10(lifted[lane]) + offset;
    }
  }
#endif
  for (; i < count; ++i) out[i] = ScalarDb(power[i], offset);
}

}  // namespace hv
