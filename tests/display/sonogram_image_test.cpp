#include <vector>

#include "display/display_colours.h"
#include "display/sonogram_image.h"
#include "display_fixture.h"

namespace hv {
namespace {

constexpr uint32_t kRed = PackPixel(255, 0, 0);
constexpr uint32_t kGreen = PackPixel(0, 255, 0);

TEST(LevelColourTest, ScaleRunsFromBlackOverBlueAndGreenToRed) {
  // Brightness 50, Contrast 50: L = 25, M = 50, U = 75.
  const float L = 25.0f, U = 75.0f;
  EXPECT_EQ(LevelColour(50.0f, L, U), kGreen);
  EXPECT_EQ(LevelColour(75.5f, L, U), kRed);
  EXPECT_EQ(LevelColour(500.0f, L, U), kRed);
  EXPECT_EQ(LevelColour(25.0f, L, U), PackPixel(0, 0, 255));
  EXPECT_EQ(LevelColour(62.5f, L, U), PackPixel(127, 128, 0));  // yellow half way
  EXPECT_EQ(LevelColour(24.5f, L, U), PackPixel(0, 0, 255));    // distance truncated to whole dB
  EXPECT_EQ(LevelColour(20.0f, L, U), PackPixel(0, 0, 204));
  EXPECT_EQ(LevelColour(0.0f, L, U), kBlackPixel);               // (U - M) below L
  EXPECT_EQ(LevelColour(-100.0f, L, U), kBlackPixel);
  EXPECT_EQ(LevelColour(-1.0f / 0.0f, L, U), kBlackPixel);
}

TEST(LevelColourTest, CollapsedScaleStaysDefined) {
  // Contrast 0 (Contrast slider at 100): every level is green, red or blue-black.
  EXPECT_EQ(LevelColour(50.0f, 50.0f, 50.0f), kGreen);
  EXPECT_EQ(LevelColour(50.5f, 50.0f, 50.0f), kRed);
  EXPECT_EQ(LevelColour(49.5f, 50.0f, 50.0f), PackPixel(0, 0, 255));
  EXPECT_EQ(LevelColour(40.0f, 50.0f, 50.0f), kBlackPixel);
}

class SpectrogramImageTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    image.configure(512, 256);
    image.setColourScale(50.0f, 50.0f);
    image.clearImage();
    image.clearLevels();
  }
  SpectrogramImage image;
};

TEST_F(SpectrogramImageTest, ColumnsCarryBordersAndTheWritePosition) {
  std::vector<float> levels(128, 50.0f);
  image.addColumn(levels.data());
  image.addColumn(levels.data());
  EXPECT_EQ(image.cursor(), 1);
  EXPECT_EQ(image.pixel(0, 64), kRed);            // first column is border
  EXPECT_EQ(image.pixel(1, 64), kGreen);          // level M
  EXPECT_EQ(image.pixel(1, 0), kRed);             // top row
  EXPECT_EQ(image.pixel(1, 127), kRed);           // bottom row
  EXPECT_EQ(image.pixel(2, 64), kWhitePixel);     // write position
  EXPECT_EQ(image.level(1, 0), 50.0f);

  levels[0] = 80.0f;  // bin 0 is painted at the bottom
  levels[1] = 80.0f;
  image.addColumn(levels.data());
  EXPECT_EQ(image.pixel(2, 126), kRed);
  EXPECT_EQ(image.pixel(2, 125), kGreen);

  image.addSeparator();
  EXPECT_EQ(image.pixel(3, 64), kRed);
  EXPECT_EQ(image.level(3, 64), kSeparatorLevel);

  // The rebuild paints from the levels: the white column goes, separators stay red.
  image.markDirty();
  LockGuard lock(g_displayLock);
  image.present();
  EXPECT_EQ(image.pixel(4, 64), kBlackPixel);
  EXPECT_EQ(image.pixel(3, 64), kRed);
  EXPECT_EQ(image.pixel(511, 64), kRed);
  EXPECT_FALSE(image.dirty());
}

TEST_F(SpectrogramImageTest, CursorWrapsAfterTheLastColumn) {
  std::vector<float> levels(128, 50.0f);
  for (int i = 0; i < 512; ++i) image.addColumn(levels.data());
  EXPECT_EQ(image.cursor(), 511);
  EXPECT_EQ(image.pixel(511, 64), kRed);  // last column is border
  image.addColumn(levels.data());
  EXPECT_EQ(image.cursor(), 0);
  image.clearLevels();
  EXPECT_EQ(image.cursor(), -1);
  EXPECT_EQ(image.level(5, 5), kEmptyLevel);
}

TEST_F(SpectrogramImageTest, PixelToPointReachesTheLastColumnAndBin) {
  image.setTimeScale(48.0 / 250000, 16.384, 0.006);
  image.setFrequencyScale(12.5, 10000.0);
  std::vector<float> levels(128, 0.0f);
  levels[127] = 77.0f;
  levels[0] = 11.0f;
  for (int i = 0; i < 512; ++i) image.addColumn(levels.data());

  double t, f, level;
  ASSERT_TRUE(image.pixelToPoint(256 + 511, 32, &t, &f, &level));  // last column, top row
  EXPECT_EQ(level, 77.0);
  EXPECT_NEAR(t, 0.098304 * 511 / 512, 1e-9);
  EXPECT_NEAR(f, 125000.0 * 255 / 256, 1e-6);
  ASSERT_TRUE(image.pixelToPoint(256 + 511, 32 + 255, &t, &f, &level));  // last row
  EXPECT_EQ(level, 11.0);
  EXPECT_NEAR(f, 0.0, 1e-9);
  EXPECT_FALSE(image.pixelToPoint(256 + 512, 100, &t, &f, &level));
  EXPECT_FALSE(image.pixelToPoint(255, 100, &t, &f, &level));
  EXPECT_FALSE(image.pixelToPoint(300, 32 + 256, &t, &f, &level));

  // A resized plot maps its own last pixel to the last column as well.
  image.configure(100, 40);
  ASSERT_TRUE(image.pixelToPoint(256 + 99, 32 + 39, &t, &f, &level));
  EXPECT_EQ(level, 11.0);
}

TEST_F(SpectrogramImageTest, MarkersDrawInsideThePlotOnly) {
  image.setFrequencyScale(12.5, 10000.0);
  image.setMarker(0, 62500.0f);
  image.setMarker(1, 200000.0f);  // beyond the plot: not drawn
  LockGuard lock(g_displayLock);
  image.present();
  EXPECT_EQ(SurfacePixel(g_mainWindow, 300, int(32 + 255 - 0.5 * 256)), PackPixel(255, 255, 128));
  image.hideMarker(0);
  EXPECT_FALSE(image.markerShown(0));
  EXPECT_TRUE(image.markerShown(1));
}

}  // namespace
}  // namespace hv
