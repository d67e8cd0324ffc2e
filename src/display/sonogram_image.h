// SpectrogramImage: the live spectrogram of the main window. A matrix of
// 512 columns x 128 frequency rows of levels in dB and a 32-bit pixel image of
// it. Columns are written left to right at a wrapping cursor (the image never
// scrolls); `present` stretches the image onto the plot rectangle of the window.
// One module-level object, g_spectrogram, drawn by the display thread and by the
// main window's paint. Every operation needs the display lock held by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct XsWindow;

namespace hv {

constexpr int kImageColumns = 512;
constexpr int kImageRows = 128;
constexpr float kEmptyLevel = -100.0f;      // a level never written
constexpr float kSeparatorLevel = -128.0f;  // marks a separator column
constexpr int kPixelBufferWidth = 800;
constexpr int kPixelBufferHeight = 336;

// The colour of a level on the scale from `lower` (blue) over the middle
// (green) to `upper` (red); far below `lower` fades to black.
uint32_t LevelColour(float level, float lower, float upper);

class SpectrogramImage {
 public:
  // Geometry for a plot of the given size at (256, 32) of the main window;
  // allocates the level matrix on the first call (all -100); sets dirty.
  void configure(int plotWidth, int plotHeight);
  // Cursor back to the left edge, every level -100, sets dirty.
  void clearLevels();
  // Paints the image area of the pixel buffer black and empties the levels.
  void clearImage();
  // Writes the next column (128 levels in dB, bin 0 first) and paints it, with
  // a white column to its right that shows the write position.
  void addColumn(const float* levels);
  // Writes the next column as a pure red separator.
  void addSeparator();
  // Rebuilds the pixels when dirty, stretches the image onto the plot, draws the markers.
  void present();
  void drawMarkers();
  // index 0 is marker 1, index 1 marker 2.
  void setMarker(int index, float frequencyHz);
  void hideMarker(int index);
  // Maps a window point to time (s), frequency (Hz) and level (dB); false outside the plot.
  bool pixelToPoint(int x, int y, double* seconds, double* frequencyHz, double* levelDb) const;
  void releaseLevels();

  // The colour scale from the Brightness and Contrast settings; sets dirty.
  void setColourScale(float brightness, float contrast);
  void markDirty() { dirty_ = true; }
  bool dirty() const { return dirty_; }

  // Time scale (seconds) and frequency scale (Hz) of the image.
  void setTimeScale(double secondsPerColumn, double tickCount, double tickSpacing);
  void setFrequencyScale(double tickCount, double tickSpacing);

  // Read access for the display thread, the views and tests.
  int cursor() const { return cursor_; }
  float level(int column, int bin) const;
  uint32_t pixel(int column, int row) const;  // image coordinates, row 0 at the top
  const uint32_t* pixels() const { return pixels_.data(); }
  float lowerLevel() const { return lower_; }
  float upperLevel() const { return upper_; }
  double secondsPerColumn() const { return secondsPerColumn_; }
  double timeTickCount() const { return timeTickCount_; }
  double timeTickSpacing() const { return timeTickSpacing_; }
  int plotLeft() const { return plotLeft_; }
  int plotTop() const { return plotTop_; }
  int plotWidth() const { return plotWidth_; }
  int plotHeight() const { return plotHeight_; }
  XsWindow* window() const { return window_; }
  bool markerShown(int index) const { return index == 0 ? marker1Shown_ : marker2Shown_; }
  float markerFrequency(int index) const { return index == 0 ? marker1Hz_ : marker2Hz_; }

 private:
  void advanceCursor();
  void paintColumn(int column, bool writeMarker);
  uint32_t& bufferPixel(int column, int row) {
    return pixels_[size_t(imageTop_ + row) * bufferWidth_ + size_t(imageLeft_ + column)];
  }

  std::vector<float> levels_;  // row-major, row 0 = bin 127
  int entryCount_ = 0;
  bool dirty_ = true;
  XsWindow* window_ = nullptr;
  std::vector<uint32_t> pixels_ = std::vector<uint32_t>(size_t(kPixelBufferWidth) * kPixelBufferHeight);
  int bufferWidth_ = kPixelBufferWidth, bufferHeight_ = kPixelBufferHeight;
  int plotWidth_ = 512, plotHeight_ = 256;
  int plotLeft_ = 256, plotTop_ = 32;
  int columns_ = 0, rows_ = 0;
  int imageLeft_ = 256, imageTop_ = 32;
  int cursor_ = -1;
  double timeOrigin_ = 0.0, secondsPerColumn_ = 1.0 / 512;
  double timeTickCount_ = 10.0, timeTickSpacing_ = 0.025;
  double frequencyOrigin_ = 0.0, frequencyTickCount_ = 12.5, frequencyTickSpacing_ = 10000.0;
  float lower_ = 0.0f, upper_ = 65536.0f;
  bool marker1Shown_ = false, marker2Shown_ = false;
  float marker1Hz_ = 0.0f, marker2Hz_ = 0.0f;
};

extern SpectrogramImage g_spectrogram;

}  // namespace hv
