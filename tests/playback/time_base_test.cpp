// Time bases, replay rates, the ratio rule of the 1:N box and the position text.
#include <gtest/gtest.h>

#include "formats/playback_file_info.h"
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

// The replay rate and the stream's time scale; 0 for rates outside what the chain carries.
TEST(ReplayRate, TimeBasesScaleTheRealRateWithinTheChainsRange) {
  struct Case {
    uint64_t realRate;
    int timeBase;
    float ratio;
    uint32_t rate;
    double scale;  // not checked when the rate is refused
  } cases[] = {
      {25000ull * 10, kTimeBase1to1, 4, 250000, 1.0},  // a 25000 Hz header expanded ten times
      {250000, kTimeBase1to2, 4, 125000, 0.5},
      {250001, kTimeBase1to2, 4, 125000, 0.5},  // integer halving
      {250000, kTimeBase1toN, 4, 62500, 0.25},
      {312500, kTimeBase1toN, 3, 104166, 1 / 3.0},  // truncated
      {kMaxReplayRate, kTimeBase1to1, 4, kMaxReplayRate, 1.0},
      {kMinReplayRate, kTimeBase1to1, 4, kMinReplayRate, 1.0},
      {0, kTimeBase1to1, 4, 0, 0},
      {250000, kTimeBase1toN, 300000, 0, 0},  // "1:300000"
      {250000, kTimeBase1toN, 1 / 300000.0f, 0, 0},
      {250000, kTimeBase1toN, 0, 0, 0},
      {4000000000ull * 100, kTimeBase1to1, 4, 0, 0},
  };
  for (const Case& c : cases) {
    double scale = -1;
    EXPECT_EQ(ReplayRate(c.realRate, c.timeBase, c.ratio, &scale), c.rate) << c.realRate << " 1:" << c.ratio;
    if (c.rate != 0) {
      EXPECT_NEAR(scale, c.scale, 1e-6) << c.realRate << " 1:" << c.ratio;
    }
  }
}

TEST(DefaultExpansion, TenForTimeExpandedHeadersOneForRealRates) {
  for (auto [rate, e] : {std::pair{25000u, 10u}, {48000u, 10u}, {48001u, 1u}, {250000u, 1u}})
    EXPECT_EQ(DefaultExpansion(rate), e) << rate;
}

TEST(PositionText, MinutesSecondsHundredths) {
  for (auto [seconds, text] : {std::pair{61.5, "01:01:50"}, {0.0, "00:00:00"}, {-3.0, "00:00:00"},
                               {59.999, "00:59:99"}, {3600.25, "60:00:25"}})
    EXPECT_EQ(PositionText(seconds), text) << seconds;
  // 0.29 * 100 is 28.999... in binary; the display still shows 29 hundredths.
  EXPECT_EQ(PositionText(0.29), "00:00:29");
}

}  // namespace
}  // namespace hv
