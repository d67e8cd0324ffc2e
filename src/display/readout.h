// Readout lines: a short block of text under a plot that shows the value under
// the mouse pointer and its difference from a reference point. The strip under
// the text is restored from the window's background image before each update.
// Every call needs the display lock held by the caller.
#pragma once

#include <cstdint>
#include <string>

struct XsWindow;

namespace hv {

class ReadoutBlock {
 public:
  // `columns` is 3 for the main window's block (time, frequency, level) and 2
  // for the Spectral Trace block (frequency, level).
  void setUp(XsWindow* w, const uint32_t* background, int backgroundWidth, int backgroundHeight,
             int columnCount);
  void setDestination(int left, int top, int width, int height);
  void setSource(int left, int top, int width, int height);
  void setRows(int first, int second);
  void setColumns(int first, int second, int third);
  void setUnits(const char* first, const char* second, const char* third);

  // The tuning centre during a drag: "Y" (main) or "X" (trace) on the first row.
  void showSingle(float value);
  // The values under the pointer.
  void showValues(float x, float y, float z);
  // The values and their differences from the reference point.
  void showValuesAndDifferences(float x, float y, float z, float dx, float dy, float dz);

  const std::string& unit(int i) const { return units_[i]; }

 private:
  void restore() const;
  void text(int column, int row, const char* name, int unitIndex, float value) const;

  XsWindow* window_ = nullptr;
  const uint32_t* background_ = nullptr;
  int backgroundWidth_ = 0, backgroundHeight_ = 0;
  int destLeft_ = 0, destTop_ = 0, destWidth_ = 0, destHeight_ = 0;
  int srcLeft_ = 0, srcTop_ = 0, srcWidth_ = 0, srcHeight_ = 0;
  std::string units_[3] = {"?", "?", "?"};
  int rowOffset_ = -6;
  int rows_[2] = {0, 0};
  int columns_[3] = {0, 0, 0};
  int columnCount_ = 3;
};

// The block under the spectrogram in the main window and the one under the trace plot.
extern ReadoutBlock g_mainReadout;
extern ReadoutBlock g_traceReadout;

}  // namespace hv
