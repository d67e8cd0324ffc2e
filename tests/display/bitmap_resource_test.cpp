#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/le_bytes.h"
#include "display/bitmap_resource.h"
#include "display/display_colours.h"
#include "display/trace_plot.h"
#include "display_fixture.h"

namespace hv {
namespace {

// A minimal BMP: headers and rows of the given depth, bottom-up.
std::vector<uint8_t> Bmp(int width, int height, int bits, uint32_t compression = 0) {
  uint32_t stride = (uint32_t(width) * bits + 31) / 32 * 4;
  std::vector<uint8_t> b(54 + stride * uint32_t(height < 0 ? -height : height), 0);
  auto put32 = [&](size_t at, uint32_t v) { PutLe32(&b[at], v); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  b[26] = 1;
  b[28] = uint8_t(bits);
  put32(30, compression);
  return b;
}

// The bitmap with one byte changed.
std::vector<uint8_t> With(std::vector<uint8_t> b, size_t at, uint8_t value) {
  b[at] = value;
  return b;
}

TEST(BitmapTest, ParsesAndRefusesDamagedHeaders) {
  BitmapView v;
  auto parses = [&v](const std::vector<uint8_t>& b, size_t size = SIZE_MAX) {
    return ParseBitmap(b.data(), std::min(size, b.size()), &v);
  };
  std::vector<uint8_t> good = With(Bmp(3, 2, 24), 54, 9);  // first stored row is the bottom picture row
  ASSERT_TRUE(parses(good));
  EXPECT_EQ(v.width, 3);
  EXPECT_EQ(v.height, 2);
  EXPECT_EQ(v.stride, 12u);
  EXPECT_EQ(v.row(1)[0], 9);
  ASSERT_TRUE(parses(Bmp(3, -2, 24)));
  EXPECT_TRUE(v.topDown);

  EXPECT_FALSE(parses(good, good.size() - 1));  // truncated rows
  EXPECT_FALSE(parses(good, 40));               // truncated header
  EXPECT_FALSE(parses(Bmp(3, 2, 8, 1)));        // compressed
  EXPECT_FALSE(parses(With(good, 25, 0x7F)));   // height far beyond the bytes present
  EXPECT_FALSE(parses(With(good, 10, 200)));    // rows start beyond the end
  EXPECT_FALSE(ParseBitmap(nullptr, 0, &v));
}

TEST(BitmapTest, TraceBackgroundComesFromResource103) {
  BitmapView v;
  ASSERT_TRUE(FindBitmapResource(103, &v));
  EXPECT_EQ(v.width, 576);
  EXPECT_EQ(v.height, 320);
  EXPECT_EQ(v.bitsPerPixel, 24);
  EXPECT_FALSE(FindBitmapResource(999, &v));

  std::vector<uint32_t> bg = BuildWindowBackground(103, 576, 276);
  ASSERT_EQ(bg.size(), 576u * 276u);
  EXPECT_EQ(bg[0], kButtonFacePixel);                  // white became button face
  EXPECT_EQ(PixelRed(bg[31 * 576 + 100]), 200);        // the red frame
  uint32_t plot = bg[100 * 576 + 100];                 // the pale plot area stays
  EXPECT_NE(plot, kButtonFacePixel);
  EXPECT_EQ(PixelRed(plot), 255);
  EXPECT_EQ(bg[250 * 576 + 100], kButtonFacePixel);    // readout strip
  EXPECT_EQ(BuildWindowBackground(999, 4, 4), std::vector<uint32_t>(16, kButtonFacePixel));
}

class TracePlotTest : public DisplayFixture {
 protected:
  void SetUp() override {
    DisplayFixture::SetUp();
    UseTraceWindow();
    LockGuard lock(g_displayLock);
    std::fill(TraceBitmap().begin(), TraceBitmap().end(), PackPixel(250, 250, 240));
  }
  uint32_t At(int x, int y) { return TraceBitmap()[size_t(y) * 576 + x]; }
};

TEST_F(TracePlotTest, GridBandAndMarker) {
  TracePlotStart(250000.0f, 250000.0f / 512, 40000.0f);
  // 12.5 divisions: 12 grid columns inside the plot.
  int gridColumns = 0;
  for (int col = 1; col < 512; ++col)
    if (At(32 + col, 40) != At(32 + 1, 40) && At(32 + col, 40) == At(32 + col, 200)) ++gridColumns;
  EXPECT_GE(gridColumns, 12);
  int marker = TracePlotColumn(40000.0);
  EXPECT_EQ(marker, int(40000.0 / 125000.0 * 512));
  EXPECT_EQ(At(32 + marker, 100), PackPixel(0, 0, 255));
  uint32_t tinted = TintPixel(PackPixel(250, 250, 240));
  EXPECT_EQ(tinted, PackPixel(3 * 250 / 4 + 24, 3 * 250 / 4 + 48, 3 * 240 / 4 + 24));
  EXPECT_EQ(At(32 + TracePlotColumn(40000.0 + 5000.0), 101), tinted);
  EXPECT_EQ(At(32 + TracePlotColumn(40000.0 + 12000.0), 101), PackPixel(250, 250, 240));

  // Moving the tuning restores the plot before shading again: no double tint.
  TracePlotShowTuning(45000.0f);
  EXPECT_EQ(At(32 + TracePlotColumn(42000.0), 101), tinted);
  EXPECT_EQ(At(32 + TracePlotColumn(32000.0), 101), PackPixel(250, 250, 240));
  EXPECT_NE(At(32 + marker, 100), PackPixel(0, 0, 255));

  // Rows: 90 dB at the top, -10 dB at the bottom, off-scale values held at the edges.
  EXPECT_EQ(TracePlotRow(90.0), 0);
  EXPECT_EQ(TracePlotRow(40.0), 98);
  EXPECT_EQ(TracePlotRow(-10.0), 195);
  EXPECT_EQ(TracePlotRow(-1.0 / 0.0), 195);
  EXPECT_EQ(TracePlotRow(0.0 / 0.0), 195);
  EXPECT_EQ(TracePlotRow(500.0), 0);

  double f, level;
  ASSERT_TRUE(TracePlotPixelToPoint(32 + 256, 32, &f, &level));
  EXPECT_NEAR(f, 62500.0, 1e-9);
  EXPECT_NEAR(level, 90.0, 1e-9);
  EXPECT_FALSE(TracePlotPixelToPoint(32 + 512, 100, &f, &level));
  EXPECT_FALSE(TracePlotPixelToPoint(100, 32 + 196, &f, &level));
}

TEST_F(TracePlotTest, TraceIsDrawnOverTheRestoredPlot) {
  TracePlotStart(250000.0f, 250000.0f / 512, 40000.0f);
  std::vector<float> levels(256, 40.0f);
  TracePlotDrawTrace(levels.data(), 256);
  EXPECT_EQ(SurfacePixel(g_spectralTraceWindow, 300, 32 + 98), PackPixel(32, 32, 96));
  EXPECT_EQ(SurfacePixel(g_spectralTraceWindow, 300, 32 + 50), At(300, 32 + 50));
}

}  // namespace
}  // namespace hv
