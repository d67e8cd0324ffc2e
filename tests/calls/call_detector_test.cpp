// The call detector against the simulator's scenes, whose calls are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "call_scene.h"
#include "calls/call_detector.h"

namespace hv {
namespace {

using sim::CallScene;
using sim::SceneOptions;
using sim::TrueCall;

std::vector<CallMeasure> Detect(CallScene* scene, int rate, double seconds,
                                const CallDetectorSettings& settings = {}) {
  CallDetector detector(rate, settings);
  std::vector<int16_t> block(4096);
  std::vector<float> samples(block.size());
  for (uint64_t left = uint64_t(seconds * rate); left > 0;) {
    size_t n = std::min<uint64_t>(left, block.size());
    scene->Fill(block.data(), n);
    for (size_t i = 0; i < n; ++i) samples[i] = block[i];
    detector.Push(samples.data(), n);
    left -= n;
  }
  detector.Finish();
  return detector.Take();
}

// How the detections compare with the truth, for the scene's
// frequency-modulated (kind 'F') or constant-frequency ('C') calls.
struct Score {
  int truth = 0, found = 0, split = 0;
  int timeOk = 0, freqOk = 0;  // start and end within 1 ms; Fmax and Fmin within 2 kHz
  double Share(int n) const { return truth ? 100.0 * n / truth : 0; }
};

Score Compare(const std::vector<TrueCall>& truth, const std::vector<CallMeasure>& found, double seconds,
              char kind) {
  Score s;
  for (const TrueCall& t : truth) {
    if (t.kind != kind || t.endS > seconds - 0.01) continue;  // the last may be cut off by the end
    ++s.truth;
    int matches = 0;
    const CallMeasure* best = nullptr;
    for (const CallMeasure& c : found) {
      if (c.endS < t.startS || c.startS > t.endS) continue;
      if (!best || c.DurationMs() > best->DurationMs()) best = &c;
      ++matches;
    }
    if (!best) continue;
    ++s.found;
    s.split += matches > 1;
    s.timeOk += std::max(std::abs(best->startS - t.startS), std::abs(best->endS - t.endS)) <= 1e-3;
    s.freqOk += std::max(std::abs(best->fMaxHz - t.FMaxHz()), std::abs(best->fMinHz - t.FMinHz())) <= 2000;
  }
  return s;
}

int Unmatched(const std::vector<TrueCall>& truth, const std::vector<CallMeasure>& found) {
  int extra = 0;
  for (const CallMeasure& c : found)
    extra += std::none_of(truth.begin(), truth.end(), [&](const TrueCall& t) { return c.endS >= t.startS && c.startS <= t.endS; });
  return extra;
}

// Shares (in %) of the truth found and measured well, by SNR and kind. A faint steep
// sweep's range is read to within 2 kHz for only some calls (its ends blur in the noise).
struct Want {
  double snr;
  char kind;
  double found, split, timeOk, freqOk;
} const kWants[] = {
    {10, 'F', 95, 5, 90, 55}, {10, 'C', 95, 5, 85, 95},  //
    {20, 'F', 99, 2, 97, 95}, {20, 'C', 99, 2, 97, 95},  //
    {40, 'F', 99, 2, 99, 93}, {40, 'C', 99, 2, 99, 95},
};

TEST(CallDetector, FindsAndMeasuresSimulatedCalls) {
  for (int rate : {192000, 250000, 384000, 500000}) {
    for (double snr : {10.0, 20.0, 40.0}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, " << snr << " dB");
      SceneOptions options;
      options.rate = rate;
      options.snrDb = snr;
      options.clicks = true;
      options.seed = uint32_t(rate + snr);
      CallScene scene(options);
      const double seconds = 12.0;
      const auto found = Detect(&scene, rate, seconds);
      EXPECT_LE(Unmatched(scene.truth(), found), 2);
      for (const Want& w : kWants) {
        if (w.snr != snr) continue;
        SCOPED_TRACE(w.kind);
        const Score s = Compare(scene.truth(), found, seconds, w.kind);
        std::printf("%6d Hz %4.0f dB %s: %3d calls, found %5.1f%%, split %d, start and end within 1 ms %5.1f%%, "
                    "Fmax and Fmin within 2 kHz %5.1f%%\n",
                    rate, snr, w.kind == 'F' ? "FM" : "CF", s.truth, s.Share(s.found), s.split, s.Share(s.timeOk),
                    s.Share(s.freqOk));
        ASSERT_GT(s.truth, 30);
        EXPECT_GE(s.Share(s.found), w.found);
        EXPECT_LE(s.Share(s.split), w.split);
        EXPECT_GE(s.Share(s.timeOk), w.timeOk);
        EXPECT_GE(s.Share(s.freqOk), w.freqOk);
      }
    }
  }
}

TEST(CallDetector, FindsNothingInNoiseAndClicks) {
  for (int rate : {192000, 250000, 500000}) {
    SceneOptions options;
    options.rate = rate;
    options.calls = false;
    options.clicks = true;
    CallScene scene(options);
    EXPECT_EQ(Detect(&scene, rate, 20.0).size(), 0u) << rate;
  }
}

// Samples of noise (sigma 300) with added parts, at 250 kHz.
struct Synth {
  std::vector<float> x;
  explicit Synth(double seconds) : x(size_t(seconds * 250000)) {
    std::mt19937 random(7);
    std::normal_distribution<float> normal(0.0f, 300.0f);
    for (float& v : x) v = normal(random);
  }
  // A linear sweep from f0 to f1 Hz between t0 and t1 s at amplitude a, 0.2 ms ramps.
  void Sweep(double t0, double t1, double f0, double f1, double a) {
    const double kPi = 3.14159265358979323846;
    size_t n0 = size_t(t0 * 250000), n1 = size_t(t1 * 250000), ramp = 50;
    double slope = (f1 - f0) / (t1 - t0);
    for (size_t n = n0; n < n1 && n < x.size(); ++n) {
      double t = double(n - n0) / 250000;
      size_t in = n - n0, left = n1 - n;
      double env = in < ramp ? 0.5 - 0.5 * std::cos(kPi * in / ramp) : left < ramp ? 0.5 - 0.5 * std::cos(kPi * left / ramp) : 1;
      x[n] += float(a * env * std::sin(2 * kPi * (f0 * t + 0.5 * slope * t * t)));
    }
  }
  std::vector<CallMeasure> Detect(size_t block = 4096, const CallDetectorSettings& settings = {}) const {
    CallDetector d(250000, settings);
    for (size_t at = 0; at < x.size(); at += block) d.Push(x.data() + at, std::min(block, x.size() - at));
    d.Finish();
    return d.Take();
  }
};

TEST(CallDetector, MeasuresConstantAndSweepingCalls) {
  Synth s(0.5);
  s.Sweep(0.100, 0.130, 80000, 80000, 3000);  // a long constant-frequency call
  s.Sweep(0.200, 0.205, 70000, 40000, 3000);  // a shallow sweep
  s.Sweep(0.300, 0.310, 45000, 45000, 300);   // faint: about 15 dB above the noise per bin
  auto calls = s.Detect();
  ASSERT_EQ(calls.size(), 3u);
  // A tone of amplitude A peaks at 20 log10(A x sum of the window / 2) - 20 log10(256) dB.
  const float toneDb = float(20 * std::log10(3000 * 0.35875 * 256 / 2) - 20 * std::log10(256.0));
  struct Want {
    double start, end, fmax, fmin, fchar;
  } want[] = {{0.100, 0.130, 80e3, 80e3, 80e3}, {0.200, 0.205, 69.7e3, 40.3e3, 40.3e3},
              {0.300, 0.310, 45e3, 45e3, 45e3}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(calls[i].startS, want[i].start, 1e-3);
    EXPECT_NEAR(calls[i].endS, want[i].end, 1e-3);
    EXPECT_NEAR(calls[i].fMaxHz, want[i].fmax, 2000);
    EXPECT_NEAR(calls[i].fMinHz, want[i].fmin, 2000);
    EXPECT_NEAR(calls[i].fCharHz, want[i].fchar, 2000);
  }
  EXPECT_NEAR(calls[0].peakDb, toneDb, 1.0);
  EXPECT_NEAR(calls[0].fPeakHz, 80000, 300);
  // The loudest of many noisy frames stands a little above the faint tone's level.
  EXPECT_GE(calls[2].peakDb, toneDb - 21);
  EXPECT_LE(calls[2].peakDb, toneDb - 16);
  EXPECT_GE(calls[1].fPeakHz, 40000);
  EXPECT_LE(calls[1].fPeakHz, 70000);

  // The same calls whatever the blocks the samples come in.
  auto again = s.Detect(77);
  ASSERT_EQ(again.size(), calls.size());
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(again[i].startS, calls[i].startS);
}

// Two bats: a sweep ending 3 ms before another bat's call begins stays two
// calls; a call with a 0.3 ms dip stays one.
TEST(CallDetector, SeparatesBatsButBridgesDips) {
  Synth s(0.4);
  s.Sweep(0.100, 0.104, 60000, 45000, 2000);
  s.Sweep(0.107, 0.111, 58000, 44000, 2000);
  s.Sweep(0.200, 0.2050, 50000, 50000, 2000);
  s.Sweep(0.2053, 0.210, 50000, 50000, 2000);
  auto calls = s.Detect();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NEAR(calls[0].endS, 0.104, 1e-3);
  EXPECT_NEAR(calls[1].startS, 0.107, 1e-3);
  EXPECT_NEAR(calls[2].DurationMs(), 10.0, 1.0);
}

// A steady insect-like tone is no call, and it does not hide calls after it.
TEST(CallDetector, IgnoresSteadyTones) {
  Synth s(3.0);
  s.Sweep(0.2, 2.5, 30000, 30000, 2000);
  s.Sweep(2.8, 2.805, 70000, 40000, 3000);
  auto calls = s.Detect();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NEAR(calls[0].startS, 2.8, 1e-3);
}

// One call each with an echo, an overlapping echo, a longer second harmonic, a 1 ms
// dropout; two equally loud calls 3 ms apart stay two.
TEST(CallDetector, CountsEchoesHarmonicsAndPiecesAsTheirCall) {
  Synth s(1.0);
  s.Sweep(0.100, 0.103, 60000, 30000, 3000);
  s.Sweep(0.1035, 0.1065, 60000, 30000, 500);
  s.Sweep(0.200, 0.220, 80000, 80000, 3000);
  s.Sweep(0.2025, 0.2225, 80000, 80000, 500);
  s.Sweep(0.300, 0.304, 40000, 25000, 3000);
  s.Sweep(0.300, 0.3055, 80000, 38750, 1500);
  s.Sweep(0.400, 0.406, 50000, 50000, 350);
  s.Sweep(0.407, 0.413, 50000, 50000, 350);
  s.Sweep(0.600, 0.605, 50000, 50000, 2000);
  s.Sweep(0.608, 0.613, 50000, 50000, 2000);
  auto calls = s.Detect();
  struct Want {
    double start, end, fmax, fmin;
  } want[] = {{0.100, 0.103, 60e3, 30e3}, {0.200, 0.220, 80e3, 80e3}, {0.300, 0.3055, 40e3, 25e3},
              {0.400, 0.413, 50e3, 50e3}, {0.600, 0.605, 50e3, 50e3}, {0.608, 0.613, 50e3, 50e3}};
  ASSERT_EQ(calls.size(), std::size(want));
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(calls[i].startS, want[i].start, 1e-3);
    EXPECT_NEAR(calls[i].endS, want[i].end, 1e-3);
    EXPECT_NEAR(calls[i].fMaxHz, want[i].fmax, 3000);
    EXPECT_NEAR(calls[i].fMinHz, want[i].fmin, 3000);
  }
}

// Energy below the band searched is no call: 15 kHz by default, lower when set.
TEST(CallDetector, SearchesFromTheLowerBandLimit) {
  Synth s(0.4);
  s.Sweep(0.100, 0.110, 12000, 12000, 3000);
  s.Sweep(0.200, 0.205, 40000, 30000, 3000);
  EXPECT_EQ(s.Detect().size(), 1u);
  CallDetectorSettings low;
  low.lowHz = 8000;
  const auto calls = s.Detect(4096, low);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NEAR(calls[0].fPeakHz, 12000, 1000);
}

// Calls are reported once nothing can join them any more, not only at the end.
TEST(CallDetector, ReportsACallSoonAfterItEnds) {
  Synth s(0.3);
  s.Sweep(0.100, 0.104, 60000, 40000, 3000);
  CallDetector d(250000);
  d.Push(s.x.data(), size_t(0.125 * 250000));
  ASSERT_EQ(d.calls().size(), 1u);
  d.Push(s.x.data() + size_t(0.125 * 250000), s.x.size() - size_t(0.125 * 250000));
  d.Finish();
  EXPECT_EQ(d.calls().size(), 1u);
}

// A loud steep sweep smears over tens of kHz in one window and lights up much
// of the band: still a call, not a click. Clicks between calls stay no calls.
TEST(CallDetector, TellsLoudSteepSweepsFromClicks) {
  Synth s(0.4);
  s.Sweep(0.100, 0.1012, 110000, 20000, 30000);
  for (double t : {0.15, 0.2, 0.25}) s.x[size_t(t * 250000)] += 20000;
  auto calls = s.Detect();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NEAR(calls[0].startS, 0.100, 1e-3);
  EXPECT_GE(calls[0].fMaxHz, 90000);
}

// Loud steep sweeps are measured over their whole range (ends at the ramps' half, 0.1 ms in).
TEST(CallDetector, MeasuresLoudSteepSweepsWhole) {
  Synth s(0.4);
  s.Sweep(0.100, 0.102, 100000, 25000, 20000);
  s.Sweep(0.200, 0.202, 90000, 30000, 20000);
  const auto calls = s.Detect();
  ASSERT_EQ(calls.size(), 2u);
  const double want[][3] = {{96250, 28750, 2.0}, {87000, 33000, 2.0}};
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(calls[i].fMaxHz, want[i][0], 2000);
    EXPECT_NEAR(calls[i].fMinHz, want[i][1], 2000);
    EXPECT_NEAR(calls[i].DurationMs(), want[i][2], 0.3);
  }
}

