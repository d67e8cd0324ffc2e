#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "core/conduit.h"
#include "display/display_colours.h"
#include "display/display_engine.h"
#include "display/plot_axis.h"
#include "display/sonogram_image.h"
#include "display_fixture.h"

namespace hv {
namespace {

// Frames as the spectrum thread writes them: word 1 the peak level, words 4..67 samples.
std::vector<uint8_t> Frame(float peak, float sample = 0.25f) {
  std::vector<uint8_t> f(kFrameBytes, 0);
  float words[68] = {};
  words[1] = peak;
  for (int i = 4; i < 68; ++i) words[i] = sample;
  std::memcpy(f.data(), words, sizeof words);
  return f;
}

class DisplayEngineTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    format = MakeWaveFormat(250000, 1, kFrameBytes, 2176);
    conduit.Create(kFrameBytes * 64, &format);
  }
  // Writes the frames, running the engine whenever the conduit is full, then drains it.
  void Feed(const std::vector<float>& peaks) {
    size_t next = 0;
    while (next < peaks.size()) {
      std::vector<uint8_t> f = Frame(peaks[next]);
      uint32_t accepted = 0;
      conduit.Write(kFrameBytes, f.data(), &accepted);
      if (accepted == kFrameBytes)
        ++next;
      else
        engine.runOnce(false);
    }
    while (engine.runOnce(false)) {
    }
  }
  static std::vector<float> Quiet(int count) { return std::vector<float>(count, -10.0f); }
  static std::vector<float> Trigger(int before, int after) {
    std::vector<float> p = Quiet(before + 1 + after);
    p[before] = 40.0f;
    return p;
  }

  WaveFormat format;
  Conduit conduit;
  SpectrogramImage image;
  // What the analyser hands the engine for every column: bin powers.
  std::vector<float> powers = std::vector<float>(128, 1.0f);
  DisplayEngine engine{&conduit, &image, [this](const float*, int, float* power, int capacity) {
                         for (int i = 0; i < capacity && i < 128; ++i) power[i] = powers[i];
                         return true;
                       }};
};

TEST_F(DisplayEngineTest, DivisionsEightGivesSixtyFourColumnSlots) {
  g_settings.SonoDivisions = 4;
  engine.start(250000.0f);
  EXPECT_EQ(engine.slotWidth(), 64);
  Feed(Trigger(20, 200));
  EXPECT_EQ(image.cursor(), 63);
  EXPECT_EQ(image.level(63, 0), kSeparatorLevel);
  EXPECT_NE(image.level(62, 0), kSeparatorLevel);
  EXPECT_EQ(image.level(64, 0), kEmptyLevel);
  // Levels: 10 log10(1) - 20 log10(256) + 19 dB receiver offset.
  EXPECT_NEAR(image.level(10, 5), -20.0 * std::log10(256.0) + 19.0, 1e-3);

  // A second trigger fills the next slot.
  Feed(Trigger(40, 200));
  EXPECT_EQ(image.cursor(), 127);
}

// Known bin powers give known colours on the default scale (Brightness 50,
// Contrast 50: L = 25, M = 50, U = 75 dB). The power of each bin is worked out
// from the level it should show, 10 log10(P) - 20 log10(256) + V; the colours
// are written out by hand.
TEST_F(DisplayEngineTest, KnownPowersShowTheirColours) {
  struct Case {
    double level;  // dB at V = 19
    uint32_t colour;
  };
  const Case cases[] = {
      {90.0, PackPixel(255, 0, 0)},    // above U: red
      {62.7, PackPixel(129, 126, 0)},  // between M and U
      {50.2, PackPixel(2, 253, 0)},    // just above M: green
      {40.3, PackPixel(0, 157, 98)},   // between L and M
      {30.5, PackPixel(0, 57, 198)},
      {20.5, PackPixel(0, 0, 215)},    // below L: blue fading
      {10.5, PackPixel(0, 0, 113)},    // a quiet noise floor stays dark
      {-29.2, kBlackPixel},            // a power of about 1
      {-250.0, kBlackPixel},           // no power at all: about -229 dB
  };
  auto powerFor = [](double level, double offset) {
    return level < -200.0 ? 0.0f : float(std::pow(10.0, (level + 20.0 * std::log10(256.0) - offset) / 10.0));
  };
  const int firstBin = 10;
  for (size_t i = 0; i < std::size(cases); ++i) powers[firstBin + i] = powerFor(cases[i].level, 19.0);

  g_receiverLevelOffset = 19.0f;
  engine.start(250000.0f);
  Feed(Trigger(20, 200));
  ASSERT_EQ(engine.capturesPresented(), 1);
  const int column = 10;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const int bin = firstBin + int(i);
    if (cases[i].level > -200.0)
      EXPECT_NEAR(image.level(column, bin), cases[i].level, 1e-3) << cases[i].level;
    else
      EXPECT_LT(image.level(column, bin), -190.0f);
    EXPECT_EQ(image.pixel(column, kImageRows - 1 - bin), cases[i].colour) << cases[i].level << " dB";
  }

  // A receiver of offset 14 shows the same powers 5 dB lower.
  g_receiverLevelOffset = 14.0f;
  Feed(Trigger(20, 200));
  ASSERT_EQ(engine.capturesPresented(), 2);
  const int next = engine.slotWidth() + column;
  EXPECT_NEAR(image.level(next, firstBin + 1), 57.7, 1e-3);
  EXPECT_EQ(image.pixel(next, kImageRows - 1 - (firstBin + 1)), PackPixel(78, 177, 0));
  EXPECT_EQ(image.pixel(next, kImageRows - 1 - (firstBin + 3)), PackPixel(0, 106, 149));
  g_receiverLevelOffset = 19.0f;
}

