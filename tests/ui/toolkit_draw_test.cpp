// Drawing into window surfaces: shapes, colours and the image blit's size rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "ui/toolkit/xs.h"

namespace {

int NoHandler(XsWindow*, int, int*) { return 0; }

struct Canvas {
  XsWindow* w;
  std::vector<uint32_t> px;
  int width = 0, height = 0;
  explicit Canvas(int cw = 40, int ch = 30) : w(XsWindowCreate(NoHandler, kXsFixedTool)) {
    XsWindowSetClientSize(w, cw, ch);
    XsDrawSetColor(w, 0, 0, 0);
    XsDrawRect(w, 0, 0, cw, ch);
  }
  uint32_t At(int x, int y) {
    XsReadSurface(w, &px, &width, &height);
    return px[y * width + x];
  }
  int Count(uint32_t colour) {
    XsReadSurface(w, &px, &width, &height);
    int n = 0;
    for (uint32_t p : px) n += p == colour;
    return n;
  }
};

TEST(ToolkitDraw, LinesIncludeBothEndsAndRectsFillExactly) {
  Canvas c;
  XsDrawSetColor(c.w, 255, 0, 0);
  EXPECT_EQ(XsDrawGetColor(c.w), 0xFF0000u);
  XsDrawLine(c.w, 2, 3, 9, 3);
  EXPECT_EQ(c.Count(0xFF0000), 8);
  EXPECT_EQ(c.At(9, 3), 0xFF0000u);
  XsDrawSetColor(c.w, 0, 0, 255);
  XsDrawRect(c.w, 10, 10, 5, 4);
  EXPECT_EQ(c.Count(0x0000FF), 20);
  EXPECT_EQ(c.At(14, 13), 0x0000FFu);
  XsDrawSetColor(c.w, 0, 255, 0);
  int points[] = {0, 0, 5, 5, 5, 0};
  XsDrawLines(c.w, points, 3);
  EXPECT_EQ(c.Count(0x00FF00), 11);  // two segments of six sharing the corner
  XsDrawRect(c.w, 35, 25, 100, 100);  // clipped at the surface edge
  EXPECT_EQ(c.At(39, 29), 0x00FF00u);
  XsDrawPixel(c.w, -1, 500);  // outside: ignored
}

TEST(ToolkitDraw, ResizingKeepsWhatWasDrawn) {
  Canvas c(10, 10);
  XsDrawSetColor(c.w, 1, 2, 3);
  XsDrawPixel(c.w, 4, 5);
  XsWindowSetClientSize(c.w, 20, 8);
  EXPECT_EQ(c.At(4, 5), 0x010203u);
  EXPECT_EQ(c.width, 20);
  EXPECT_EQ(c.height, 8);
}

TEST(ToolkitDraw, TextMarksPixelsTransparently) {
  Canvas c;
  XsDrawSetColorWindowText(c.w);
  EXPECT_EQ(XsDrawGetColor(c.w), 0x000000u);
  XsDrawSetColorWindow(c.w);
  EXPECT_EQ(XsDrawGetColor(c.w), 0xFFFFFFu);
  XsDrawText(c.w, "H1", 2, 2);
  int lit = c.Count(0xFFFFFF);
  EXPECT_GT(lit, 10);
  EXPECT_EQ(c.At(0, 0), 0u);  // the background stays
  int tw = 0, th = 0;
  XsTextExtent("H1", &tw, &th);  // every lit pixel lies inside the extent
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      if (c.px[y * c.width + x]) {
        EXPECT_GE(x, 2);
        EXPECT_LT(x, 2 + tw);
        EXPECT_GE(y, 2);
        EXPECT_LT(y, 2 + th);
      }
}

// Text drawn into a plain buffer (pictures made without a window) lights the
// same pixels as on a window surface of that size, clipped at every edge; a
// buffer smaller than its stated size is refused and left untouched.
TEST(ToolkitDraw, TextOnPlainPixelsMatchesTheWindowSurface) {
  const int kWidth = 40, kHeight = 30;
  for (auto [x, y] : {std::pair{2, 2}, {-4, -3}, {34, 25}}) {
    Canvas c(kWidth, kHeight);
    XsDrawSetColor(c.w, 0x12, 0x34, 0x56);
    XsDrawText(c.w, "HH1g", x, y);
    c.At(0, 0);
    std::vector<uint32_t> plain(size_t(kWidth) * kHeight, 0);
    ASSERT_TRUE(XsDrawTextOnPixels(&plain, kWidth, kHeight, "HH1g", x, y, 0x123456));
    EXPECT_EQ(plain, c.px) << "text at " << x << ", " << y;
    EXPECT_GT(std::count(plain.begin(), plain.end(), 0x123456u), 3) << "text at " << x << ", " << y;
    int tw = 0, th = 0;
    XsTextExtent("HH1g", &tw, &th);  // nothing lit outside the text's cell, none wrapped round an edge
    for (int py = 0; py < kHeight; ++py)
      for (int px = 0; px < kWidth; ++px)
        if (plain[size_t(py) * kWidth + px])
          EXPECT_TRUE(px >= x && px < x + tw && py >= y && py < y + th) << px << ", " << py;
  }
  std::vector<uint32_t> small(size_t(kWidth) * kHeight - 1, 7);
  EXPECT_FALSE(XsDrawTextOnPixels(&small, kWidth, kHeight, "H", 0, 0, 0xFFFFFF));
  EXPECT_EQ(std::count(small.begin(), small.end(), 7u), long(small.size()));
  EXPECT_FALSE(XsDrawTextOnPixels(nullptr, 1, 1, "H", 0, 0, 0xFFFFFF));
  std::vector<uint32_t> none;
  EXPECT_TRUE(XsDrawTextOnPixels(&none, 0, 0, nullptr, 0, 0, 0xFFFFFF));
}

// A 4 x 3 image whose pixel value encodes its position: 0xXY.
std::vector<uint32_t> Image() {
  std::vector<uint32_t> img(12);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) img[y * 4 + x] = 0x100 + x * 16 + y;
  return img;
}

