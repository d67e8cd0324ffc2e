#include <vector>

#include "display/display_colours.h"
#include "display/plot_axis.h"
#include "display_fixture.h"

namespace hv {
namespace {

class PlotAxisTest : public DisplayFixture {
 protected:
  // The main window's frequency axis at start: 32 x 256 at (768, 32), 0..125 kHz.
  PlotAxis FrequencyAxis() {
    PlotAxis a;
    a.setUp(g_mainWindow, 32, 256, 768, 32, false);
    a.setScale(0.0, 12.5, 10.0);
    return a;
  }
  uint32_t Pixel(int x, int y) { return SurfacePixel(g_mainWindow, x, y); }
};

TEST_F(PlotAxisTest, FractionalTickCountLabelsEveryWholeTick) {
  std::vector<AxisTick> ticks = FrequencyAxis().ticks();
  ASSERT_EQ(ticks.size(), 13u);
  for (int i = 0; i <= 12; ++i) EXPECT_EQ(ticks[i].label, std::to_string(10 * i));
  EXPECT_EQ(ticks[0].y1, 32 + 256);                  // origin at the bottom edge
  EXPECT_EQ(ticks[12].y1, 32 + 256 / 25);            // 1/25 of the height below the top
  EXPECT_EQ(ticks[12].labelX, 768 + 32 / 3);
  EXPECT_EQ(ticks[12].x2, 768 + 32 / 4);

  PlotAxis time;
  time.setUp(g_mainWindow, 512, 32, 256, 0, true);
  time.setScale(0.0, 16.384, 6.0);
  std::vector<AxisTick> t = time.ticks();
  ASSERT_EQ(t.size(), 17u);
  EXPECT_EQ(t[16].label, "96");
  EXPECT_EQ(t[1].x1, 256 + int(1 / 16.384 * 512));
  EXPECT_EQ(t[1].labelY, 8);  // far labels: upper quarter, ticks in the lower quarter
  EXPECT_EQ(t[1].y1, 24);
  EXPECT_EQ(t[1].y2, 32);

  time.setScale(0.0, -1.0, 6.0);
  EXPECT_TRUE(time.ticks().empty());
}

TEST_F(PlotAxisTest, PositionsWrapModuloTheSpan) {
  PlotAxis a = FrequencyAxis();
  EXPECT_EQ(a.valueToPosition(0.0), 256);
  EXPECT_EQ(a.valueToPosition(62.5), 128);
  EXPECT_EQ(a.valueToPosition(125.0 + 62.5), 128);  // beyond the span wraps
  EXPECT_GT(a.valueToPosition(-1.0), 256);          // below the origin falls under the axis

  double v = 0.0;
  EXPECT_TRUE(a.axisPixelToValue(780, 32 + 255, &v));  // last pixel row
  EXPECT_NEAR(v, 125.0 / 256, 1e-9);
  EXPECT_TRUE(a.axisPixelToValue(768, 32, &v));
  EXPECT_NEAR(v, 125.0, 1e-9);
  EXPECT_FALSE(a.axisPixelToValue(800, 100, &v));
  EXPECT_FALSE(a.axisPixelToValue(780, 32 + 256, &v));
  EXPECT_FALSE(a.axisPixelToValue(767, 100, &v));
}

TEST_F(PlotAxisTest, BandAndLineKeepInsideTheStrip) {
  const uint32_t band = PackPixel(128, 255, 128), line = PackPixel(0, 0, 255), face = kButtonFacePixel;
  PlotAxis a = FrequencyAxis();
  LockGuard lock(g_displayLock);

  // Lower edge below the origin: the band reaches down to the bottom edge.
  a.clearFrequencyAxis();
  a.drawBand(-5.0, 50.0);
  EXPECT_EQ(Pixel(780, 32 + 254), band);
  EXPECT_EQ(Pixel(780, 32 + 160), band);
  EXPECT_EQ(Pixel(780, 32 + 100), face);

  // Upper edge beyond the span: drawn from the top edge down to the lower edge.
  a.clearFrequencyAxis();
  a.drawBand(100.0, 130.0);
  EXPECT_EQ(Pixel(780, 33), band);
  EXPECT_EQ(Pixel(780, 32 + 40), band);
  EXPECT_EQ(Pixel(780, 32 + 60), face);

  // A line below the origin is drawn at the top edge.
  a.clearFrequencyAxis();
  a.drawLine(-1.0);
  EXPECT_EQ(Pixel(780, 32), line);
  a.drawLine(40.0);
  EXPECT_EQ(Pixel(780, 32 + a.valueToPosition(40.0)), line);

  // The axis restores the window's colour after drawing in red.
  XsDrawSetColor(g_mainWindow, 1, 2, 3);
  a.drawAxis();
  EXPECT_EQ(XsDrawGetColor(g_mainWindow), 0x010203u);
  EXPECT_EQ(Pixel(769, 32 + 133), PackPixel(255, 0, 0));  // the tick of 60 kHz
}

}  // namespace
}  // namespace hv
