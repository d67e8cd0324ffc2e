// The spectrum analyser: window, power spectrum, levels, peak, floor and the
// harmonic ratio walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "dsp/fast_db.h"
#include "dsp/frame_analyser.h"
#include "dsp/power_fft.h"

namespace hv {
namespace {

TEST(SpectrumSFFT, DbPowerSumExamples) {
  const float cases[][3] = {{-100.0f, -100.0f, -97.0f}, {0.0f, -20.0f, 0.0f}, {10.0f, 5.0f, 12.0f}, {5.0f, 10.0f, 12.0f}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(DbPowerSum(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

// The four-term window of length n, in double.
double Window(int i, int n) {
  double a = 2.0 * M_PI * i / (n - 1);
  return 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
}

// |sum of x_i w_i e^(-2 pi i m i / 256)|^2 with the four-term window, in double.
double ReferencePower(const std::vector<float>& x, int m) {
  const int n = static_cast<int>(x.size());
  double re = 0.0, im = 0.0;
  for (int i = 0; i < n; ++i) {
    double w = Window(i, n);
    re += x[i] * w * std::cos(2.0 * M_PI * m * i / 256.0);
    im -= x[i] * w * std::sin(2.0 * M_PI * m * i / 256.0);
  }
  return re * re + im * im;
}

TEST(SpectrumSFFT, WindowIsTheFourTermFormulaAndRebuiltPerLength) {
  SpectrumSFFT s;
  std::vector<float> in(256, 1.0f), out(129);
  for (int n : {256, 100}) {
    ASSERT_TRUE(s.PowerSpectrum(in.data(), n, out.data(), 129));
    ASSERT_EQ(s.windowLength(), n);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(s.window()[i], Window(i, n), 2e-7) << n << " " << i;
  }
  EXPECT_FALSE(s.PowerSpectrum(in.data(), 257, out.data(), 129));
  EXPECT_FALSE(s.PowerSpectrum(in.data(), 0, out.data(), 129));
}

TEST(SpectrumSFFT, PowerOfAToneAndTheInterleavedForm) {
  SpectrumSFFT s;
  std::vector<float> x(256), pairs(512), p(129), q(258);
  for (int i = 0; i < 256; ++i) {
    x[i] = static_cast<float>(1000.0 * std::sin(2.0 * M_PI * 32.0 * i / 256.0));
    pairs[2 * i] = x[i];
    pairs[2 * i + 1] = 12345.0f;  // ignored
  }
  ASSERT_TRUE(s.PowerSpectrum(x.data(), 256, p.data(), 129));
  const double expected = ReferencePower(x, 32);
  EXPECT_NEAR(p[32] / expected, 1.0, 1e-5);
  EXPECT_NEAR(p[31] / ReferencePower(x, 31), 1.0, 1e-4);
  EXPECT_LT(p[40], expected * 1e-9);
  ASSERT_TRUE(s.PowerSpectrumInterleaved(pairs.data(), 256, q.data(), 129));
  for (int m = 0; m <= 128; ++m) {
    EXPECT_FLOAT_EQ(q[2 * m], p[m]);
    EXPECT_EQ(q[2 * m + 1], 0.0f);
  }
  // The capacity limits the bins written.
  std::vector<float> small(10, -1.0f);
  ASSERT_TRUE(s.PowerSpectrum(x.data(), 256, small.data(), 5));
  EXPECT_EQ(small[5], -1.0f);
}

std::vector<float> Tone(double bin, double amplitude, int n = 256, double noise = 0.0, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> d(0.0, 1.0);
  std::vector<float> x(n);
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * bin * i / 256.0) + noise * d(rng));
  return x;
}

TEST(SpectrumAnalyser, ToneLandsInItsBinAtTheConventionLevel) {
  SpectrumAnalyser a;
  std::vector<float> x = Tone(40.0, 1000.0, 256, 1.0);
  SpectrumFrame f;
  a.MakeFrame(x.data(), SnapshotBandBins(18000.0f, 120000.0f, 125000.0f), 19.0f, &f);
  EXPECT_EQ(f.peakBin, 40.0f);
  // 10 log10(P) - 20 log10(256) + V; a full-scale-free check: about 20 log10(A/2 x 0.359) + V.
  const double level = 10.0 * std::log10(ReferencePower(x, 40)) - 20.0 * std::log10(256.0) + 19.0;
  EXPECT_NEAR(f.peakLevel, level, 1e-3);
  EXPECT_NEAR(level, 20.0 * std::log10(1000.0 / 2.0 * 0.35875) + 19.0, 0.05);
  for (int m = 1; m < 128; ++m) {
    double ref = 10.0 * std::log10(ReferencePower(x, m) + 1e-20) - 20.0 * std::log10(256.0) + 19.0;
    // Bins far below the tone carry the float transform's rounding.
    ASSERT_NEAR(a.levels()[m], ref, ref > level - 40.0 ? 1e-3 : 0.05) << m;
  }
  for (int i = 0; i < 64; ++i) EXPECT_EQ(f.samples[i], x[i]);
  EXPECT_LT(f.noiseFloor, f.peakLevel - 20.0f);
  EXPECT_GT(f.harmonicRatio, 0.0f);
}

TEST(SpectrumAnalyser, PeakOutsideTheSnapshotBandIsIgnored) {
  SpectrumAnalyser a;
  std::vector<float> x = Tone(20.0, 1000.0);
  SpectrumFrame f;
  // Band above every loud bin: bin 0 and -10 dB.
  a.MakeFrame(x.data(), SnapshotBandBins(100000.0f, 120000.0f, 125000.0f), 19.0f, &f);
  EXPECT_EQ(f.peakBin, 0.0f);
  EXPECT_EQ(f.peakLevel, -10.0f);
  EXPECT_EQ(f.noiseFloor, a.noiseFloor()[0]);
}

TEST(SpectrumAnalyser, SnapshotBandBins) {
  SnapshotBand b = SnapshotBandBins(18000.0f, 120000.0f, 125000.0f), clamped = SnapshotBandBins(-5.0f, 900000.0f, 125000.0f);
  EXPECT_EQ(std::tuple(b.low, b.high, clamped.low, clamped.high), std::tuple(18, 122, 0, 127));
}

// Independent walk: each bin 1..127 classified by the windows of the peak.
float ReferenceRatio(const SpectrumAnalyser& a, int peak, std::vector<int>* classOf) {
  classOf->assign(128, 0);  // 0 outside, 1 peak, 2 harmonic
  int t = peak;
  for (int b = std::max(t - 5, 0); b < std::min(t + 5, 128); ++b) (*classOf)[b] = 1;
  int hi = std::min(t + 5, 128);
  for (int n = 2; peak > 0; ++n) {
    int B = static_cast<int>(n * peak + 0.5);
    if (B >= 133) break;
    for (int b = std::max(B - 5, hi); b < std::min(B + 5, 127); ++b) (*classOf)[b] = 2;
    hi = std::max(hi, std::min(B + 5, 127));
  }
  float sums[3] = {-100.0f, -100.0f, -100.0f};
  for (int b = 1; b < 128; ++b) sums[(*classOf)[b]] = DbPowerSum(sums[(*classOf)[b]], a.levels()[b] - a.noiseFloor()[b]);
  return DbPowerSum(sums[1], sums[2]) - sums[0];
}

TEST(SpectrumAnalyser, HarmonicWindowsFollowThePeak) {
  SpectrumFrame f;
  std::vector<int> classOf;
  {
    // Peak at 70: only its own window 65..74 (the second harmonic, 140, is out of range).
    SpectrumAnalyser a;
    std::vector<float> x = Tone(70.0, 1000.0, 256, 3.0);
    a.MakeFrame(x.data(), SnapshotBand{1, 127}, 19.0f, &f);
    ASSERT_EQ(f.peakBin, 70.0f);
    EXPECT_FLOAT_EQ(f.harmonicRatio, ReferenceRatio(a, 70, &classOf));
    for (int b = 1; b < 128; ++b) EXPECT_EQ(classOf[b], (b >= 65 && b < 75) ? 1 : 0);
  }
  {
    // Peak at 30 with harmonics at 60, 90, 120.
    SpectrumAnalyser a;
    std::vector<float> x = Tone(30.0, 1000.0, 256, 3.0), h2 = Tone(60.0, 300.0), h3 = Tone(90.0, 200.0);
    for (int i = 0; i < 256; ++i) x[i] += h2[i] + h3[i];
    a.MakeFrame(x.data(), SnapshotBand{1, 127}, 19.0f, &f);
    ASSERT_EQ(f.peakBin, 30.0f);
    EXPECT_FLOAT_EQ(f.harmonicRatio, ReferenceRatio(a, 30, &classOf));
    EXPECT_EQ(classOf[60], 2);
    EXPECT_EQ(classOf[124], 2);
    EXPECT_EQ(classOf[125], 0);
    EXPECT_EQ(classOf[45], 0);
    EXPECT_GT(f.harmonicRatio, 0.0f);
  }
}

TEST(SpectrumAnalyser, BatchOfFramesEqualsFramesOneByOne) {
  std::vector<float> x = Tone(30.0, 1000.0, 256 + 64 * 10, 50.0, 4), h = Tone(61.0, 400.0, 256 + 64 * 10);
  for (size_t i = 0; i < x.size(); ++i) x[i] += h[i] * static_cast<float>(i % 700) / 700.0f;
  SpectrumAnalyser batch, single;
  std::vector<SpectrumFrame> a(11), b(11);
  batch.MakeFrames(x.data(), 11, SnapshotBand{10, 120}, 19.0f, a.data());
  for (int i = 0; i < 11; ++i) single.MakeFrame(x.data() + 64 * i, SnapshotBand{10, 120}, 19.0f, &b[i]);
  EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof(SpectrumFrame) * 11), 0);
}

TEST(SpectrumAnalyser, DigitalSilenceEndsTheWalk) {
  SpectrumAnalyser a;
  std::vector<float> zeros(256, 0.0f);
  SpectrumFrame f;
  for (int i = 0; i < 3; ++i) a.MakeFrame(zeros.data(), SnapshotBand{0, 127}, 19.0f, &f);
  EXPECT_EQ(f.peakBin, 0.0f);
  EXPECT_EQ(f.peakLevel, -10.0f);
  std::vector<int> classOf;
  EXPECT_FLOAT_EQ(f.harmonicRatio, ReferenceRatio(a, 0, &classOf));
  for (int b = 5; b < 128; ++b) EXPECT_EQ(classOf[b], 0);
}

TEST(SpectrumAnalyser, FloorFollowsTheSmoothedSpectrum) {
  SpectrumAnalyser a;
  SpectrumFrame f;
  std::vector<float> noise = Tone(0.0, 0.0, 256, 10.0, 9);
  a.MakeFrame(noise.data(), SnapshotBand{1, 127}, 19.0f, &f);
  // The first frame starts the smoothed spectrum at its own levels.
  for (int m = 0; m < 128; ++m) EXPECT_EQ(a.smoothed()[m], a.levels()[m]);
  std::vector<float> tone = Tone(50.0, 3000.0, 256, 10.0, 10);
  for (int i = 0; i < 50; ++i) a.MakeFrame(tone.data(), SnapshotBand{1, 127}, 19.0f, &f);
  // A steady narrow tone hardly lifts the floor (erosion removes it).
  EXPECT_LT(a.noiseFloor()[50], a.levels()[50] - 40.0f);
}

// The floor of every bin, edges included, against a plain double-precision
// dilate (3) / erode (7) / mean (15) of the smoothed spectrum, over noise
// frames and a tone that leaves steep edges in the spectrum.
TEST(SpectrumAnalyser, FloorIsTheDilatedErodedMeanOfTheSmoothedSpectrum) {
  SpectrumAnalyser a;
  SpectrumFrame f;
  for (int i = 0; i < 12; ++i) {
    std::vector<float> s = i % 3 == 2 ? Tone(37.0 + i, 4000.0, 256, 30.0, 20 + i) : Tone(0.0, 0.0, 256, 30.0, 20 + i);
    a.MakeFrame(s.data(), SnapshotBand{1, 127}, 19.0f, &f);
    const float* sm = a.smoothed();
    double dilated[128], eroded[128];
    for (int m = 0; m < 128; ++m) {
      double v = sm[m];
      if (m > 0) v = std::max(v, double(sm[m - 1]));
      if (m < 127) v = std::max(v, double(sm[m + 1]));
      dilated[m] = v;
    }
    for (int m = 0; m < 128; ++m) {
      double v = INFINITY;
      for (int k = std::max(0, m - 3); k <= std::min(127, m + 3); ++k) v = std::min(v, dilated[k]);
      eroded[m] = v;
    }
    for (int m = 0; m < 128; ++m) {
      double sum = 0.0;
      int lo = std::max(0, m - 7), hi = std::min(127, m + 7);
      for (int k = lo; k <= hi; ++k) sum += eroded[k];
      ASSERT_NEAR(a.noiseFloor()[m], sum / (hi - lo + 1), 1e-3) << "frame " << i << " bin " << m;
    }
  }
}

// The error of the fast logarithm depends on the mantissa alone (the exponent
// adds a whole number of octaves), so every one of the 2^23 mantissas, at the
// exponents of the smallest and largest powers in use, bounds it for all inputs.
TEST(PowerToDb, EveryMantissaIsWithinAHundredthOfADecibel) {
  const int exponents[] = {-66, -20, 0, 30, 60};  // 1e-20 (silence) .. 1e18 (full scale, 512-point FFT)
  std::vector<float> p(1 << 23), db(1 << 23);
  double worst = 0.0;
  for (int e : exponents) {
    for (uint32_t m = 0; m < (1u << 23); ++m) p[m] = std::ldexp(1.0f + float(m) / float(1 << 23), e);
    PowerToDb(p.data(), static_cast<int>(p.size()), 0.0f, db.data());
    for (uint32_t m = 0; m < (1u << 23); ++m) {
      double ref = 10.0 * std::log10(double(p[m] + 1e-20f));
      worst = std::max(worst, std::fabs(db[m] - ref));
    }
  }
  EXPECT_LT(worst, 1e-4);  // well within 0.01 dB: what the series achieves, rounding of the levels included
}

TEST(PowerToDb, AgreesWithTheLogarithmOverTheWholeRange) {
  std::vector<float> p;
  for (double e = -45.0; e <= 38.0; e += 0.013) p.push_back(static_cast<float>(std::pow(10.0, e)));
  p.push_back(0.0f);
  p.push_back(-1.0f);
  p.push_back(INFINITY);
  p.push_back(NAN);
  std::vector<float> db(p.size());
  PowerToDb(p.data(), static_cast<int>(p.size()), -35.0f, db.data());
  for (size_t i = 0; i < p.size(); ++i) {
    float ref = 10.0f * std::log10(p[i] + 1e-20f) - 35.0f;
    if (std::isnan(ref)) {
      EXPECT_TRUE(std::isnan(db[i])) << p[i];
    } else if (std::isinf(ref)) {
      EXPECT_EQ(db[i], ref);
    } else {
      ASSERT_NEAR(db[i], ref, 2e-5 * std::max(1.0f, std::fabs(ref) / 100.0f)) << p[i];
    }
  }
}

}  // namespace
}  // namespace hv
