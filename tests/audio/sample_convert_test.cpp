#include <gtest/gtest.h>

#include <iterator>
#include <limits>

#include "audio/sample_convert.h"

namespace hv {
namespace {

TEST(SampleConvert, TruncatesTowardZeroAndClamps) {
  const float in[] = {40000.7f, -40000.0f, -1.9f, 1.9f, 32767.9f, -32768.5f, -32767.5f, 0.0f,
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN(), 3e9f};
  const int16_t want[] = {32767, -32768, -1, 1, 32767, -32768, -32767, 0, 32767, -32768, 0, 32767};
  int16_t out[std::size(in)];
  ConvertToPcm16(in, std::size(in), out);
  for (size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(out[i], want[i]) << "sample " << i;
}

TEST(SampleConvert, SumOfSquaresUsesTheFloatSamples) {
  const float in[] = {3.5f, -4.0f, 40000.0f};
  int16_t out[3];
  EXPECT_DOUBLE_EQ(ConvertToPcm16(in, 3, out), 3.5 * 3.5 + 16.0 + 40000.0 * 40000.0);
}

TEST(LevelMeter, SilenceGivesMinus190AndTheHoldFallsByTwoPerBlock) {
  EXPECT_EQ(BlockLevel(0.0, 1024), -190);
  LevelMeter meter;
  for (int block = 1; block <= 5; ++block) {
    EXPECT_EQ(meter.Update(-190), 0);
    EXPECT_EQ(meter.Held(), -2 * block);
  }
}

TEST(LevelMeter, HoldsALoudBlockAndDecays) {
  // A full-scale square wave: mean = 32767^2 / 2 per byte.
  const size_t n = 1024;
  double sum = 32767.0 * 32767.0 * n;
  int level = BlockLevel(sum, n);
  EXPECT_EQ(level, 98);  // trunc(10 log10(32767^2 / 2 x 1.414)) + 10: full scale stays just inside the bar
  LevelMeter meter;
  EXPECT_EQ(meter.Update(level), 98);
  EXPECT_EQ(meter.Update(130), 100);  // shown as at most 100
  EXPECT_EQ(meter.Held(), 128);
  meter = LevelMeter();
  EXPECT_EQ(meter.Update(40), 40);
  EXPECT_EQ(meter.Update(-190), 38);
  EXPECT_EQ(meter.Update(37), 37);  // 37 > 36: taken as the new hold
  EXPECT_EQ(meter.Update(-190), 35);
}

TEST(LevelMeter, AbsurdInputStaysBounded) {
  EXPECT_EQ(BlockLevel(std::numeric_limits<double>::infinity(), 1024), 1000);
  EXPECT_EQ(BlockLevel(std::numeric_limits<double>::quiet_NaN(), 1024), -1000);
  LevelMeter meter;
  for (int i = 0; i < 100000; ++i) meter.Update(-190);
  EXPECT_GE(meter.Held(), -1000);
  EXPECT_EQ(meter.Update(10), 10);
}

}  // namespace
}  // namespace hv
