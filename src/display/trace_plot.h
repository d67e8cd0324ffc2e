// Drawing of the Spectral Trace window's plot: a frequency/level grid on the
// window's 576 x 276 bitmap, the audible tuning band tinted on it, a blue marker
// at the tuning frequency, and the averaged spectrum drawn as a polyline over
// the plot area (512 x 196 pixels at (32, 32)). The spectral trace thread calls
// these; each takes the display lock itself, so callers must not hold it.
#pragma once

#include <cstdint>
#include <vector>

struct XsWindow;

namespace hv {

constexpr int kTraceWindowWidth = 576;
constexpr int kTraceWindowHeight = 276;
constexpr int kTracePlotLeft = 32;
constexpr int kTracePlotTop = 32;
constexpr int kTracePlotWidth = 512;
constexpr int kTracePlotHeight = 196;
constexpr int kTraceBins = 256;
constexpr float kTuningHalfWidthHz = 11025.0f;

class PlotAxis;

// Start of the trace thread: axes for the stream rate (Hz), the readout units,
// the plot area saved as the grid's background, the spacing of the trace's bins
// (Hz), then grid, band and marker for the tuning frequency, and a repaint.
void TracePlotStart(float rate, float binSpacingHz, float tuneHz);
// A new tuning frequency: grid redrawn, band [F - 11025, F + 11025] shaded, F marked.
void TracePlotShowTuning(float tuneHz);
// Restores the plot area on screen and draws the trace through `count` bins (dB).
void TracePlotDrawTrace(const float* levelsDb, int count);
// A new stream rate: the frequency axis and the bin spacing (rate / 512) follow, repaint.
void TracePlotReconfigure(float rate);

// Pixel readout: a point inside the plot maps to frequency (Hz) and level (dB).
bool TracePlotPixelToPoint(int x, int y, double* frequencyHz, double* levelDb);

// Pixel positions of the plot: column (0..511) of a frequency and row (0..195)
// of a level; levels off the scale (and NaN) are held at the edges.
int TracePlotColumn(double frequencyHz);
int TracePlotRow(double levelDb);

// The window bitmap (576 x 276, 32-bit top-down) that the window paints and
// the plot draws into; built by the Spectral Trace window from resource 103.
// Its buffer stays in place for the program's life: write into it, never replace it.
std::vector<uint32_t>& TraceBitmap();
// The window's paint: bitmap at its own size and the two axes (caller holds the lock).
void TracePlotPaintLocked(XsWindow* w);
// The plot's frequency and level axes.
PlotAxis& TraceFrequencyAxis();
PlotAxis& TraceLevelAxis();

// Tint of the audible band: each colour component c becomes 3c/4 plus 24, 48
// or 24 (red, green, blue).
uint32_t TintPixel(uint32_t pixel);

}  // namespace hv
