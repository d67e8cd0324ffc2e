#include "display/sonogram_image.h"

#include <algorithm>
#include <cmath>

#include "display/display_colours.h"
#include "display/display_surfaces.h"
#include "ui/toolkit/xs.h"

namespace hv {

SpectrogramImage g_spectrogram;

namespace {

// A colour component: truncated toward zero and clamped to 0..255 (NaN gives 0).
int Component(float x) {
  if (!(x > 0.0f)) return 0;
  if (x >= 255.0f) return 255;
  return static_cast<int>(x);
}

// k x d truncated toward zero; exactly 0 for d = 0 even when k is infinite
// (a Contrast of 0 collapses the scale).
float Product(float k, float d) { return d == 0.0f ? 0.0f : std::trunc(k * d); }

}  // namespace

uint32_t LevelColour(float v, float lower, float upper) {
  float middle = (lower + upper) / 2.0f;
  float k = 255.0f / (upper - middle);
  if (v > middle) {
    int red = Component(Product(k, v - middle));
    return PackPixel(red, 255 - red, 0);
  }
  if (v >= lower) {
    int blue = Component(Product(k, middle - v));
    return PackPixel(0, 255 - blue, blue);
  }
  return PackPixel(0, 0, Component(255.0f - Product(k, std::trunc(lower - v))));
}

void SpectrogramImage::configure(int plotWidth, int plotHeight) {
  window_ = g_mainWindow;
  bufferWidth_ = kPixelBufferWidth;
  bufferHeight_ = kPixelBufferHeight;
  pixels_.resize(size_t(bufferWidth_) * bufferHeight_);
  plotLeft_ = 256;
  plotTop_ = 32;
  plotWidth_ = std::max(plotWidth, 0);
  plotHeight_ = std::max(plotHeight, 0);
  columns_ = kImageColumns;
  rows_ = kImageRows;
  imageLeft_ = 256;
  imageTop_ = 32;
  if (levels_.empty()) {
    levels_.assign(size_t(kImageColumns) * kImageRows, kEmptyLevel);
    entryCount_ = kImageColumns * kImageRows;
  }
  dirty_ = true;
}

void SpectrogramImage::clearLevels() {
  cursor_ = -1;
  std::fill(levels_.begin(), levels_.end(), kEmptyLevel);
  dirty_ = true;
}

void SpectrogramImage::clearImage() {
  for (int row = 0; row < 2 * kImageRows && imageTop_ + row < bufferHeight_; ++row)
    for (int col = 0; col < kImageColumns; ++col) bufferPixel(col, row) = kBlackPixel;
  std::fill(levels_.begin(), levels_.end(), kEmptyLevel);
}

void SpectrogramImage::advanceCursor() {
  ++cursor_;
  if (cursor_ >= kImageColumns) cursor_ = 0;
}

void SpectrogramImage::paintColumn(int column, bool writeMarker) {
  bool borderColumn = column == 0 || column == kImageColumns - 1;
  for (int row = 0; row < kImageRows; ++row) {
    float v = levels_[size_t(row) * kImageColumns + column];
    uint32_t colour;
    if (borderColumn || row == 0 || row == kImageRows - 1)
      colour = kPureRedPixel;
    else if (!writeMarker && v == kSeparatorLevel)
      colour = kPureRedPixel;
    else
      colour = LevelColour(v, lower_, upper_);
    bufferPixel(column, row) = colour;
    // The white column right of the newest one shows the write position; at
    // the last column it lands outside the image, inside the buffer.
    if (writeMarker) bufferPixel(column + 1, row) = kWhitePixel;
  }
}

void SpectrogramImage::addColumn(const float* levels) {
  if (levels_.empty()) return;
  advanceCursor();
  for (int bin = 0; bin < kImageRows; ++bin)
    levels_[size_t(kImageRows - 1 - bin) * kImageColumns + cursor_] = levels[bin];
  paintColumn(cursor_, true);
}

void SpectrogramImage::addSeparator() {
  if (levels_.empty()) return;
  advanceCursor();
  for (int row = 0; row < kImageRows; ++row)
    levels_[size_t(row) * kImageColumns + cursor_] = kSeparatorLevel;
  for (int row = 0; row < kImageRows; ++row) bufferPixel(cursor_, row) = kPureRedPixel;
}

void SpectrogramImage::present() {
  if (!window_ || columns_ == 0 || rows_ == 0) return;
  if (dirty_ && !levels_.empty()) {
    for (int col = 0; col < kImageColumns; ++col) paintColumn(col, false);
    dirty_ = false;
  }
  XsDrawImage(window_, pixels_.data(), bufferWidth_, bufferHeight_, plotLeft_, plotTop_, plotWidth_,
              plotHeight_, imageLeft_, imageTop_, columns_, rows_);
  drawMarkers();
}

void SpectrogramImage::drawMarkers() {
  if (!window_) return;
  double span = frequencyTickCount_ * frequencyTickSpacing_;
  if (!(span > 0.0)) return;
  uint32_t saved = XsDrawGetColor(window_);
  for (int index = 0; index < 2; ++index) {
    if (!markerShown(index)) continue;
    float f = index == 0 ? marker1Hz_ : marker2Hz_;
    double y = std::trunc(plotTop_ + (plotHeight_ - 1) - (f - frequencyOrigin_) / span * plotHeight_);
    if (!(y >= plotTop_ && y < plotTop_ + plotHeight_)) continue;
    if (index == 0)
      XsDrawSetColor(window_, 255, 255, 128);
    else
      XsDrawSetColor(window_, 255, 196, 0);
    XsDrawLine(window_, plotLeft_, int(y), plotLeft_ + plotWidth_ - 1, int(y));
  }
  XsDrawSetColor(window_, PixelRed(saved), PixelGreen(saved), PixelBlue(saved));
}

void SpectrogramImage::setMarker(int index, float frequencyHz) {
  if (index == 0) {
    marker1Shown_ = true;
    marker1Hz_ = frequencyHz;
  } else if (index == 1) {
    marker2Shown_ = true;
    marker2Hz_ = frequencyHz;
  }
}

void SpectrogramImage::hideMarker(int index) {
  if (index == 0) marker1Shown_ = false;
  if (index == 1) marker2Shown_ = false;
}

bool SpectrogramImage::pixelToPoint(int x, int y, double* seconds, double* frequencyHz,
                                    double* levelDb) const {
  if (x < plotLeft_ || x >= plotLeft_ + plotWidth_ || y < plotTop_ || y >= plotTop_ + plotHeight_)
    return false;
  if (levels_.empty()) return false;
  double timeSpan = timeTickCount_ * timeTickSpacing_;
  double frequencySpan = frequencyTickCount_ * frequencyTickSpacing_;
  double t = timeSpan * (x - plotLeft_) / plotWidth_ + timeOrigin_;
  double f = frequencySpan * (plotHeight_ + plotTop_ - y - 1) / plotHeight_ + frequencyOrigin_;
  auto index = [](double fraction, int count) {
    double i = std::trunc(fraction * count);
    if (!(i >= 0.0)) return 0;
    return i >= count - 1 ? count - 1 : int(i);
  };
  int column = timeSpan > 0.0 ? index((t - timeOrigin_) / timeSpan, kImageColumns) : 0;
  int bin = frequencySpan > 0.0 ? index((f - frequencyOrigin_) / frequencySpan, kImageRows) : 0;
  *seconds = t;
  *frequencyHz = f;
  *levelDb = level(column, bin);
  return true;
}

void SpectrogramImage::releaseLevels() {
  levels_.clear();
  levels_.shrink_to_fit();
  entryCount_ = 0;
}

void SpectrogramImage::setColourScale(float brightness, float contrast) {
  lower_ = brightness - contrast / 2.0f;
  upper_ = lower_ + contrast;
  dirty_ = true;
}

void SpectrogramImage::setTimeScale(double secondsPerColumn, double tickCount, double tickSpacing) {
  timeOrigin_ = 0.0;
  secondsPerColumn_ = secondsPerColumn;
  timeTickCount_ = tickCount;
  timeTickSpacing_ = tickSpacing;
}

void SpectrogramImage::setFrequencyScale(double tickCount, double tickSpacing) {
  frequencyOrigin_ = 0.0;
  frequencyTickCount_ = tickCount;
  frequencyTickSpacing_ = tickSpacing;
}

float SpectrogramImage::level(int column, int bin) const {
  if (levels_.empty() || column < 0 || column >= kImageColumns || bin < 0 || bin >= kImageRows)
    return kEmptyLevel;
  return levels_[size_t(kImageRows - 1 - bin) * kImageColumns + column];
}

uint32_t SpectrogramImage::pixel(int column, int row) const {
  return pixels_[size_t(imageTop_ + row) * bufferWidth_ + size_t(imageLeft_ + column)];
}

}  // namespace hv
