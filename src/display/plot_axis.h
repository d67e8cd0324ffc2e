// PlotAxis: an axis strip beside a plot. It draws numeric labels with tick
// marks, and maps a pointer position on the strip back to a value. The main
// window's frequency axis also carries the audio tuning band and the tuning line.
// Every drawing call needs the display lock held by the caller.
#pragma once

#include <string>
#include <vector>

struct XsWindow;

namespace hv {

// One label with its tick, in window coordinates.
struct AxisTick {
  std::string label;
  int labelX = 0, labelY = 0;  // top-left corner of the label text
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // the tick line
};

class PlotAxis {
 public:
  // Places the axis; vertical when width < height. `farLabels` (horizontal
  // axes): labels in the upper quarter and ticks in the lower quarter.
  void setUp(XsWindow* w, int width, int height, int left, int top, bool farLabels);
  // The axis spans tickCount x tickSpacing from `origin`; tickCount need not be whole.
  void setScale(double origin, double tickCount, double tickSpacing);

  // The labels and ticks drawAxis draws (empty when the tick count is negative).
  std::vector<AxisTick> ticks() const;
  // Draws labels and ticks in red, then restores the window's colour.
  void drawAxis() const;
  // Fills the strip with the button-face colour.
  void clearFrequencyAxis() const;
  // Filled rectangle in (128, 255, 128) between two values (wrapped into the span).
  void drawBand(double low, double high) const;
  // Line in (0, 0, 255) across the strip at a value.
  void drawLine(double value) const;
  // Pixels from the top (vertical) or the left (horizontal) for a value; the
  // value is taken modulo the span, so positions beyond it wrap around.
  int valueToPosition(double value) const;
  // The value under a point of the strip; false outside it.
  bool axisPixelToValue(int x, int y, double* value) const;

  double span() const { return tickCount * tickSpacing; }

  XsWindow* window = nullptr;
  int width = 0, height = 0;
  int left = 0, top = 0;
  bool vertical = true;
  bool farLabels = false;
  double origin = 0.0;
  double tickCount = 5.0;
  double tickSpacing = 1.0;
};

// The main window's two spectrogram axes: time above the plot (labels in ms)
// and frequency to its right (labels in kHz, with the tuning band and line).
extern PlotAxis g_timeAxis;
extern PlotAxis g_frequencyAxis;

}  // namespace hv
