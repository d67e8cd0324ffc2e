#include "display/readout.h"

#include <cstdio>

#include "display/display_colours.h"
#include "ui/toolkit/xs.h"

namespace hv {

ReadoutBlock g_mainReadout;
ReadoutBlock g_traceReadout;

void ReadoutBlock::setUp(XsWindow* w, const uint32_t* background, int backgroundWidth,
                         int backgroundHeight, int columnCount) {
  window_ = w;
  background_ = background;
  backgroundWidth_ = backgroundWidth;
  backgroundHeight_ = backgroundHeight;
  columnCount_ = columnCount == 2 ? 2 : 3;
}

void ReadoutBlock::setDestination(int left, int top, int width, int height) {
  destLeft_ = left;
  destTop_ = top;
  destWidth_ = width;
  destHeight_ = height;
}

void ReadoutBlock::setSource(int left, int top, int width, int height) {
  srcLeft_ = left;
  srcTop_ = top;
  srcWidth_ = width;
  srcHeight_ = height;
}

void ReadoutBlock::setRows(int first, int second) {
  rows_[0] = first;
  rows_[1] = second;
}

void ReadoutBlock::setColumns(int first, int second, int third) {
  columns_[0] = first;
  columns_[1] = second;
  columns_[2] = third;
}

void ReadoutBlock::setUnits(const char* first, const char* second, const char* third) {
  units_[0] = first ? first : "?";
  units_[1] = second ? second : "?";
  units_[2] = third ? third : "?";
}

void ReadoutBlock::restore() const {
  if (!background_) return;
  XsDrawImage(window_, background_, backgroundWidth_, backgroundHeight_, destLeft_, destTop_,
              destWidth_, destHeight_, srcLeft_, srcTop_, srcWidth_, srcHeight_);
}

void ReadoutBlock::text(int column, int row, const char* name, int unitIndex, float value) const {
  char line[96];
  std::snprintf(line, sizeof line, "%s(%s): %#8.2f", name, units_[unitIndex].c_str(), double(value));
  XsDrawText(window_, line, columns_[column], rows_[row] + rowOffset_);
}

void ReadoutBlock::showSingle(float value) {
  if (!window_) return;
  uint32_t saved = XsDrawGetColor(window_);
  restore();
  XsDrawSetColor(window_, 0, 0, 0);
  if (columnCount_ == 3)
    text(1, 0, "Y", 1, value);
  else
    text(0, 0, "X", 0, value);
  XsDrawSetColor(window_, PixelRed(saved), PixelGreen(saved), PixelBlue(saved));
}

void ReadoutBlock::showValues(float x, float y, float z) {
  if (!window_) return;
  uint32_t saved = XsDrawGetColor(window_);
  restore();
  XsDrawSetColor(window_, 0, 0, 0);
  if (columnCount_ == 3) {
    text(0, 0, "X", 0, x);
    text(1, 0, "Y", 1, y);
    text(2, 0, "Z", 2, z);
  } else {
    text(0, 0, "X", 0, x);
    text(0, 1, "Y", 1, y);
  }
  XsDrawSetColor(window_, PixelRed(saved), PixelGreen(saved), PixelBlue(saved));
}

void ReadoutBlock::showValuesAndDifferences(float x, float y, float z, float dx, float dy, float dz) {
  if (!window_) return;
  showValues(x, y, z);
  uint32_t saved = XsDrawGetColor(window_);
  XsDrawSetColor(window_, 0, 0, 0);
  if (columnCount_ == 3) {
    text(0, 1, "dX", 0, dx);
    text(1, 1, "dY", 1, dy);
    text(2, 1, "dZ", 2, dz);
  } else {
    text(1, 0, "dX", 0, dx);
    text(1, 1, "dY", 1, dy);
  }
  XsDrawSetColor(window_, PixelRed(saved), PixelGreen(saved), PixelBlue(saved));
}

}  // namespace hv
