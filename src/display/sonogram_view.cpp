#include "display/sonogram_view.h"

#include <algorithm>
#include <vector>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_colours.h"
#include "display/display_shared.h"
#include "display/display_surfaces.h"
#include "display/mouse_state.h"
#include "display/plot_axis.h"
#include "display/readout.h"
#include "display/sonogram_image.h"
#include "display/trace_plot.h"
#include "settings/settings.h"
#include "ui/toolkit/xs.h"

namespace hv {

std::atomic<bool> g_spectrogramPaused{false};

namespace {
const std::vector<uint32_t> s_mainBackground(size_t(kPixelBufferWidth) * kPixelBufferHeight,
                                             kButtonFacePixel);
}  // namespace

const uint32_t* MainBackground() { return s_mainBackground.data(); }

void LayOutSpectrogramArea(int plotWidth, int plotHeight) {
  plotWidth = std::max(plotWidth, 0);
  plotHeight = std::max(plotHeight, 0);
  g_spectrogram.configure(plotWidth, plotHeight);
  g_mainReadout.setUp(g_mainWindow, MainBackground(), kPixelBufferWidth, kPixelBufferHeight, 3);
  g_mainReadout.setDestination(256, plotHeight + 32, plotWidth, 48);
  g_mainReadout.setSource(256, 288, 512, 48);
  g_mainReadout.setRows(plotHeight + 42, plotHeight + 58);
  g_mainReadout.setColumns(320, 448, 576);
  g_mainReadout.setUnits("mSec", "Hz", "dB");
  g_timeAxis.setUp(g_mainWindow, plotWidth, 32, 256, 0, true);
  g_timeAxis.vertical = false;
  g_frequencyAxis.setUp(g_mainWindow, 32, plotHeight, 256 + plotWidth, 32, false);
  // A small plot must not turn the axes: time stays horizontal, frequency upright.
  g_frequencyAxis.vertical = true;
}

void DrawTuningAxisLocked(float centreHz) {
  g_frequencyAxis.clearFrequencyAxis();
  g_frequencyAxis.drawBand((centreHz - kTuningHalfWidthHz) / 1000.0, (centreHz + kTuningHalfWidthHz) / 1000.0);
  g_frequencyAxis.drawLine(centreHz / 1000.0);
  g_frequencyAxis.drawAxis();
}

void FullRepaintLocked() {
  XsWindow* w = g_mainWindow;
  if (!w) return;
  int width = kPixelBufferWidth, height = kPixelBufferHeight;
  XsWindowGetClientSize(w, &width, &height);
  XsDrawImage(w, s_mainBackground.data(), kPixelBufferWidth, kPixelBufferHeight, 0, 0, width, height, 0,
              0, kPixelBufferWidth, kPixelBufferHeight);
  g_spectrogram.present();
  g_timeAxis.drawAxis();
  DrawTuningAxisLocked(g_settings.TuneFrequency.load(std::memory_order_relaxed));
}

// Runs on the main thread.
void SpectrogramOnResize(int clientWidth, int clientHeight) {
  LockGuard lock(g_displayLock);
  LayOutSpectrogramArea(clientWidth - 288, clientHeight - 80);
  FullRepaintLocked();
}

// Runs on the main thread.
bool SpectrogramOnPaint() {
  LockGuard lock(g_displayLock);
  if (!lock.held()) {
    DiagPrint("Failed mutex request\n");
    return false;
  }
  FullRepaintLocked();
  return true;
}

// Runs on the main thread.
void SpectrogramOnMouse(int event, int x, int y, int) {
  RecordMouseEvent(g_mainWindow, event, x, y, !g_recordOn.load(std::memory_order_relaxed));
}

// Runs on the main thread.
void SpectrogramOnColourScaleChanged() {
  LockGuard lock(g_displayLock);
  g_spectrogram.setColourScale(g_settings.SonoBrightness.load(std::memory_order_relaxed),
                               g_settings.SonoContrast.load(std::memory_order_relaxed));
  g_spectrogram.present();
}

}  // namespace hv
