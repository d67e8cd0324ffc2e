// The spectral trace computation: where a tone shows, peak hold, the stage
// steps and the restart after a format change.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/averaged_trace.h"

namespace hv {
namespace {

using Step = SpectralTrace::Step;

std::vector<float> Block(double bin, double amplitude, int index) {
  std::vector<float> x(512);
  for (int i = 0; i < 512; ++i)
    x[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * bin * (512 * index + i) / 512.0));
  return x;
}

int PeakBin(const float* levels) {
  int best = 0;
  for (int k = 1; k < SpectralTrace::kBins; ++k)
    if (levels[k] > levels[best]) best = k;
  return best;
}

// Feeds blocks until a new trace has formed; returns the steps seen.
std::vector<Step> FeedUntilTrace(SpectralTrace& t, double bin, double amplitude, bool hold, int* index) {
  std::vector<Step> steps;
  for (int guard = 0; guard < 100; ++guard) {
    std::vector<float> b = Block(bin, amplitude, (*index)++);
    steps.push_back(t.AddBlock(b.data(), 19.0f, hold));
    if (steps.back() == Step::kNewTrace) break;
  }
  return steps;
}

TEST(SpectralTrace, StepsFollowTheStageMachine) {
  SpectralTrace t;
  for (int k = 0; k < SpectralTrace::kBins; ++k) EXPECT_EQ(t.levels()[k], -30.0f);
  int index = 0;
  std::vector<Step> steps = FeedUntilTrace(t, 64.0, 1000.0, false, &index);
  // Check tuning, draw, then accumulate until 20 blocks are counted.
  ASSERT_EQ(steps.size(), 20u);
  const std::vector<Step> start = {Step::kCheckTuning, Step::kDraw, Step::kNone};
  EXPECT_EQ(std::vector<Step>(steps.begin(), steps.begin() + 3), start);
  EXPECT_EQ(t.stage(), 1);
  EXPECT_EQ(t.blockCount(), 0);
  // A steady tone's trace peaks at its bin, at the convention level.
  EXPECT_EQ(PeakBin(t.levels()), 64);
  double sumW = 0.0;
  for (int u = 0; u < 512; ++u) sumW += t.window()[u];
  const double level = 20.0 * std::log10(1000.0 / 2.0 * sumW) - 20.0 * std::log10(512.0) + 19.0;
  EXPECT_NEAR(t.levels()[64], level, 0.05);
  // Window: the exact Blackman of the plot's design.
  for (int u : {0, 100, 255, 511}) {
    double th = u / 511.0 * 6.2831853;
    EXPECT_NEAR(t.window()[u], 0.42659 - 0.49656 * std::cos(th) + 0.07685 * std::cos(2 * th), 1e-6);
  }
}

TEST(SpectralTrace, PeakHoldKeepsAStoppedTone) {
  SpectralTrace t;
  int index = 0;
  FeedUntilTrace(t, 100.0, 1000.0, true, &index);
  const float held = t.levels()[100];
  FeedUntilTrace(t, 20.0, 1000.0, true, &index);  // the tone moved away
  EXPECT_EQ(t.levels()[100], held);
  EXPECT_GT(t.levels()[20], held - 1.0f);
  // Without peak hold the next trace falls back.
  FeedUntilTrace(t, 20.0, 1000.0, false, &index);
  EXPECT_LT(t.levels()[100], held - 60.0f);
}

TEST(SpectralTrace, FormatChangeRestartsFromMinus30) {
  SpectralTrace t;
  int index = 0;
  FeedUntilTrace(t, 50.0, 1000.0, true, &index);
  std::vector<float> b = Block(50.0, 1000.0, index++);
  EXPECT_EQ(t.AddBlock(b.data(), 19.0f, true), Step::kCheckTuning);
  t.NoteFormatChange();
  EXPECT_EQ(t.AddBlock(b.data(), 19.0f, true), Step::kDraw);  // the restart waits for stage 0
  EXPECT_EQ(t.AddBlock(b.data(), 19.0f, true), Step::kReconfigure);
  for (int k = 0; k < SpectralTrace::kBins; ++k) ASSERT_EQ(t.levels()[k], -30.0f);
  EXPECT_EQ(t.blockCount(), 0);
}

TEST(SpectralTrace, SilenceGivesFiniteLevelsAtTheBottom) {
  SpectralTrace t;
  int index = 0;
  FeedUntilTrace(t, 0.0, 0.0, false, &index);
  for (int k = 0; k < SpectralTrace::kBins; ++k) {
    ASSERT_TRUE(std::isfinite(t.levels()[k]));
    ASSERT_LT(t.levels()[k], -10.0f);
  }
  // NaN input does not turn into a level either.
  SpectralTrace n;
  std::vector<float> bad(512, NAN);
  for (int i = 0; i < 20; ++i) n.AddBlock(bad.data(), 19.0f, false);
  for (int k = 0; k < SpectralTrace::kBins; ++k) ASSERT_EQ(n.levels()[k], SpectralTrace::kLowestLevel);
}

}  // namespace
}  // namespace hv
