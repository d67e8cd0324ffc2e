#include <cmath>
#include <cstring>
#include <vector>

#include "core/conduit.h"
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

bool ConstantPower(const float*, int, float* power, int capacity) {
  for (int i = 0; i < capacity && i < 128; ++i) power[i] = 1.0f;
  return true;
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
  DisplayEngine engine{&conduit, &image, ConstantPower};
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