TEST_F(DisplayEngineTest, OnlyLevelsAboveTheThresholdTrigger) {
  engine.start(250000.0f);
  std::vector<float> peaks = Quiet(200);
  peaks[30] = 20.0f;  // equal to the threshold: no capture
  Feed(peaks);
  EXPECT_EQ(engine.capturesPresented(), 0);
  EXPECT_EQ(image.cursor(), -1);
  g_settings.SonoThreshold = 19.5f;  // the next trigger test uses the new threshold
  Feed(peaks);
  EXPECT_EQ(engine.capturesPresented(), 1);
}

// Divisions 1: one capture fills the whole width, 511 spectrum columns and a separator.
TEST_F(DisplayEngineTest, DivisionsOneFillsTheWidthAndPauseLetsARunningCaptureFinish) {
  g_settings.SonoDivisions = 1;
  engine.start(250000.0f);
  EXPECT_EQ(engine.slotWidth(), 512);
  Feed(Trigger(20, 40));
  ASSERT_EQ(engine.state(), CaptureState::Capturing);
  g_spectrogramPaused = true;
  Feed(Quiet(600));
  EXPECT_EQ(engine.capturesPresented(), 1);
  EXPECT_EQ(image.cursor(), 511);
  EXPECT_EQ(image.level(511, 10), kSeparatorLevel);
  EXPECT_NE(image.level(0, 10), kEmptyLevel);
  Feed(Trigger(20, 600));  // paused: no new capture
  EXPECT_EQ(engine.capturesPresented(), 1);
  EXPECT_EQ(engine.state(), CaptureState::Waiting);
  g_spectrogramPaused = false;
  Feed(Trigger(20, 600));
  EXPECT_EQ(engine.capturesPresented(), 2);
}

TEST_F(DisplayEngineTest, DetailChangeKeepsTheTickCountAndRestartsTheImage) {
  engine.start(250000.0f);
  EXPECT_EQ(engine.hop(), 48);
  EXPECT_NEAR(image.timeTickSpacing(), 0.006, 1e-12);
  double ticks = image.timeTickCount();
  EXPECT_NEAR(ticks, 512 * 48 / 250000.0 / 0.006, 1e-9);
  EXPECT_NEAR(g_timeAxis.tickSpacing, 6.0, 1e-9);

  Feed(Trigger(20, 200));
  EXPECT_EQ(image.cursor(), 127);
  g_settings.SonoDetail = 1;
  Feed(Trigger(20, 700));  // the change takes effect at this trigger
  EXPECT_EQ(engine.hop(), 256);
  EXPECT_EQ(image.cursor(), 127);  // restarted from the left edge
  EXPECT_EQ(image.timeTickCount(), ticks);
  EXPECT_NEAR(image.timeTickSpacing(), 512 * 256 / 250000.0 / ticks, 1e-12);
  EXPECT_EQ(g_timeAxis.tickCount, ticks);
  EXPECT_NEAR(g_timeAxis.tickSpacing, image.timeTickSpacing() * 1000.0, 1e-9);

  // A Divisions change likewise restarts at the next trigger.
  g_settings.SonoDivisions = 2;
  Feed(Trigger(20, 1200));
  EXPECT_EQ(engine.slotWidth(), 256);
  EXPECT_EQ(image.cursor(), 255);
}

TEST_F(DisplayEngineTest, FormatChangeRescalesAndRestartsWaiting) {
  engine.start(250000.0f);
  Feed(Trigger(20, 30));
  ASSERT_EQ(engine.state(), CaptureState::Capturing);
  WaveFormat faster = MakeWaveFormat(500000, 1, kFrameBytes, 2176);
  conduit.AnnounceFormat(faster);
  Feed(Quiet(30));
  EXPECT_EQ(engine.sampleRate(), 500000.0f);
  EXPECT_EQ(engine.state(), CaptureState::Waiting);
  EXPECT_NEAR(g_frequencyAxis.tickCount, 25.0, 1e-9);
  EXPECT_EQ(g_frequencyAxis.tickSpacing, 10.0);
  EXPECT_EQ(image.cursor(), -1);
}

}  // namespace
}  // namespace hv
