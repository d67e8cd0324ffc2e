// Filter tables and the band-pass resampler: design rules and resampling positions.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "dsp/bp_resampler.h"
#include "dsp/filter_table.h"

namespace hv {
namespace {

TEST(FilterTable, CutoffBelowFloorIsRaisedAndStored) {
  FilterTableT<float> real(1.0, 1.0);
  real.SetCutoff(0.0);
  EXPECT_DOUBLE_EQ(real.cutoff(), 1e-10);
  BPFilterTable bp(0.1, 1.0, 0.3);
  bp.SetCutoff(-1.0);
  EXPECT_DOUBLE_EQ(bp.cutoff(), 1e-10);
  for (uint32_t j = 0; j < bp.taps(); ++j) EXPECT_LT(std::abs(bp.Row(0)[j].re), 1e-9f);
}

TEST(FilterTable, RealTableRowsAreHalfSampleInterpolatorAndDelay) {
  FilterTableT<float> t(0.5, 2.0);
  ASSERT_EQ(t.phases(), 2u);
  ASSERT_EQ(t.taps(), 63u);
  // Zero offset: row 1, tap 31 holds cutoff x gain with no window factor.
  EXPECT_FLOAT_EQ(t.Row(1)[31], 1.0f);
  t.SetCutoff(1.0);
  FilterTableT<float> unit(1.0, 1.0);
  for (uint32_t j = 0; j < 63; ++j) EXPECT_NEAR(unit.Row(1)[j], j == 31 ? 1.0f : 0.0f, 1e-6f) << j;
  // Row 0 passes DC with a gain of about 1.
  double sum = 0.0;
  for (uint32_t j = 0; j < 63; ++j) sum += unit.Row(0)[j];
  EXPECT_NEAR(sum, 1.0, 0.02);
}

TEST(FilterTable, ArrayGrowsButNeverShrinks) {
  FilterTableT<float> t(1.0, 1.0);
  EXPECT_EQ(t.capacity(), 126u);
  t.SetShape(4, 63);
  EXPECT_EQ(t.capacity(), 252u);
  EXPECT_NE(t.coefficients(), nullptr);
  t.SetShape(2, 10);
  EXPECT_EQ(t.capacity(), 252u);
  BPFilterTable bp(0.1, 1.0, 0.2);
  EXPECT_EQ(bp.capacity(), 255u * 127u);
  bp.SetShape(3, 7);
  EXPECT_EQ(bp.capacity(), 255u * 127u);
  bp.SetShape(256, 127);
  EXPECT_EQ(bp.capacity(), 256u * 127u);
}

// Response of one band-pass row to the complex tone e^(i pi f n), f as a fraction of Nyquist.
double RowResponse(const BPFilterTable& t, uint32_t row, double f) {
  std::complex<double> acc = 0.0;
  for (uint32_t j = 0; j < t.taps(); ++j) {
    std::complex<double> c(t.Row(row)[j].re, t.Row(row)[j].im);
    acc += c * std::polar(1.0, M_PI * f * j);
  }
  return std::abs(acc);
}

TEST(FilterTable, BandPassPassesItsBandOnly) {
  BPFilterTable t(0.08, 1.0, 0.32);
  for (uint32_t row : {0u, 127u, 254u}) {
    EXPECT_NEAR(RowResponse(t, row, 0.32), 1.0, 0.01);
    EXPECT_NEAR(RowResponse(t, row, 0.36), 1.0, 0.02);
    EXPECT_LT(RowResponse(t, row, 0.45), 1e-3);
    EXPECT_LT(RowResponse(t, row, 0.15), 1e-3);
    EXPECT_LT(RowResponse(t, row, -0.32), 1e-3);  // the mirror image is rejected
  }
}

TEST(BPResampler, FillsBeforeProducingAndKeepsPositions) {
  BPResampler r(0.08, 1.0, 0.32);
  std::vector<float> block(1000, 1.0f), out(2000);
  uint32_t consumed = 0;
  EXPECT_FALSE(r.Fill(block.data(), 1000, &consumed));
  EXPECT_EQ(consumed, 1000u);
  EXPECT_EQ(r.fillIndex(), 1000u);
  consumed = 0;
  EXPECT_TRUE(r.Fill(block.data(), 1000, &consumed));
  EXPECT_EQ(consumed, 24u);

  std::vector<ComplexF> z(600);
  // First output at 63 + step.
  EXPECT_EQ(r.Resample(1, 10.0, z.data()), 1u);
  EXPECT_DOUBLE_EQ(r.position(), 73.0);
  // f + step just above 960: exactly one output, position = f.
  r.set_position(945.0);
  EXPECT_EQ(r.Resample(100, 10.0, z.data()), 1u);
  EXPECT_DOUBLE_EQ(r.position(), 955.0);
  // f past 960: nothing, position unchanged.
  EXPECT_EQ(r.Resample(100, 10.0, z.data()), 0u);
  EXPECT_DOUBLE_EQ(r.position(), 955.0);
  // Up to 960 in steps of 11.5 from 63: (960 - 63) / 11.5 = 78 outputs.
  r.set_position(63.0);
  EXPECT_EQ(r.Resample(600, 11.5, z.data()), 78u);
  EXPECT_DOUBLE_EQ(r.position(), 63.0 + 78 * 11.5);
  // Slide keeps 63 samples before the position.
  consumed = 0;
  EXPECT_EQ(r.Slide(block.data(), 1000, &consumed), static_cast<uint32_t>(78 * 11.5));
  EXPECT_NEAR(r.position(), 63.0 + (78 * 11.5 - static_cast<int>(78 * 11.5)), 1e-12);
}

TEST(BPResampler, ConstantInputGivesTheRowGain) {
  // Centre 0: a low-pass; a constant input comes out at about its value.
  BPResampler r(0.08, 1.0, 0.0);
  std::vector<float> block(1024, 3.0f);
  uint32_t consumed = 0;
  r.Fill(block.data(), 1024, &consumed);
  std::vector<ComplexF> z(100);
  uint32_t n = r.Resample(100, 7.3, z.data());
  ASSERT_GT(n, 10u);
  for (uint32_t k = 0; k < n; ++k) {
    EXPECT_NEAR(z[k].re, 3.0f, 0.03f);
    EXPECT_NEAR(z[k].im, 0.0f, 1e-4f);
  }
}

}  // namespace
}  // namespace hv
