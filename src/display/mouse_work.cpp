#include "display/mouse_work.h"

#include <cmath>
#include <cstdlib>

#include "core/runtime.h"
#include "core/station_state.h"
#include "display/display_surfaces.h"
#include "display/plot_axis.h"
#include "display/readout.h"
#include "display/sonogram_image.h"
#include "display/sonogram_view.h"
#include "display/trace_plot.h"
#include "settings/settings.h"

namespace hv {

float TuneOffsetForDrag(double downHz, double dragHz, float tuneHz, float lowerHz, float upperHz) {
  double offset = 250.0 * std::trunc((dragHz - downHz + 125.0) / 250.0);
  if (tuneHz + offset < lowerHz)
    offset = lowerHz - tuneHz;
  else if (tuneHz + offset > upperHz)
    offset = upperHz - tuneHz;
  return float(offset);
}

bool MouseWork::tuningFrequencyAt(XsWindow* w, MousePoint p, double* hz) const {
  if (!w) return false;
  if (w == g_mainWindow) {
    double kHz;
    bool onAxis;
    {
      LockGuard lock(g_displayLock);  // a resize on the main thread moves the axis
      onAxis = g_frequencyAxis.axisPixelToValue(p.x, p.y, &kHz);
    }
    if (!onAxis) return false;
    *hz = kHz * 1000.0;
    return true;
  }
  if (w == g_spectralTraceWindow) {
    double level;
    return TracePlotPixelToPoint(p.x, p.y, hz, &level);
  }
  return false;
}

// Runs on the display thread.
void MouseWork::run() {
  release();
  dragInProgress();
  hoverReadout();
}

void MouseWork::release() {
  // Acquire pairs with the handler's release increment: the up position is current.
  uint32_t count = g_mouse.upCount.load(std::memory_order_acquire);
  MousePoint up = g_mouse.up.load();
  if (count == lastUpCount_ && up == lastUp_) return;
  lastUpCount_ = count;
  forceHover_ = true;
  if (up == MousePoint{}) {  // a right-button release cleared the reference point
    lastUp_ = up;
    return;
  }
  MousePoint down = g_mouse.down.load();
  if (std::abs(up.x - down.x) >= 2 || std::abs(up.y - down.y) >= 2) {
    // A drag: commit a pending tuning change; never a new reference point.
    XsWindow* w = g_mouse.eventWindow.load(std::memory_order_relaxed);
    double hz;
    float offset = g_tuneOffset.load(std::memory_order_relaxed);
    if (tuningFrequencyAt(w, down, &hz) && offset != 0.0f) {
      float tune = g_settings.TuneFrequency.load(std::memory_order_relaxed);
      g_settings.TuneFrequency.store(tune + offset, std::memory_order_relaxed);
      g_tuneOffset.store(0.0f, std::memory_order_relaxed);
      g_mouse.down.store(MousePoint{});
      g_mouse.drag.store(MousePoint{});
    }
    g_mouse.up.store(lastUp_);
    g_mouse.referenceWindow.store(referenceWindow_, std::memory_order_relaxed);
    return;
  }
  lastUp_ = up;
  referenceWindow_ = g_mouse.referenceWindow.load(std::memory_order_relaxed);
}

void MouseWork::dragInProgress() {
  MousePoint drag = g_mouse.drag.load();
  if (drag == lastDrag_) return;
  lastDrag_ = drag;
  XsWindow* w = g_mouse.eventWindow.load(std::memory_order_relaxed);
  double downHz, dragHz;
  if (!tuningFrequencyAt(w, g_mouse.down.load(), &downHz) || !tuningFrequencyAt(w, drag, &dragHz)) return;
  float tune = g_settings.TuneFrequency.load(std::memory_order_relaxed);
  float offset = TuneOffsetForDrag(downHz, dragHz, tune, g_tuneLowerLimit.load(std::memory_order_relaxed),
                                   g_tuneUpperLimit.load(std::memory_order_relaxed));
  g_tuneOffset.store(offset, std::memory_order_relaxed);
  LockGuard lock(g_displayLock);
  if (w == g_mainWindow)
    g_mainReadout.showSingle(tune + offset);
  else
    g_traceReadout.showSingle(tune + offset);
  DrawTuningAxisLocked(tune + offset);
}

void MouseWork::hoverReadout() {
  MousePoint hover = g_mouse.hover.load();
  if (hover == lastHover_ && !forceHover_) return;
  lastHover_ = hover;
  forceHover_ = false;
  XsWindow* w = g_mouse.eventWindow.load(std::memory_order_relaxed);
  if (!w) return;
  LockGuard lock(g_displayLock);
  if (w == g_mainWindow) {
    double t, f, level;
    if (!g_spectrogram.pixelToPoint(hover.x, hover.y, &t, &f, &level)) return;
    double rt, rf, rlevel;
    if (referenceWindow_ == g_mainWindow && g_spectrogram.pixelToPoint(lastUp_.x, lastUp_.y, &rt, &rf, &rlevel))
      g_mainReadout.showValuesAndDifferences(float(t * 1000.0), float(f), float(level),
                                             float((t - rt) * 1000.0), float(f - rf), float(level - rlevel));
    else
      g_mainReadout.showValues(float(t * 1000.0), float(f), float(level));
  } else if (w == g_spectralTraceWindow) {
    double f, level;
    if (!TracePlotPixelToPoint(hover.x, hover.y, &f, &level)) return;
    double rf, rlevel;
    if (referenceWindow_ == g_spectralTraceWindow && TracePlotPixelToPoint(lastUp_.x, lastUp_.y, &rf, &rlevel))
      g_traceReadout.showValuesAndDifferences(float(f), float(level), 0.0f, float(f - rf),
                                              float(level - rlevel), 0.0f);
    else
      g_traceReadout.showValues(float(f), float(level), 0.0f);
  }
}

}  // namespace hv