TEST(ToolkitDraw, ImageBlitSizeRules) {
  std::vector<uint32_t> img = Image();
  {
    Canvas c;  // destination -1: the source size; source -1: up to the image edge
    ASSERT_TRUE(XsDrawImage(c.w, img.data(), 4, 3, 5, 6, -1, -1, 1, 1, -1, -1));
    EXPECT_EQ(c.Count(0), 40 * 30 - 6);
    EXPECT_EQ(c.At(5, 6), 0x111u);
    EXPECT_EQ(c.At(7, 7), 0x132u);
    EXPECT_EQ(c.At(8, 6), 0u);
  }
  {
    Canvas c;  // rows count from the top of a top-down image
    XsDrawImage(c.w, img.data(), 4, 3, 0, 0, 4, 1, 0, 2, 4, 1);
    EXPECT_EQ(c.At(0, 0), 0x102u);
    EXPECT_EQ(c.At(3, 0), 0x132u);
  }
  {
    Canvas c;  // stretched twice, source clipped to the image
    XsDrawImage(c.w, img.data(), 4, 3, 0, 0, 8, 6, 0, 0, 10, 10);
    EXPECT_EQ(c.At(7, 5), 0x132u);
    EXPECT_EQ(c.At(1, 1), 0x100u);
    EXPECT_EQ(c.At(2, 2), 0x111u);
    EXPECT_EQ(c.At(8, 0), 0u);
  }
  {
    Canvas c;  // the reserved byte never reaches the surface
    uint32_t p = 0xAB123456;
    XsDrawImage(c.w, &p, 1, 1, 0, 0, -1, -1, 0, 0, -1, -1);
    EXPECT_EQ(c.At(0, 0), 0x123456u);
  }
}

}  // namespace
