// Time bases, replay rates, the ratio rule of the 1:N box and the position text.
#include <gtest/gtest.h>

#include "playback/time_base.h"

namespace hv {
namespace {

TEST(RatioRule, AcceptsDecimalPairsAndGivesBOverA) {
  for (auto [text, value] : {std::pair{"1:4", 4.0f}, {"2:5", 2.5f}, {"0.5:1.25", 2.5f}, {"4:1", 0.25f}}) {
    float n = 0;
    EXPECT_TRUE(ParseRatio(text, &n)) << text;
    EXPECT_FLOAT_EQ(n, value) << text;
  }
}

TEST(RatioRule, RefusesZeroSignsAndMalformedText) {
  float n = 7;
  for (const char* bad : {"0:4", "1:0", "0.0:1", "1:0.000", "", ":", "1:", ":4", "14", "1:4:2", "-1:4", "1:+4",
                          "1 :4", "1:4 ", "a:b", "1.:4", ".5:4", "1:4e2", "1:inf"})
    EXPECT_FALSE(ParseRatio(bad, &n)) << bad;
  EXPECT_EQ(n, 7);
  // Digits beyond what a float holds give no finite value.
  EXPECT_FALSE(ParseRatio("1:" + std::string(400, '9'), &n));
  EXPECT_FALSE(ParseRatio(std::string(400, '9') + ":1", &n));
}

TEST(ReplayRate, TimeBasesScaleTheRealRate) {
  double scale = 0;
  // A 25000 Hz header time-expanded ten times is really 250000 Hz.
  EXPECT_EQ(ReplayRate(25000ull * 10, kTimeBase1to1, 4.0f, &scale), 250000u);
  EXPECT_EQ(scale, 1.0);
  EXPECT_EQ(ReplayRate(250000, kTimeBase1to2, 4.0f, &scale), 125000u);
  EXPECT_EQ(scale, 0.5);
  EXPECT_EQ(ReplayRate(250001, kTimeBase1to2, 4.0f, &scale), 125000u);  // integer halving
  EXPECT_EQ(ReplayRate(250000, kTimeBase1toN, 4.0f, &scale), 62500u);
  EXPECT_EQ(scale, 0.25);
  EXPECT_EQ(ReplayRate(312500, kTimeBase1toN, 3.0f, &scale), 104166u);  // truncated
}

TEST(ReplayRate, RefusesRatesTheChainCannotCarry) {
  double scale = 0;
  EXPECT_EQ(ReplayRate(0, kTimeBase1to1, 4.0f, &scale), 0u);
  EXPECT_EQ(ReplayRate(250000, kTimeBase1toN, 300000.0f, &scale), 0u);  // "1:300000"
  EXPECT_EQ(ReplayRate(250000, kTimeBase1toN, 1.0f / 300000.0f, &scale), 0u);
  EXPECT_EQ(ReplayRate(250000, kTimeBase1toN, 0.0f, &scale), 0u);
  EXPECT_EQ(ReplayRate(4000000000ull * 100, kTimeBase1to1, 4.0f, &scale), 0u);
  EXPECT_EQ(ReplayRate(kMaxReplayRate, kTimeBase1to1, 4.0f, &scale), kMaxReplayRate);
  EXPECT_EQ(ReplayRate(kMinReplayRate, kTimeBase1to1, 4.0f, &scale), kMinReplayRate);
}

TEST(DefaultExpansion, TenForTimeExpandedHeadersOneForRealRates) {
  for (auto [rate, e] : {std::pair{25000u, 10u}, {48000u, 10u}, {48001u, 1u}, {250000u, 1u}})
    EXPECT_EQ(DefaultExpansion(rate), e) << rate;
}

TEST(PositionText, MinutesSecondsHundredths) {
  EXPECT_EQ(PositionText(61.5), "01:01:50");
  EXPECT_EQ(PositionText(0), "00:00:00");
  EXPECT_EQ(PositionText(-3), "00:00:00");
  EXPECT_EQ(PositionText(59.999), "00:59:99");
  EXPECT_EQ(PositionText(3600.25), "60:00:25");
  // 0.29 * 100 is 28.999... in binary; the display still shows 29 hundredths.
  EXPECT_EQ(PositionText(0.29), "00:00:29");
}

}  // namespace
}  // namespace hv
