#include "dsp/real_fft.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#define HV_FFT_VECTOR 1
#endif

namespace hv {

namespace {

float* AllocFloats(size_t count) {
  size_t bytes = (count * sizeof(float) + 63) / 64 * 64;
  if (bytes == 0) bytes = 64;
  void* p = std::aligned_alloc(64, bytes);
  std::memset(p, 0, bytes);
  return static_cast<float*>(p);
}

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

#if HV_FFT_VECTOR
using V = __m128;
inline V Add(V a, V b) { return _mm_add_ps(a, b); }
inline V Sub(V a, V b) { return _mm_sub_ps(a, b); }
inline V Mul(V a, V b) { return _mm_mul_ps(a, b); }
inline V Load(const float* p) { return _mm_load_ps(p); }
inline void Store(float* p, V v) { _mm_store_ps(p, v); }
inline V Reverse(V v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// (ar + i ai) * (wr + i wi), split form.
inline void CMul(V ar, V ai, V wr, V wi, V* outR, V* outI) {
  *outR = Sub(Mul(ar, wr), Mul(ai, wi));
  *outI = Add(Mul(ar, wi), Mul(ai, wr));
}

// Radix-2 decimation-in-frequency stage over the whole array, span h = M/2.
void Radix2Stage(float* re, float* im, int h, const float* wr, const float* wi) {
  for (int j = 0; j < h; j += 4) {
    V ar = Load(re + j), ai = Load(im + j);
    V br = Load(re + j + h), bi = Load(im + j + h);
    Store(re + j, Add(ar, br));
    Store(im + j, Add(ai, bi));
    V dr, di;
    CMul(Sub(ar, br), Sub(ai, bi), Load(wr + j), Load(wi + j), &dr, &di);
    Store(re + j + h, dr);
    Store(im + j + h, di);
  }
}

// Radix-4 DIF stage on sub-transforms of length L = 4s (s >= 4), twiddles
// w^j, w^2j, w^3j (w = e^(-2 pi i / L)) stored as six arrays of s.
void Radix4Stage(float* re, float* im, int m, int s, const float* tw) {
  const float *w1r = tw, *w1i = tw + s, *w2r = tw + 2 * s, *w2i = tw + 3 * s, *w3r = tw + 4 * s,
              *w3i = tw + 5 * s;
  for (int base = 0; base < m; base += 4 * s) {
    float* r = re + base;
    float* i = im + base;
    for (int j = 0; j < s; j += 4) {
      V a0r = Load(r + j), a0i = Load(i + j);
      V a1r = Load(r + j + s), a1i = Load(i + j + s);
      V a2r = Load(r + j + 2 * s), a2i = Load(i + j + 2 * s);
      V a3r = Load(r + j + 3 * s), a3i = Load(i + j + 3 * s);
      V t0r = Add(a0r, a2r), t0i = Add(a0i, a2i);
      V t1r = Sub(a0r, a2r), t1i = Sub(a0i, a2i);
      V t2r = Add(a1r, a3r), t2i = Add(a1i, a3i);
      // t3 = -i * (a1 - a3)
      V t3r = Sub(a1i, a3i), t3i = Sub(a3r, a1r);
      Store(r + j, Add(t0r, t2r));
      Store(i + j, Add(t0i, t2i));
      V yr, yi;
      CMul(Add(t1r, t3r), Add(t1i, t3i), Load(w1r + j), Load(w1i + j), &yr, &yi);
      Store(r + j + s, yr);
      Store(i + j + s, yi);
      CMul(Sub(t0r, t2r), Sub(t0i, t2i), Load(w2r + j), Load(w2i + j), &yr, &yi);
      Store(r + j + 2 * s, yr);
      Store(i + j + 2 * s, yi);
      CMul(Sub(t1r, t3r), Sub(t1i, t3i), Load(w3r + j), Load(w3i + j), &yr, &yi);
      Store(r + j + 3 * s, yr);
      Store(i + j + 3 * s, yi);
    }
  }
}

#if defined(__x86_64__)
// The same two stages eight lanes wide where the processor has AVX (spans of
// at least 8). Every lane does the same multiplies, adds and subtractions in
// the same order as the four-lane code (no fused multiply-add), so the
// transform is the same to the bit.
using W = __m256;

__attribute__((target("avx"))) void Radix2StageAvx(float* re, float* im, int h, const float* wr, const float* wi) {
  for (int j = 0; j < h; j += 8) {
    W ar = _mm256_load_ps(re + j), ai = _mm256_load_ps(im + j);
    W br = _mm256_load_ps(re + j + h), bi = _mm256_load_ps(im + j + h);
    _mm256_store_ps(re + j, _mm256_add_ps(ar, br));
    _mm256_store_ps(im + j, _mm256_add_ps(ai, bi));
    W xr = _mm256_sub_ps(ar, br), xi = _mm256_sub_ps(ai, bi);
    W cr = _mm256_load_ps(wr + j), ci = _mm256_load_ps(wi + j);
    _mm256_store_ps(re + j + h, _mm256_sub_ps(_mm256_mul_ps(xr, cr), _mm256_mul_ps(xi, ci)));
    _mm256_store_ps(im + j + h, _mm256_add_ps(_mm256_mul_ps(xr, ci), _mm256_mul_ps(xi, cr)));
  }
}

__attribute__((target("avx"))) void Radix4StageAvx(float* re, float* im, int m, int s, const float* tw) {
  const float *w1r = tw, *w1i = tw + s, *w2r = tw + 2 * s, *w2i = tw + 3 * s, *w3r = tw + 4 * s,
              *w3i = tw + 5 * s;
  for (int base = 0; base < m; base += 4 * s) {
    float* r = re + base;
    float* i = im + base;
    for (int j = 0; j < s; j += 8) {
      W a0r = _mm256_load_ps(r + j), a0i = _mm256_load_ps(i + j);
      W a1r = _mm256_load_ps(r + j + s), a1i = _mm256_load_ps(i + j + s);
      W a2r = _mm256_load_ps(r + j + 2 * s), a2i = _mm256_load_ps(i + j + 2 * s);
      W a3r = _mm256_load_ps(r + j + 3 * s), a3i = _mm256_load_ps(i + j + 3 * s);
      W t0r = _mm256_add_ps(a0r, a2r), t0i = _mm256_add_ps(a0i, a2i);
      W t1r = _mm256_sub_ps(a0r, a2r), t1i = _mm256_sub_ps(a0i, a2i);
      W t2r = _mm256_add_ps(a1r, a3r), t2i = _mm256_add_ps(a1i, a3i);
      W t3r = _mm256_sub_ps(a1i, a3i), t3i = _mm256_sub_ps(a3r, a1r);
      _mm256_store_ps(r + j, _mm256_add_ps(t0r, t2r));
      _mm256_store_ps(i + j, _mm256_add_ps(t0i, t2i));
      W xr = _mm256_add_ps(t1r, t3r), xi = _mm256_add_ps(t1i, t3i);
      W cr = _mm256_load_ps(w1r + j), ci = _mm256_load_ps(w1i + j);
      _mm256_store_ps(r + j + s, _mm256_sub_ps(_mm256_mul_ps(xr, cr), _mm256_mul_ps(xi, ci)));
      _mm256_store_ps(i + j + s, _mm256_add_ps(_mm256_mul_ps(xr, ci), _mm256_mul_ps(xi, cr)));
      xr = _mm256_sub_ps(t0r, t2r);
      xi = _mm256_sub_ps(t0i, t2i);
      cr = _mm256_load_ps(w2r + j);
      ci = _mm256_load_ps(w2i + j);
      _mm256_store_ps(r + j + 2 * s, _mm256_sub_ps(_mm256_mul_ps(xr, cr), _mm256_mul_ps(xi, ci)));
      _mm256_store_ps(i + j + 2 * s, _mm256_add_ps(_mm256_mul_ps(xr, ci), _mm256_mul_ps(xi, cr)));
      xr = _mm256_sub_ps(t1r, t3r);
      xi = _mm256_sub_ps(t1i, t3i);
      cr = _mm256_load_ps(w3r + j);
      ci = _mm256_load_ps(w3i + j);
      _mm256_store_ps(r + j + 3 * s, _mm256_sub_ps(_mm256_mul_ps(xr, cr), _mm256_mul_ps(xi, ci)));
      _mm256_store_ps(i + j + 3 * s, _mm256_add_ps(_mm256_mul_ps(xr, ci), _mm256_mul_ps(xi, cr)));
    }
  }
}

bool HaveAvx() {
  __builtin_cpu_init();  // may run before the library's own start-up code
  return __builtin_cpu_supports("avx");
}
#endif

// Last radix-4 stage (span 1): four 4-point transforms at a time, done on
// transposed registers. Output q of group 4c + l lands at 16c + 4q + l.
void LastRadix4Stage(float* re, float* im, int m) {
  for (int c = 0; c < m; c += 16) {
    V r0 = Load(re + c), r1 = Load(re + c + 4), r2 = Load(re + c + 8), r3 = Load(re + c + 12);
    V i0 = Load(im + c), i1 = Load(im + c + 4), i2 = Load(im + c + 8), i3 = Load(im + c + 12);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
    V t0r = Add(r0, r2), t0i = Add(i0, i2);
    V t1r = Sub(r0, r2), t1i = Sub(i0, i2);
    V t2r = Add(r1, r3), t2i = Add(i1, i3);
    V t3r = Sub(i1, i3), t3i = Sub(r3, r1);
    Store(re + c, Add(t0r, t2r));
    Store(im + c, Add(t0i, t2i));
    Store(re + c + 4, Add(t1r, t3r));
    Store(im + c + 4, Add(t1i, t3i));
    Store(re + c + 8, Sub(t0r, t2r));
    Store(im + c + 8, Sub(t0i, t2i));
    Store(re + c + 12, Sub(t1r, t3r));
    Store(im + c + 12, Sub(t1i, t3i));
  }
}
#endif

// Position -> frequency of an in-place DIF with the given radices.
void AssignFrequencies(std::vector<int>& freqAt, const std::vector<int>& radices, size_t stage, int base,
                       int length, int offset, int stride) {
  if (stage == radices.size()) {
    freqAt[base] = offset;
    return;
  }
  int r = radices[stage];
  int sub = length / r;
  for (int q = 0; q < r; ++q)
    AssignFrequencies(freqAt, radices, stage + 1, base + q * sub, sub, offset + q * stride, stride * r);
}

}  // namespace

namespace {
#if defined(__x86_64__)
std::atomic<bool> s_wide{HaveAvx()};
#else
std::atomic<bool> s_wide{false};
#endif
}  // namespace

bool RealFFT::WideKernels() { return s_wide.load(std::memory_order_relaxed); }

bool RealFFT::UseWideKernels(bool wide) {
#if defined(__x86_64__)
  s_wide.store(wide && HaveAvx(), std::memory_order_relaxed);
#else
  (void)wide;
#endif
  return WideKernels();
}

RealFFT::RealFFT(int n) : n_(n), half_(n / 2) {
  const double twoPi = 6.283185307179586;
#if HV_FFT_VECTOR
  fast_ = IsPowerOfTwo(n) && n >= 32;
#endif
  if (!fast_) {
    cosTable_ = AllocFloats(n > 0 ? n : 1);
    sinTable_ = AllocFloats(n > 0 ? n : 1);
    for (int k = 0; k < n; ++k) {
      cosTable_[k] = static_cast<float>(std::cos(twoPi * k / n));
      sinTable_[k] = static_cast<float>(std::sin(twoPi * k / n));
    }
    re_ = AllocFloats(half_ + 1);
    im_ = AllocFloats(half_ + 1);
    return;
  }
  const int m = half_;
  int p = 0;
  while ((1 << p) < m) ++p;
  radix2First_ = (p % 2) == 1;
  re_ = AllocFloats(m + 4);
  im_ = AllocFloats(m + 4);
  zr_ = AllocFloats(m + 8);
  zi_ = AllocFloats(m + 8);
  postCos_ = AllocFloats(m);
  postSin_ = AllocFloats(m);
  for (int k = 0; k < m; ++k) {
    postCos_[k] = static_cast<float>(std::cos(twoPi * k / n));
    postSin_[k] = static_cast<float>(-std::sin(twoPi * k / n));
  }

  // Twiddles: the radix-2 stage (if any), then each radix-4 stage with span >= 4.
  std::vector<int> radices;
  size_t twiddleCount = 0;
  int length = m;
  if (radix2First_) {
    radices.push_back(2);
    twiddleCount += m;  // wr, wi of M/2 each
    length /= 2;
  }
  for (int l = length; l >= 4; l /= 4) {
    radices.push_back(4);
    if (l >= 16) twiddleCount += 6 * (l / 4);
  }
  stageTwiddles_ = AllocFloats(twiddleCount);
  float* t = stageTwiddles_;
  if (radix2First_) {
    int h = m / 2;
    for (int j = 0; j < h; ++j) {
      t[j] = static_cast<float>(std::cos(twoPi * j / m));
      t[h + j] = static_cast<float>(-std::sin(twoPi * j / m));
    }
    t += m;
  }
  for (int l = length; l >= 16; l /= 4) {
    int s = l / 4;
    for (int j = 0; j < s; ++j) {
      for (int q = 1; q <= 3; ++q) {
        t[(2 * q - 2) * s + j] = static_cast<float>(std::cos(twoPi * q * j / l));
        t[(2 * q - 1) * s + j] = static_cast<float>(-std::sin(twoPi * q * j / l));
      }
    }
    t += 6 * s;
  }

  // Where each frequency ends up: digit reversal, then the transposed last stage.
  std::vector<int> freqAt(m);
  AssignFrequencies(freqAt, radices, 0, 0, m, 0, 1);
  position_ = static_cast<int*>(std::aligned_alloc(64, ((m * sizeof(int)) + 63) / 64 * 64));
  for (int pos = 0; pos < m; ++pos) {
    int c = pos / 16, l = (pos % 16) / 4, q = pos % 4;
    int actual = 16 * c + 4 * q + l;
    position_[freqAt[pos]] = actual;
  }
}

RealFFT::~RealFFT() {
  for (float* p : {re_, im_, zr_, zi_, stageTwiddles_, postCos_, postSin_, cosTable_, sinTable_}) std::free(p);
  std::free(position_);
}

void RealFFT::Transform(const float* in, float* out) {
  if (fast_)
    TransformFast(in, out);
  else
    TransformDirect(in, out);
}

void RealFFT::TransformDirect(const float* in, float* out) {
  const int n = n_, m = half_;
  if (n <= 0) return;
  // Results go to the work arrays first so that in == out works.
  float* r = re_;
  float* i = im_;
  for (int k = 0; k <= m; ++k) {
    double sr = 0.0, si = 0.0;
    for (int j = 0; j < n; ++j) {
      int idx = static_cast<int>((static_cast<int64_t>(k) * j) % n);
      sr += static_cast<double>(in[j]) * cosTable_[idx];
      si -= static_cast<double>(in[j]) * sinTable_[idx];
    }
    r[k] = static_cast<float>(sr);
    i[k] = static_cast<float>(si);
  }
  for (int k = 0; k <= m; ++k) out[k] = r[k];
  for (int k = 1; k < m; ++k) out[m + k] = i[k];
}

void RealFFT::TransformFast(const float* in, float* out) {
#if HV_FFT_VECTOR
  const int m = half_;
  float* re = re_;
  float* im = im_;
  // Even samples are the real parts, odd samples the imaginary parts.
  for (int k = 0; k < m; k += 4) {
    V a = _mm_loadu_ps(in + 2 * k), b = _mm_loadu_ps(in + 2 * k + 4);
    Store(re + k, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    Store(im + k, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
  }
  const float* tw = stageTwiddles_;
  int length = m;
#if defined(__x86_64__)
  const bool wide = WideKernels();
#else
  const bool wide = false;
#endif
  if (radix2First_) {
#if defined(__x86_64__)
    if (wide && m / 2 >= 8)
      Radix2StageAvx(re, im, m / 2, tw, tw + m / 2);
    else
#endif
      Radix2Stage(re, im, m / 2, tw, tw + m / 2);
    tw += m;
    length /= 2;
  }
  for (int l = length; l >= 16; l /= 4) {
#if defined(__x86_64__)
    if (wide && l / 4 >= 8)
      Radix4StageAvx(re, im, m, l / 4, tw);
    else
#endif
      Radix4Stage(re, im, m, l / 4, tw);
    tw += 6 * (l / 4);
  }
  LastRadix4Stage(re, im, m);

  // Unscramble into natural order; entry M repeats entry 0.
  float* zr = zr_;
  float* zi = zi_;
  for (int k = 0; k < m; ++k) {
    int p = position_[k];
    zr[k] = re[p];
    zi[k] = im[p];
  }
  zr[m] = zr[0];
  zi[m] = zi[0];

  // Split: with A = Z_k, B = Z_(M-k): E = (A + conj B)/2, O = -i (A - conj B)/2,
  // X_k = E + e^(-2 pi i k/N) O.
  const V half = _mm_set1_ps(0.5f);
  for (int k = 0; k < m; k += 4) {
    V ar = Load(zr + k), ai = Load(zi + k);
    V br = Reverse(_mm_loadu_ps(zr + m - k - 3)), bi = Reverse(_mm_loadu_ps(zi + m - k - 3));
    V er = Mul(half, Add(ar, br)), ei = Mul(half, Sub(ai, bi));
    V orr = Mul(half, Add(ai, bi)), oi = Mul(half, Sub(br, ar));
    V wr = Load(postCos_ + k), wi = Load(postSin_ + k);
    V xr = Add(er, Sub(Mul(wr, orr), Mul(wi, oi)));
    V xi = Add(ei, Add(Mul(wr, oi), Mul(wi, orr)));
    _mm_storeu_ps(out + k, xr);
    _mm_storeu_ps(out + m + k, xi);
  }
  out[m] = zr[0] - zi[0];
#else
  TransformDirect(in, out);
#endif
}

}  // namespace hv
