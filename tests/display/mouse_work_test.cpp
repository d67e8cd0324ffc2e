#include "display/mouse_work.h"
#include "display/plot_axis.h"
#include "display/sonogram_image.h"
#include "display/sonogram_view.h"
#include "display/trace_plot.h"
#include "display_fixture.h"

namespace hv {
namespace {

class MouseWorkTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    UseTraceWindow();
    LockGuard lock(g_displayLock);
    LayOutSpectrogramArea(512, 256);
    g_frequencyAxis.setScale(0.0, 12.5, 10.0);  // 125 kHz over 256 rows of the axis at x 768..799
    g_spectrogram.setTimeScale(48.0 / 250000, 16.384, 0.006);
    g_spectrogram.setFrequencyScale(12.5, 10000.0);
  }
  void Event(XsWindow* w, int event, int x, int y) { RecordMouseEvent(w, event, x, y); }
  MouseWork work;
};

// Rounding to 250 Hz steps either way; the limits are proven by the drag tests below.
TEST(TuneOffsetTest, StepsOf250Hz) {
  EXPECT_EQ(TuneOffsetForDrag(50000.0, 50124.0, 40000.0f, 21025.0f, 113975.0f), 0.0f);
  EXPECT_EQ(TuneOffsetForDrag(50000.0, 50125.0, 40000.0f, 21025.0f, 113975.0f), 250.0f);
  EXPECT_EQ(TuneOffsetForDrag(50000.0, 45117.2, 40000.0f, 21025.0f, 113975.0f), -4750.0f);
}

TEST_F(MouseWorkTest, DragOnTheFrequencyAxisTunesAndReleaseCommits) {
  Event(g_mainWindow, kXsLeftDown, 780, 150);
  Event(g_mainWindow, kXsDrag, 780, 140);  // 10 rows up: 4882.8 Hz
  work.run();
  EXPECT_EQ(g_tuneOffset.load(), 5000.0f);
  EXPECT_EQ(g_settings.TuneFrequency.load(), 40000.0f);  // not yet committed

  Event(g_mainWindow, kXsDrag, 780, 100);  // 24414 Hz up
  work.run();
  EXPECT_EQ(g_tuneOffset.load(), 24500.0f);
  g_tuneUpperLimit = 60000.0f;  // the same drag beyond the upper limit is held there
  Event(g_mainWindow, kXsDrag, 780, 99);
  work.run();
  EXPECT_EQ(g_tuneOffset.load(), 20000.0f);

  Event(g_mainWindow, kXsDrag, 780, 287);  // far down: held at the lower limit
  work.run();
  EXPECT_EQ(g_tuneOffset.load(), 21025.0f - 40000.0f);

  Event(g_mainWindow, kXsLeftUp, 780, 287);
  work.run();
  EXPECT_EQ(g_settings.TuneFrequency.load(), 21025.0f);
  EXPECT_EQ(g_tuneOffset.load(), 0.0f);
  EXPECT_EQ(g_mouse.down.load(), MousePoint{});
  EXPECT_EQ(work.reference(), MousePoint{});  // a drag never becomes the reference point
}

TEST_F(MouseWorkTest, DragOutsideTheAxisDoesNotTune) {
  Event(g_mainWindow, kXsLeftDown, 500, 150);  // inside the plot, not on the axis
  Event(g_mainWindow, kXsDrag, 500, 100);
  work.run();
  Event(g_mainWindow, kXsLeftUp, 500, 100);
  work.run();
  EXPECT_EQ(g_tuneOffset.load(), 0.0f);
  EXPECT_EQ(g_settings.TuneFrequency.load(), 40000.0f);
  EXPECT_EQ(work.reference(), MousePoint{});
}

TEST_F(MouseWorkTest, ClickSetsTheReferenceAndRightButtonClearsIt) {
  Event(g_mainWindow, kXsLeftDown, 300, 100);
  Event(g_mainWindow, kXsLeftUp, 301, 101);  // moved less than 2 pixels: a click
  work.run();
  EXPECT_EQ(work.reference(), (MousePoint{301, 101}));
  // The same position again is a new click, seen again.
  Event(g_mainWindow, kXsLeftDown, 301, 101);
  Event(g_mainWindow, kXsLeftUp, 301, 101);
  work.run();
  EXPECT_EQ(work.reference(), (MousePoint{301, 101}));

  // While recording the main window keeps the reference on a right click.
  g_recordOn = true;
  SpectrogramOnMouse(kXsRightUp, 400, 100, 0);
  work.run();
  EXPECT_EQ(work.reference(), (MousePoint{301, 101}));
  g_recordOn = false;
  SpectrogramOnMouse(kXsRightUp, 400, 100, 0);
  work.run();
  EXPECT_EQ(work.reference(), MousePoint{});
}

TEST_F(MouseWorkTest, DragInTheTracePlotTunes) {
  {
    LockGuard lock(g_displayLock);
    TraceBitmap();
  }
  TracePlotStart(250000.0f, 250000.0f / 512, 40000.0f);
  // 512 pixels span 125 kHz: 40 pixels are 9765.6 Hz -> 9750 Hz.
  Event(g_spectralTraceWindow, kXsLeftDown, 100, 100);
  Event(g_spectralTraceWindow, kXsDrag, 140, 100);
  work.run();
  EXPECT_EQ(g_tuneOffset.load(), 9750.0f);
  Event(g_spectralTraceWindow, kXsLeftUp, 140, 100);
  work.run();
  EXPECT_EQ(g_settings.TuneFrequency.load(), 49750.0f);
  EXPECT_EQ(g_tuneOffset.load(), 0.0f);
}

}  // namespace
}  // namespace hv
