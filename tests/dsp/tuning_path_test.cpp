// The tuning path: where a tone is heard, when the band-pass table is redesigned,
// and when the first audio appears.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/real_fft.h"
#include "dsp/tuning_path.h"

namespace hv {
namespace {

void Collect(void* ctx, const float* s, uint32_t n) {
  auto* v = static_cast<std::vector<float>*>(ctx);
  v->insert(v->end(), s, s + n);
}

// Runs `seconds` of a tone through a tuning path in 512-sample blocks.
std::vector<float> TuneTone(double toneHz, float rate, float tune, double seconds) {
  TuningPath path(rate, tune);
  std::vector<float> audio, block(512);
  const int total = static_cast<int>(seconds * rate);
  for (int start = 0; start < total; start += 512) {
    for (int i = 0; i < 512; ++i) block[i] = static_cast<float>(1000.0 * std::sin(2.0 * M_PI * toneHz * (start + i) / rate));
    path.ProcessBlock(block.data(), 512, tune, 1.0f, Collect, &audio);
  }
  return audio;
}

// Frequency of the strongest bin of a 16384-point transform of the audio's end.
double PeakFrequency(const std::vector<float>& audio) {
  const int n = 16384;
  EXPECT_GE(audio.size(), static_cast<size_t>(n));
  RealFFT fft(n);
  std::vector<float> x(audio.end() - n, audio.end()), out(n);
  for (int i = 0; i < n; ++i) x[i] *= static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1)));
  fft.Transform(x.data(), out.data());
  int best = 1;
  double bestPower = 0.0;
  for (int m = 1; m < n / 2; ++m) {
    double p = static_cast<double>(out[m]) * out[m] + static_cast<double>(out[n / 2 + m]) * out[n / 2 + m];
    if (p > bestPower) {
      bestPower = p;
      best = m;
    }
  }
  return best * 44100.0 / n;
}

TEST(TuningPath, TonesAreHeardRelativeToTheCarrierAt44100AndOutOfBandIsRejected) {
  std::vector<float> audio = TuneTone(45000.0, 250000.0f, 40000.0f, 1.0);
  EXPECT_NEAR(PeakFrequency(audio), 16025.0, 10.0);
  EXPECT_NEAR(PeakFrequency(TuneTone(35000.0, 250000.0f, 40000.0f, 0.5)), 6025.0, 10.0);
  EXPECT_NEAR(PeakFrequency(TuneTone(80000.0, 500000.0f, 75000.0f, 0.5)), 16025.0, 10.0);
  EXPECT_NEAR(static_cast<double>(audio.size()), 44100.0, 300.0);
  double inBand = 0.0, outBand = 0.0;
  for (size_t i = audio.size() / 2; i < audio.size(); ++i) inBand += audio[i] * audio[i];
  std::vector<float> far = TuneTone(70000.0, 250000.0f, 40000.0f, 1.0);
  for (size_t i = far.size() / 2; i < far.size(); ++i) outBand += far[i] * far[i];
  EXPECT_LT(outBand, inBand * 1e-6);
}

TEST(TuningPath, StartValuesAndRedesignThreshold) {
  TuningPath path(250000.0f, 40000.0f);
  EXPECT_FLOAT_EQ(path.currentCentre(), 0.32f);
  EXPECT_NEAR(path.step(), 11.3379, 1e-4);
  std::vector<float> block(512, 0.0f), audio;
  uint64_t designs = path.designCount();
  path.ProcessBlock(block.data(), 512, 40000.0f, 1.0f, Collect, &audio);
  EXPECT_NEAR(path.increment(), 1.81406, 1e-4);
  // 100 Hz is 0.0008 of Nyquist: no redesign, but the oscillator follows at once.
  path.ProcessBlock(block.data(), 512, 40100.0f, 1.0f, Collect, &audio);
  EXPECT_EQ(path.designCount(), designs);
  EXPECT_NEAR(path.increment(), 40100.0 / 22050.0, 1e-4);
  EXPECT_FLOAT_EQ(path.currentCentre(), 0.32f);
  // 200 Hz: redesigned once, around the new centre.
  path.ProcessBlock(block.data(), 512, 40200.0f, 1.0f, Collect, &audio);
  EXPECT_EQ(path.designCount(), designs + 1);
  EXPECT_FLOAT_EQ(path.currentCentre(), static_cast<float>(2.0f * 40200.0f / 250000.0f));
}

// A looped replay announces the same format at every turn: the band is kept,
// not designed again; a new rate or centre is designed once, to the same bits
// as a table made for it from scratch.
TEST(TuningPath, FormatChangeRedesignsOnlyANewBandAndOnlyOnce) {
  TuningPath path(250000.0f, 40000.0f);
  const uint64_t designs = path.designCount();
  path.FormatChange(250000.0f, 40000.0f);
  EXPECT_EQ(path.designCount(), designs);
  path.FormatChange(500000.0f, 40000.0f);
  EXPECT_EQ(path.designCount(), designs + 1);
  path.FormatChange(500000.0f, 60000.0f);
  EXPECT_EQ(path.designCount(), designs + 2);
  BPFilterTable fresh(path.resampler().cutoff(), 1.0, 2.0 * 60000.0 / 500000.0);
  fresh.SetCenter(static_cast<float>(2.0f * 60000.0f / 500000.0f));
  ASSERT_EQ(fresh.phases() * fresh.taps(), path.resampler().phases() * path.resampler().taps());
  EXPECT_EQ(std::memcmp(fresh.coefficients(), path.resampler().coefficients(),
                        sizeof(ComplexF) * fresh.phases() * fresh.taps()), 0);
}

TEST(TuningPath, FirstAudioNeedsAFullWindowAndHistory) {
  TuningPath path(250000.0f, 40000.0f);
  std::vector<float> block(1000, 1.0f), audio;
  path.ProcessBlock(block.data(), 1000, 40000.0f, 1.0f, Collect, &audio);
  EXPECT_TRUE(audio.empty());
  EXPECT_FALSE(path.resampler().full());
  path.ProcessBlock(block.data(), 24, 40000.0f, 1.0f, Collect, &audio);
  EXPECT_TRUE(path.resampler().full());
  EXPECT_TRUE(audio.empty());
  // Outputs at 63 + k x 11.3379 up to 960: 79 complex values, 16 beyond the 63
  // kept as history, two audio samples each.
  path.ProcessBlock(block.data(), 1, 40000.0f, 1.0f, Collect, &audio);
  EXPECT_EQ(audio.size(), 2u * (79 - 63));
}

TEST(TuningPath, FormatChangeKeepsTheStreamGoing) {
  TuningPath path(250000.0f, 40000.0f);
  std::vector<float> block(512, 0.5f), audio;
  for (int i = 0; i < 8; ++i) path.ProcessBlock(block.data(), 512, 40000.0f, 1.0f, Collect, &audio);
  size_t before = audio.size();
  path.FormatChange(500000.0f, 40000.0f);
  EXPECT_FLOAT_EQ(path.currentCentre(), 0.16f);
  EXPECT_NEAR(path.step(), 500000.0 / 22050.0, 1e-4);
  EXPECT_TRUE(path.resampler().full());
  path.ProcessBlock(block.data(), 512, 40000.0f, 1.0f, Collect, &audio);
  EXPECT_GT(audio.size(), before);
  // A rate of zero produces nothing and does not hang.
  path.FormatChange(0.0f, 40000.0f);
  size_t n = audio.size();
  path.ProcessBlock(block.data(), 512, 40000.0f, 1.0f, Collect, &audio);
  EXPECT_EQ(audio.size(), n);
}

}  // namespace
}  // namespace hv