// Loud calls are found during a faint call and a steady sound; a broken steady 18 kHz
// band and an unbroken steady tone are no calls.
TEST(CallDetector, LoudCallsAmongFaintAndSteadyNoise) {
  Synth s(1.5);
  s.Sweep(0.100, 0.140, 80000, 80000, 250);  // faint, about 13 dB above the noise per bin
  s.Sweep(0.120, 0.124, 55000, 35000, 10000);
  for (double t = 0.3; t < 1.0; t += 0.021) s.Sweep(t, t + 0.020, 18000, 18000, 1500);
  s.Sweep(0.600, 0.604, 60000, 40000, 10000);
  // An unbroken steady tone, and a call only 10 dB louder during it.
  s.Sweep(1.05, 1.45, 22000, 22000, 3000);
  s.Sweep(1.300, 1.304, 60000, 40000, 10000);
  const auto calls = s.Detect();
  // The faint call may go on as a piece of its own after the loud one.
  EXPECT_LE(calls.size(), 5u);
  for (double start : {0.100, 0.120, 0.600, 1.300})
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const CallMeasure& c) { return std::abs(c.startS - start) < 1e-3; }))
        << "no call at " << start;
  for (const CallMeasure& c : calls) EXPECT_GT(c.fMaxHz, 30000) << "steady band counted at " << c.startS;
}

}  // namespace
}  // namespace hv
