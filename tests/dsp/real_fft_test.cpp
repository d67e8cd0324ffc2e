// The real FFT against a plain double-precision DFT, in the packed output order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/real_fft.h"

namespace hv {
namespace {

std::vector<double> ReferenceDft(const std::vector<float>& x) {
  const int n = static_cast<int>(x.size());
  std::vector<double> out(n, 0.0);
  for (int m = 0; m <= n / 2; ++m) {
    double re = 0.0, im = 0.0;
    for (int k = 0; k < n; ++k) {
      double a = -2.0 * M_PI * static_cast<double>((static_cast<long>(m) * k) % n) / n;
      re += x[k] * std::cos(a);
      im += x[k] * std::sin(a);
    }
    out[m] = re;
    if (m >= 1 && m < n / 2) out[n / 2 + m] = im;
  }
  return out;
}

// Also transformed in place, by the same object a second time: the same words.
TEST(RealFFT, MatchesDirectTransformAlsoInPlace) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
  for (int n : {2, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 12}) {
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    RealFFT fft(n);
    std::vector<float> out(n);
    fft.Transform(x.data(), out.data());
    std::vector<double> ref = ReferenceDft(x);
    double scale = 0.0;
    for (double v : ref) scale = std::max(scale, std::fabs(v));
    for (int w = 0; w < n; ++w)
      ASSERT_NEAR(out[w], ref[w], 2e-6 * scale * std::log2(n + 1.0)) << "n=" << n << " word " << w;
    fft.Transform(x.data(), x.data());
    EXPECT_EQ(x, out) << n;
  }
}

// The eight-lane stages give the four-lane transform to the bit (spectrum
// frames decide Auto Snap triggers; they must not depend on the processor).
TEST(RealFFT, WideStagesGiveTheSameBits) {
  const bool wide = RealFFT::WideKernels();
  if (!RealFFT::UseWideKernels(true)) GTEST_SKIP() << "no AVX on this processor";
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> dist(-32768.0f, 32768.0f);
  for (int n : {32, 64, 128, 256, 512, 1024, 2048, 4096}) {
    RealFFT fft(n);
    for (int round = 0; round < 20; ++round) {
      std::vector<float> x(n), narrow(n), broad(n);
      for (float& v : x) v = dist(rng);
      RealFFT::UseWideKernels(false);
      fft.Transform(x.data(), narrow.data());
      RealFFT::UseWideKernels(true);
      fft.Transform(x.data(), broad.data());
      ASSERT_EQ(std::memcmp(narrow.data(), broad.data(), n * sizeof(float)), 0) << "n = " << n;
    }
  }
  RealFFT::UseWideKernels(wide);
}

}  // namespace
}  // namespace hv
