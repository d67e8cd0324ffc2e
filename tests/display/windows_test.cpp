#include <utility>

#include "display/sonogram_image.h"
#include "display/sonogram_view.h"
#include "display_fixture.h"
#include "ui/windows/tessagram_window.h"
#include "ui/windows/trace_window.h"

namespace hv {
namespace {

class TessagramWindowTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    g_settings.SonoMarker1Enable = true;
    w = CreateTessagramWindow();
    ASSERT_NE(w, nullptr);
    g_spectrogram.configure(512, 256);
    g_spectrogram.setFrequencyScale(12.5, 10000.0);
  }
  void SetEdit(int id, const char* text) {
    XsControlSetText(w, id, text);
    XsInjectEvent(w, kXsEditChanged, id);
  }
  XsWindow* w = nullptr;
};

TEST_F(TessagramWindowTest, LayoutFollowsTheSettings) {
  EXPECT_FALSE(XsWindowIsShown(w));
  EXPECT_EQ(XsWindowGetTitle(w), "Tessagram");
  for (auto [id, text] : {std::pair{350, "Pause"}, {401, "75.0"}, {406, "25.0"}}) EXPECT_EQ(XsControlText(w, id), text);
  for (auto [id, position] : {std::pair{352, 20}, {354, 4}, {356, 3}}) EXPECT_EQ(XsSliderGetPosition(w, id), position);
  EXPECT_TRUE(XsCheckGet(w, 400));
  EXPECT_FALSE(XsCheckGet(w, 405));
  EXPECT_TRUE(XsControlIsShown(w, 409));
}

TEST_F(TessagramWindowTest, PauseButtonToggles) {
  XsInjectEvent(w, kXsButton, 350);
  EXPECT_TRUE(g_spectrogramPaused.load());
  EXPECT_EQ(XsControlText(w, 350), "Continue");
  XsInjectEvent(w, kXsButton, 350);
  EXPECT_FALSE(g_spectrogramPaused.load());
  EXPECT_EQ(XsControlText(w, 350), "Pause");
}

// An invalid marker text disables the marker's box and keeps the last valid frequency.
TEST_F(TessagramWindowTest, MarkerTextsAreCheckedBeforeUse) {
  struct Case {
    int edit;
    const char* text;
    bool valid;
    float frequency;
  };
  for (Case c : {Case{401, "0", false, 75000.0f}, {401, "0.5", true, 500.0f}, {401, "150", false, 500.0f},
                 {406, "149.9", true, 149900.0f}}) {
    SCOPED_TRACE(c.text);
    SetEdit(c.edit, c.text);
    EXPECT_EQ(XsControlIsEnabled(w, c.edit - 1), c.valid);
    EXPECT_EQ((c.edit == 401 ? g_settings.SonoMarker1Frequency : g_settings.SonoMarker2Frequency).load(), c.frequency);
  }
}

TEST_F(TessagramWindowTest, MarkerButtonsStepByOneKilohertz) {
  XsInjectEvent(w, kXsButton, 403);
  EXPECT_EQ(XsControlText(w, 401), "76.0");
  EXPECT_EQ(g_settings.SonoMarker1Frequency.load(), 76000.0f);
  EXPECT_EQ(g_spectrogram.markerFrequency(0), 76000.0f);  // marker 1 is on: the line moves
  XsInjectEvent(w, kXsButton, 409);
  EXPECT_EQ(XsControlText(w, 406), "24.0");
  XsInjectEvent(w, kXsButton, 400);  // marker 1 off
  EXPECT_FALSE(g_settings.SonoMarker1Enable.load());
  EXPECT_FALSE(XsCheckGet(w, 400));
  EXPECT_FALSE(g_spectrogram.markerShown(0));
  XsInjectEvent(w, kXsButton, 405);  // marker 2 on
  EXPECT_TRUE(g_spectrogram.markerShown(1));
}

TEST_F(TessagramWindowTest, SlidersShowTheirValueWhileMoving) {
  XsInjectEvent(w, kXsSliderMoved, 356, 3);
  EXPECT_EQ(XsControlText(w, 355), "Divisions = 4");
  EXPECT_EQ(g_settings.SonoDivisions.load(), 3);
  XsInjectEvent(w, kXsSliderMoved, 354, 6);
  EXPECT_EQ(XsControlText(w, 353), "Detail = High-");
  XsInjectEvent(w, kXsSliderMoved, 352, 7);
  EXPECT_EQ(XsControlText(w, 351), "Threshold =  7");
  EXPECT_EQ(g_settings.SonoThreshold.load(), 7.0f);
  XsInjectEvent(w, kXsSliderMoved, 352, 0);  // keyboard steps report 0: ignored
  EXPECT_EQ(g_settings.SonoThreshold.load(), 7.0f);

  XsSliderSetPosition(w, 352, 33);
  XsInjectEvent(w, kXsSliderReleased, 352, 0);
  EXPECT_EQ(g_settings.SonoThreshold.load(), 33.0f);
  EXPECT_EQ(XsControlText(w, 351), "Threshold");
}

TEST_F(DisplayFixture, SpectralTraceWindowKeepsPeakHoldAcrossClose) {
  XsWindow* w = CreateSpectralTraceWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(XsWindowGetTitle(w), "Spectral Trace");
  EXPECT_FALSE(XsCheckGet(w, 316));
  XsCheckSet(w, 316, true);
  XsInjectEvent(w, kXsButton, 316);
  EXPECT_TRUE(g_peakHold.load());
  XsWindowShow(w);
  g_traceShown = true;
  XsInjectEvent(w, kXsClose);
  EXPECT_FALSE(XsWindowIsShown(w));
  EXPECT_FALSE(g_traceShown.load());
  XsWindowShow(w);
  EXPECT_TRUE(XsCheckGet(w, 316));
  EXPECT_TRUE(g_peakHold.load());
}

TEST_F(DisplayFixture, TinyMainWindowGivesAnEmptyPlot) {
  SpectrogramOnResize(200, 50);
  EXPECT_EQ(g_spectrogram.plotWidth(), 0);
  EXPECT_EQ(g_spectrogram.plotHeight(), 0);
  EXPECT_TRUE(SpectrogramOnPaint());
  double t, f, level;
  EXPECT_FALSE(g_spectrogram.pixelToPoint(256, 32, &t, &f, &level));
  SpectrogramOnResize(700, 300);
  EXPECT_EQ(g_spectrogram.plotWidth(), 412);
  EXPECT_EQ(g_spectrogram.plotHeight(), 220);
  SpectrogramOnResize(800, 336);
}

}  // namespace
}  // namespace hv
