#include "display/trace_plot.h"

#include <algorithm>
#include <cmath>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_colours.h"
#include "display/display_surfaces.h"
#include "display/plot_axis.h"
#include "display/readout.h"
#include "ui/toolkit/xs.h"

namespace hv {

namespace {

// Everything below is guarded by the display lock.
std::vector<uint32_t> s_bitmap;
std::vector<uint32_t> s_plotBackground;  // the plot area as the window bitmap showed it at start
PlotAxis s_frequencyAxis;
PlotAxis s_levelAxis;
double s_divisions = 12.5;      // frequency grid divisions of 10000 Hz across the plot
double s_binSpacingHz = 250000.0 / 512;
std::atomic<float> s_nyquistHz{125000.0f};  // also read by the pixel readout

constexpr uint32_t kGridPixel = PackPixel(200, 200, 200);
constexpr uint32_t kMarkerPixel = PackPixel(0, 0, 255);

void EnsureBitmap() {
  if (s_bitmap.size() != size_t(kTraceWindowWidth) * kTraceWindowHeight)
    s_bitmap.assign(size_t(kTraceWindowWidth) * kTraceWindowHeight, kButtonFacePixel);
}

uint32_t& PlotPixel(int column, int row) {
  return s_bitmap[size_t(kTracePlotTop + row) * kTraceWindowWidth + size_t(kTracePlotLeft + column)];
}

void SavePlotArea() {
  s_plotBackground.resize(size_t(kTracePlotWidth) * kTracePlotHeight);
  for (int row = 0; row < kTracePlotHeight; ++row)
    for (int col = 0; col < kTracePlotWidth; ++col)
      s_plotBackground[size_t(row) * kTracePlotWidth + col] = PlotPixel(col, row);
}

// Plot area back to its saved background, then the grid lines: one at each
// whole frequency division inside the plot and at each 10 dB level step.
void DrawGrid() {
  if (s_plotBackground.size() == size_t(kTracePlotWidth) * kTracePlotHeight)
    for (int row = 0; row < kTracePlotHeight; ++row)
      for (int col = 0; col < kTracePlotWidth; ++col)
        PlotPixel(col, row) = s_plotBackground[size_t(row) * kTracePlotWidth + col];
  if (s_divisions > 0.0) {
    for (int i = 1; i <= int(std::min(s_divisions, 1000.0)); ++i) {
      int col = int(i / s_divisions * kTracePlotWidth);
      if (col <= 0 || col >= kTracePlotWidth) continue;
      for (int row = 0; row < kTracePlotHeight; ++row) PlotPixel(col, row) = kGridPixel;
    }
  }
  for (int j = 1; j < 10; ++j) {
    int row = j * kTracePlotHeight / 10;
    for (int col = 0; col < kTracePlotWidth; ++col) PlotPixel(col, row) = kGridPixel;
  }
}

void ShadeBand(double lowHz, double highHz) {
  int first = TracePlotColumn(lowHz), last = TracePlotColumn(highHz);
  for (int col = first; col <= last; ++col)
    for (int row = 0; row < kTracePlotHeight; ++row) PlotPixel(col, row) = TintPixel(PlotPixel(col, row));
}

void DrawMarker(double tuneHz) {
  double span = s_divisions * 10000.0;
  if (!(span > 0.0)) return;
  double position = tuneHz / span * kTracePlotWidth;
  if (!(position >= 0.0 && position < kTracePlotWidth)) return;
  for (int row = 0; row < kTracePlotHeight; ++row) PlotPixel(int(position), row) = kMarkerPixel;
}

void ShowTuningLocked(float tuneHz) {
  DrawGrid();
  ShadeBand(double(tuneHz) - kTuningHalfWidthHz, double(tuneHz) + kTuningHalfWidthHz);
  DrawMarker(tuneHz);
}

void SetFrequencyScale(float rate) {
  s_divisions = rate / 2.0 / 10000.0;
  s_nyquistHz.store(rate / 2.0f, std::memory_order_relaxed);
  s_frequencyAxis.setScale(0.0, s_divisions, 10.0);
}

}  // namespace

uint32_t TintPixel(uint32_t p) {
  return PackPixel(3 * PixelRed(p) / 4 + 24, 3 * PixelGreen(p) / 4 + 48, 3 * PixelBlue(p) / 4 + 24);
}

int TracePlotColumn(double frequencyHz) {
  double span = s_divisions * 10000.0;
  double c = span > 0.0 ? std::trunc(frequencyHz / span * kTracePlotWidth) : 0.0;
  if (!(c >= 0.0)) return 0;
  return c >= kTracePlotWidth - 1 ? kTracePlotWidth - 1 : int(c);
}

int TracePlotRow(double levelDb) {
  double r = std::trunc((0.5 - (levelDb - 40.0) / 100.0) * kTracePlotHeight);
  if (std::isnan(r) || r >= kTracePlotHeight - 1) return kTracePlotHeight - 1;
  return r <= 0.0 ? 0 : int(r);
}

std::vector<uint32_t>& TraceBitmap() {
  EnsureBitmap();
  return s_bitmap;
}

PlotAxis& TraceFrequencyAxis() { return s_frequencyAxis; }
PlotAxis& TraceLevelAxis() { return s_levelAxis; }

void TracePlotPaintLocked(XsWindow* w) {
  EnsureBitmap();
  XsDrawImage(w, s_bitmap.data(), kTraceWindowWidth, kTraceWindowHeight, 0, 0, -1, -1, 0, 0, -1, -1);
  s_frequencyAxis.drawAxis();
  s_levelAxis.drawAxis();
}

// Runs on the spectral trace thread.
void TracePlotStart(float rate, float binSpacingHz, float tuneHz) {
  LockGuard lock(g_displayLock);
  XsWindow* w = g_spectralTraceWindow;
  EnsureBitmap();
  s_frequencyAxis.setUp(w, kTracePlotWidth, 32, kTracePlotLeft, 0, true);
  s_levelAxis.setUp(w, 32, kTracePlotHeight, kTracePlotLeft + kTracePlotWidth, kTracePlotTop, false);
  s_levelAxis.setScale(-10.0, 5.0, 20.0);
  SetFrequencyScale(rate);
  s_binSpacingHz = binSpacingHz;
  g_traceReadout.setUp(w, s_bitmap.data(), kTraceWindowWidth, kTraceWindowHeight, 2);
  g_traceReadout.setDestination(32, 228, 512, 48);
  g_traceReadout.setSource(32, 228, 512, 48);
  g_traceReadout.setRows(238, 254);
  g_traceReadout.setColumns(96, 224, 0);
  g_traceReadout.setUnits("Hz", "dB", "?");
  SavePlotArea();
  ShowTuningLocked(tuneHz);
  TracePlotPaintLocked(w);
}

// Runs on the spectral trace thread.
void TracePlotShowTuning(float tuneHz) {
  LockGuard lock(g_displayLock);
  EnsureBitmap();
  ShowTuningLocked(tuneHz);
}

// Runs on the spectral trace thread.
void TracePlotDrawTrace(const float* levelsDb, int count) {
  count = std::clamp(count, 0, kTraceBins);
  double span = s_divisions * 10000.0;
  int points[2 * kTraceBins];
  LockGuard lock(g_displayLock);
  XsWindow* w = g_spectralTraceWindow;
  EnsureBitmap();
  XsDrawImage(w, s_bitmap.data(), kTraceWindowWidth, kTraceWindowHeight, kTracePlotLeft, kTracePlotTop,
              kTracePlotWidth, kTracePlotHeight, kTracePlotLeft, kTracePlotTop, kTracePlotWidth,
              kTracePlotHeight);
  for (int k = 0; k < count; ++k) {
    double column = span > 0.0 ? std::trunc(k * s_binSpacingHz / span * kTracePlotWidth) : 0.0;
    points[2 * k] = kTracePlotLeft + int(std::clamp(column, 0.0, double(kTracePlotWidth - 1)));
    points[2 * k + 1] = kTracePlotTop + TracePlotRow(levelsDb[k]);
  }
  uint32_t saved = XsDrawGetColor(w);
  XsDrawSetColor(w, 32, 32, 96);
  if (count > 1) XsDrawLines(w, points, count);
  XsDrawSetColor(w, PixelRed(saved), PixelGreen(saved), PixelBlue(saved));
}

// Runs on the spectral trace thread.
void TracePlotReconfigure(float rate) {
  LockGuard lock(g_displayLock);
  SetFrequencyScale(rate);
  s_binSpacingHz = rate / 512.0;
  TracePlotPaintLocked(g_spectralTraceWindow);
}

bool TracePlotPixelToPoint(int x, int y, double* frequencyHz, double* levelDb) {
  if (x < kTracePlotLeft || x >= kTracePlotLeft + kTracePlotWidth || y < kTracePlotTop ||
      y >= kTracePlotTop + kTracePlotHeight)
    return false;
  double nyquist = s_nyquistHz.load(std::memory_order_relaxed);
  *frequencyHz = double(x - kTracePlotLeft) / kTracePlotWidth * nyquist;
  *levelDb = 100.0 * (0.5 - double(y - kTracePlotTop) / kTracePlotHeight) + 40.0;
  return true;
}

}  // namespace hv
